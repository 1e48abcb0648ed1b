// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pacemark {

class HEVCBitReader;

// Builds an RBSP most significant bit first. Emulation prevention is added
// later, when the RBSP is wrapped into a NAL unit.
class HEVCBitWriter {
public:
    void writeBits(std::uint32_t value, int count);
    void writeFlag(bool flag) { writeBits(flag ? 1u : 0u, 1); }
    void writeUnsignedExpGolomb(std::uint32_t value);
    void writeSignedExpGolomb(std::int32_t value);
    // Copies `count` bits from the reader's current position (advancing it),
    // whatever the alignment of either side.
    void copyBits(HEVCBitReader& reader, std::size_t count);
    // rbsp_trailing_bits(): a one bit, then zeros up to the byte boundary.
    void writeTrailingBits();
    // byte_alignment() of a slice header: same bit pattern as above.
    void writeByteAlignment() { writeTrailingBits(); }
    void writeBytes(const std::uint8_t* data, std::size_t size);

    std::size_t bitPosition() const { return bitCount_; }
    bool isByteAligned() const { return bitCount_ % 8 == 0; }
    // The bytes written so far; a partial last byte is padded with zeros.
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t bitCount_ = 0;
};

}  // namespace pacemark
