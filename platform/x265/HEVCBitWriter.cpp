// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCBitWriter.h"

#include "HEVCBitReader.h"

namespace pacemark {

void HEVCBitWriter::writeBits(std::uint32_t value, int count) {
    if (count < 0 || count > 32) throw HEVCBitstreamError("запрошено неверное число бит");
    for (int i = count - 1; i >= 0; --i) {
        if (bitCount_ % 8 == 0) bytes_.push_back(0);
        if ((value >> i) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> (bitCount_ % 8));
        ++bitCount_;
    }
}

void HEVCBitWriter::writeUnsignedExpGolomb(std::uint32_t value) {
    if (value == 0xFFFFFFFFu) throw HEVCBitstreamError("значение слишком велико для кода Exp-Golomb");
    const std::uint64_t codeNum = static_cast<std::uint64_t>(value) + 1;
    int length = 0;
    while ((codeNum >> (length + 1)) != 0) ++length;
    writeBits(0, length);
    writeBits(1, 1);
    if (length > 0) writeBits(static_cast<std::uint32_t>(codeNum & ((1ull << length) - 1)), length);
}

void HEVCBitWriter::writeSignedExpGolomb(std::int32_t value) {
    const std::int64_t wide = value;
    writeUnsignedExpGolomb(static_cast<std::uint32_t>(wide > 0 ? 2 * wide - 1 : -2 * wide));
}

void HEVCBitWriter::copyBits(HEVCBitReader& reader, std::size_t count) {
    while (count >= 24) {
        writeBits(reader.readBits(24), 24);
        count -= 24;
    }
    if (count > 0) writeBits(reader.readBits(static_cast<int>(count)), static_cast<int>(count));
}

void HEVCBitWriter::writeTrailingBits() {
    writeBits(1, 1);
    while (bitCount_ % 8 != 0) writeBits(0, 1);
}

void HEVCBitWriter::writeBytes(const std::uint8_t* data, std::size_t size) {
    if (bitCount_ % 8 == 0) {
        bytes_.insert(bytes_.end(), data, data + size);
        bitCount_ += size * 8;
        return;
    }
    for (std::size_t i = 0; i < size; ++i) writeBits(data[i], 8);
}

}  // namespace pacemark
