// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pacemark {

// Mends the three faults an older ProRes encoder leaves in every frame with
// alpha, so that strict decoders read the alpha channel as it was meant:
// - the bitstream version becomes 1 where 4:4:4 or alpha needs it;
// - the reserved high bits of the alpha type byte are cleared;
// - a slice whose alpha data lacks its final run code gets it, in the
//   slice's padding bits when there is room, else in one more byte (the
//   slice's index entry, the picture size and the frame size grow with it).
// Nothing else changes: a frame without these faults comes back byte for
// byte, and a repaired frame is what a corrected encoder writes.
class ProResFrameRepair {
public:
    // The repaired frame. Throws ProResFormatError when the frame cannot be
    // parsed (it is never passed on half understood).
    static std::vector<std::uint8_t> repair(std::span<const std::uint8_t> frame);
};

}  // namespace pacemark
