#include "HEVCBitReader.h"

namespace pacemark {

std::uint32_t HEVCBitReader::readBits(int count) {
    if (count < 0 || count > 32) throw HEVCBitstreamError("bit count out of range");
    if (static_cast<std::size_t>(count) > bitsLeft()) throw HEVCBitstreamError("bitstream ends early");
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
        if (++leadingZeros > 31) throw HEVCBitstreamError("exp-Golomb code too long");
    }
    if (leadingZeros == 0) return 0;
    return ((1u << leadingZeros) - 1u) + readBits(leadingZeros);
}

std::int32_t HEVCBitReader::readSignedExpGolomb() {
    const std::uint32_t code = readUnsignedExpGolomb();
    const auto magnitude = static_cast<std::int32_t>((code + 1) / 2);
    return (code & 1u) ? magnitude : -magnitude;
}

void HEVCBitReader::skipBits(std::size_t count) {
    if (count > bitsLeft()) throw HEVCBitstreamError("bitstream ends early");
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
    throw HEVCBitstreamError("no rbsp stop bit");
}

}  // namespace pacemark
