// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace pacemark {

// Blurs an 8-bit coverage mask in place with three box passes in each
// direction, which approximate a Gaussian of standard deviation `sigma`.
// Integer arithmetic only, so the result is the same on every machine.
// Values beyond the mask's edges count as 0; the mask should have room for
// the blur's reach (3 × sigma) around the shape.
void blurCoverageMask(std::uint8_t* data, int width, int height, int stride, double sigma);

}  // namespace pacemark
