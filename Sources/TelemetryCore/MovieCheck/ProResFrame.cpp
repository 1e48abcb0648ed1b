// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProResFrame.h"

#include <algorithm>
#include <bit>

namespace pacemark {
namespace {

std::uint32_t readBig16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t(bytes[at]) << 8 | bytes[at + 1];
}

std::uint32_t readBig32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return readBig16(bytes, at) << 16 | readBig16(bytes, at + 2);
}

std::string number(std::size_t value) { return std::to_string(value); }

// Reads bits most significant first; running out of data is a format error.
class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t position() const { return position_; }
    std::size_t bitsLeft() const { return bytes_.size() * 8 - position_; }

    std::uint32_t read(int count) {
        if (std::size_t(count) > bitsLeft()) {
            throw ProResFormatError("данные альфа-канала среза обрываются посреди кода");
        }
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i, ++position_) {
            value = value << 1 | ((bytes_[position_ >> 3] >> (7 - (position_ & 7))) & 1u);
        }
        return value;
    }

    // True when every bit from here to the end is zero.
    bool restIsZero() const {
        for (std::size_t bit = position_; bit < bytes_.size() * 8; ++bit) {
            if ((bytes_[bit >> 3] >> (7 - (bit & 7))) & 1u) return false;
        }
        return true;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// After the last code only the zero bits that fill the final byte may follow.
void requirePaddingOnly(const BitReader& bits) {
    if (bits.bitsLeft() >= 8 || !bits.restIsZero()) {
        throw ProResFormatError("после альфа-канала среза лишние данные");
    }
}

// Slices of a row: `log2Width` macroblocks each, the rest of the row in
// halving widths.
std::vector<int> sliceWidthsOfRow(int rowMacroblocks, int log2Width) {
    std::vector<int> widths;
    int width = 1 << log2Width;
    for (int x = 0; x < rowMacroblocks; x += width) {
        while (rowMacroblocks - x < width) width >>= 1;
        widths.push_back(width);
    }
    return widths;
}

}  // namespace

ProResAlphaScan scanProResAlpha(std::span<const std::uint8_t> alphaData, int alphaBits, int valueCount) {
    const int shortBits = alphaBits == 8 ? 4 : 7;  // a small difference: magnitude - 1 and sign
    BitReader bits(alphaData);
    int values = 0;
    for (;;) {
        // One value: a flag, then a full value or a small difference.
        bits.read(1) ? bits.read(alphaBits) : bits.read(shortBits);
        ++values;
        // Its run code: "1" for no repeats, "0" and 4 bits for 1...15 of
        // them, "0", four zero bits and 11 bits for more.
        if (values == valueCount && (bits.bitsLeft() == 0 || (bits.bitsLeft() < 8 && bits.restIsZero()))) {
            return {ProResAlphaEnding::missingFinalRunCode, bits.position()};
        }
        if (bits.read(1)) {
            if (values == valueCount) break;
            continue;
        }
        std::uint32_t run = bits.read(4);
        if (run == 0) run = bits.read(11);
        if (run == 0) throw ProResFormatError("в альфа-канале среза серия нулевой длины");
        if (run > std::uint32_t(valueCount - values)) {
            throw ProResFormatError("серия в альфа-канале среза выходит за его пределы");
        }
        values += int(run);
        if (values == valueCount) break;
    }
    requirePaddingOnly(bits);
    return {ProResAlphaEnding::complete, bits.position()};
}

ProResFrame ProResFrame::parse(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kHeaderStart = 8;   // after the frame size and 'icpf'
    constexpr std::size_t kFixedHeader = 20;  // frame header up to the matrix flags
    if (bytes.size() < kHeaderStart + kFixedHeader) throw ProResFormatError("кадр короче своего заголовка");
    // A sample may be longer than its frame only by zero padding.
    const std::size_t frameSize = readBig32(bytes, 0);
    if (frameSize < kHeaderStart + kFixedHeader || frameSize > bytes.size() ||
        std::any_of(bytes.begin() + std::ptrdiff_t(frameSize), bytes.end(), [](std::uint8_t b) { return b != 0; })) {
        throw ProResFormatError("размер кадра в заголовке (" + number(frameSize) +
                                " байт) не совпадает с размером сэмпла (" + number(bytes.size()) + " байт)");
    }
    bytes = bytes.first(frameSize);
    if (bytes[4] != 'i' || bytes[5] != 'c' || bytes[6] != 'p' || bytes[7] != 'f') {
        throw ProResFormatError("нет метки кадра ProRes «icpf»");
    }
    const std::size_t headerSize = readBig16(bytes, kHeaderStart);
    if (headerSize < kFixedHeader || kHeaderStart + headerSize > bytes.size()) {
        throw ProResFormatError("неверный размер заголовка кадра (" + number(headerSize) + " байт)");
    }

    ProResFrame frame;
    frame.version = int(readBig16(bytes, kVersionOffset));
    if (frame.version > 1) throw ProResFormatError("неизвестная версия битового потока " + number(frame.version));
    frame.width = int(readBig16(bytes, kHeaderStart + 8));
    frame.height = int(readBig16(bytes, kHeaderStart + 10));
    if (frame.width == 0 || frame.height == 0) throw ProResFormatError("нулевой размер кадра в заголовке");
    const std::uint8_t flags = bytes[kHeaderStart + 12];
    frame.chromaFormat = flags >> 6;
    frame.interlaceMode = (flags >> 2) & 3;
    if (frame.chromaFormat < 2) throw ProResFormatError("неизвестная цветовая субдискретизация в заголовке кадра");
    if (frame.interlaceMode == 3) throw ProResFormatError("неизвестный режим развёртки в заголовке кадра");
    frame.alphaTypeByte = bytes[kAlphaTypeOffset];
    const int alphaType = frame.alphaTypeByte & 0x0F;
    if (alphaType > 2) throw ProResFormatError("неизвестный тип альфа-канала " + number(std::size_t(alphaType)));
    frame.alphaBits = alphaType == 0 ? 0 : alphaType * 8;
    const std::uint8_t matrixFlags = bytes[kHeaderStart + 19];
    const std::size_t matrices = std::size_t(std::popcount(unsigned(matrixFlags & 3)));
    if (kFixedHeader + 64 * matrices > headerSize) {
        throw ProResFormatError("матрицы квантования не помещаются в заголовок кадра");
    }

    const int pictureCount = frame.interlaceMode == 0 ? 1 : 2;
    const int widthMacroblocks = (frame.width + 15) / 16;
    const int heightMacroblocks = frame.interlaceMode == 0 ? (frame.height + 15) / 16 : (frame.height + 31) / 32;
    std::size_t at = kHeaderStart + headerSize;
    for (int p = 0; p < pictureCount; ++p) {
        if (at + 8 > bytes.size()) throw ProResFormatError("кадр обрывается в заголовке изображения");
        const std::size_t pictureHeader = bytes[at] >> 3;
        const std::size_t pictureSize = readBig32(bytes, at + 1);
        if (pictureHeader < 8 || pictureSize < pictureHeader || pictureSize > bytes.size() - at) {
            throw ProResFormatError("неверные размеры в заголовке изображения");
        }
        const std::size_t sliceCount = readBig16(bytes, at + 5);
        const int log2SliceWidth = bytes[at + 7] >> 4;
        if (log2SliceWidth > 3 || (bytes[at + 7] & 0x0F) != 0) {
            throw ProResFormatError("неверный размер срезов в заголовке изображения");
        }
        const std::vector<int> rowWidths = sliceWidthsOfRow(widthMacroblocks, log2SliceWidth);
        if (sliceCount != rowWidths.size() * std::size_t(heightMacroblocks)) {
            throw ProResFormatError("число срезов (" + number(sliceCount) + ") не соответствует размеру кадра (" +
                                    number(rowWidths.size() * std::size_t(heightMacroblocks)) + ")");
        }
        const std::size_t indexAt = at + pictureHeader;
        std::size_t sliceAt = indexAt + 2 * sliceCount;
        const std::size_t pictureEnd = at + pictureSize;
        if (sliceAt > pictureEnd) throw ProResFormatError("индекс срезов не помещается в изображение");
        frame.pictures.push_back({at, pictureSize});
        for (std::size_t s = 0; s < sliceCount; ++s) {
            const int sliceNumber = int(frame.slices.size());
            ProResSlice slice;
            slice.sizeEntryOffset = indexAt + 2 * s;
            slice.offset = sliceAt;
            slice.size = readBig16(bytes, slice.sizeEntryOffset);
            slice.pictureIndex = std::size_t(p);
            slice.macroblocks = rowWidths[s % rowWidths.size()];
            if (slice.size > pictureEnd - sliceAt) {
                throw ProResFormatError("срез выходит за пределы изображения", sliceNumber);
            }
            const std::size_t sliceHeader = slice.size == 0 ? 0 : bytes[sliceAt] >> 3;
            const std::size_t needed = frame.alphaBits ? 8 : 6;
            if (sliceHeader < needed || sliceHeader > slice.size) {
                throw ProResFormatError("неверный размер заголовка среза", sliceNumber);
            }
            std::size_t planes = readBig16(bytes, sliceAt + 2) + std::size_t(readBig16(bytes, sliceAt + 4));
            if (frame.alphaBits) planes += readBig16(bytes, sliceAt + 6);
            if (planes > slice.size - sliceHeader) {
                throw ProResFormatError("размеры плоскостей среза больше самого среза", sliceNumber);
            }
            if (frame.alphaBits) {
                slice.alphaOffset = sliceAt + sliceHeader + planes;
                slice.alphaSize = slice.size - sliceHeader - planes;
                if (slice.alphaSize == 0) throw ProResFormatError("в срезе нет данных альфа-канала", sliceNumber);
            }
            frame.slices.push_back(slice);
            sliceAt += slice.size;
        }
        if (sliceAt != pictureEnd) {
            throw ProResFormatError("размер изображения не равен сумме размеров его срезов");
        }
        at = pictureEnd;
    }
    if (at != bytes.size()) throw ProResFormatError("после изображения в кадре лишние данные");
    return frame;
}

}  // namespace pacemark
