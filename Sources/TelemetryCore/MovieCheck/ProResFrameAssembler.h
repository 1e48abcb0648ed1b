// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ProResFrame.h"

namespace pacemark {

// Builds coded progressive ProRes frames from slices coded elsewhere.
//
// A ProRes slice is coded from its own pixels only: with one quantiser for
// every slice, its bytes do not depend on any other slice or on where it lies.
// So a frame can be put together from slices of other coded frames: those of
// an earlier frame where the pixels did not change, and those of a small
// picture holding only the changed slices. The result is byte for byte the
// frame a whole encode would give, provided every slice is the one coded from
// the same pixels (the caller's part).
//
// The assembler keeps the frame header and the picture header of a reference
// frame (the size, colour tags, matrices and slice layout every assembled
// frame shares) and writes the slice index, the picture size and the frame
// size from the slices it is given.
class ProResFrameAssembler {
public:
    // `reference`: a whole coded progressive frame. Throws ProResFormatError
    // when it cannot be parsed or is interlaced.
    explicit ProResFrameAssembler(std::span<const std::uint8_t> reference);

    // Slices of a frame, in coding order (left to right, top to bottom).
    std::size_t sliceCount() const { return sliceMacroblocks_.size(); }
    // Width in macroblocks of each slice of a row, left to right: full slices,
    // then the rest of the row in halving widths.
    const std::vector<int>& rowSliceMacroblocks() const { return rowSliceMacroblocks_; }
    int macroblockRows() const { return macroblockRows_; }

    // Writes the frame whose slice i is `slices[i]` (each a whole coded slice:
    // its header and planes) into `frame`, replacing what it held. Throws
    // ProResFormatError when the count differs from sliceCount() or a slice
    // is empty or longer than the slice index can record (65535 bytes).
    void assemble(std::span<const std::span<const std::uint8_t>> slices, std::vector<std::uint8_t>& frame) const;

    // The slices of a coded frame, in coding order, as views into `frame`.
    // Throws ProResFormatError when it cannot be parsed.
    static std::vector<std::span<const std::uint8_t>> slicesOf(std::span<const std::uint8_t> frame);

private:
    std::vector<std::uint8_t> frameHeader_;    // from the frame size up to the picture header
    std::vector<std::uint8_t> pictureHeader_;  // up to the slice index
    std::vector<int> sliceMacroblocks_;
    std::vector<int> rowSliceMacroblocks_;
    int macroblockRows_ = 0;
};

}  // namespace pacemark
