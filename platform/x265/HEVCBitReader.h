// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace pacemark {

// Raised when a bitstream does not have the shape the HEVC layering code
// expects (truncated, out-of-range value, unsupported feature). Internal to
// platform/x265; the movie writer turns it into a user-facing error.
class HEVCBitstreamError : public std::runtime_error {
public:
    explicit HEVCBitstreamError(const std::string& what) : std::runtime_error(what) {}
};

// Reads an RBSP (emulation prevention already removed) most significant bit
// first. Reading past the end throws HEVCBitstreamError rather than
// returning zeros, so a truncated parameter set is never misparsed silently.
class HEVCBitReader {
public:
    explicit HEVCBitReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint32_t readBits(int count);
    bool readFlag() { return readBits(1) != 0; }
    // Unsigned and signed exp-Golomb codes, ue(v) and se(v). Codes longer
    // than 32 bits of value are refused, so every result fits its type.
    std::uint32_t readUnsignedExpGolomb();
    std::int32_t readSignedExpGolomb();
    // ue(v) of the syntax element `element` that must not exceed `maximum`:
    // callers do their arithmetic on the checked value only, so a damaged
    // stream can never overflow it.
    std::uint32_t readUnsignedExpGolomb(std::uint32_t maximum, const char* element);
    void skipBits(std::size_t count);

    std::size_t bitPosition() const { return position_; }
    std::size_t bitCount() const { return bytes_.size() * 8; }
    std::size_t bitsLeft() const { return bitCount() - position_; }
    bool isByteAligned() const { return position_ % 8 == 0; }
    // Bit position of the rbsp_stop_one_bit: the last set bit of the
    // buffer. Throws when the buffer holds no set bit at all.
    std::size_t trailingBitsPosition() const;

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

}  // namespace pacemark
