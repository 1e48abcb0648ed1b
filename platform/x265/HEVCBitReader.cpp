// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCBitReader.h"

namespace pacemark {

std::uint32_t HEVCBitReader::readBits(int count) {
    if (count < 0 || count > 32) throw HEVCBitstreamError("запрошено неверное число бит");
    if (static_cast<std::size_t>(count) > bitsLeft()) throw HEVCBitstreamError("поток обрывается раньше времени");
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t byte = bytes_[position_ >> 3];
        value = (value << 1) | ((byte >> (7 - (position_ & 7))) & 1u);
        ++position_;
    }
    return value;
}

std::uint32_t HEVCBitReader::readUnsignedExpGolomb() {
    int leadingZeros = 0;
    while (readBits(1) == 0) {
        if (++leadingZeros > 31) throw HEVCBitstreamError("код Exp-Golomb длиннее допустимого");
    }
    if (leadingZeros == 0) return 0;
    // At most 2^32 - 2 with 31 leading zeros; summed in 64 bits all the same.
    const std::uint64_t value = ((std::uint64_t{1} << leadingZeros) - 1) + readBits(leadingZeros);
    return static_cast<std::uint32_t>(value);
}

std::uint32_t HEVCBitReader::readUnsignedExpGolomb(std::uint32_t maximum, const char* element) {
    const std::uint32_t value = readUnsignedExpGolomb();
    if (value > maximum) {
        throw HEVCBitstreamError(std::string("поле ") + element + " равно " + std::to_string(value) +
                                 ", а допустимо не больше " + std::to_string(maximum));
    }
    return value;
}

std::int32_t HEVCBitReader::readSignedExpGolomb() {
    const std::int64_t code = readUnsignedExpGolomb();
    const std::int64_t magnitude = (code + 1) / 2;  // at most 2^31 - 1
    return static_cast<std::int32_t>((code & 1) ? magnitude : -magnitude);
}

void HEVCBitReader::skipBits(std::size_t count) {
    if (count > bitsLeft()) throw HEVCBitstreamError("поток обрывается раньше времени");
    position_ += count;
}

std::size_t HEVCBitReader::trailingBitsPosition() const {
    for (std::size_t index = bytes_.size(); index-- > 0;) {
        const std::uint8_t byte = bytes_[index];
        if (byte == 0) continue;
        int lowest = 0;
        while (((byte >> lowest) & 1u) == 0) ++lowest;
        return index * 8 + static_cast<std::size_t>(7 - lowest);
    }
    throw HEVCBitstreamError("нет завершающего бита RBSP");
}

}  // namespace pacemark
