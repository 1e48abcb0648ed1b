// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Rendering/PixelBuffer.h"

namespace pacemark {

// Converts the renderer's premultiplied BGRA pictures to the 10-bit planar
// Y'CbCr + alpha (4:4:4) pictures ProRes 4444 codes.
//
// ProRes stores straight colour beside its alpha, so the colour is divided by
// alpha first (exactly, from a table of every 8-bit (colour, alpha) pair kept at
// 16-bit precision); a pixel with alpha 0 becomes black. The colour is then
// converted with the BT.709 matrix into limited range (Y' 64...940,
// Cb/Cr 64...960) and alpha is scaled to the full 10-bit range.
class ProResPictureConverter {
public:
    // Plane pointers and strides in 16-bit samples (not bytes).
    struct Planes {
        std::uint16_t* y = nullptr;
        std::uint16_t* cb = nullptr;
        std::uint16_t* cr = nullptr;
        std::uint16_t* alpha = nullptr;
        std::ptrdiff_t yStride = 0;
        std::ptrdiff_t cbStride = 0;
        std::ptrdiff_t crStride = 0;
        std::ptrdiff_t alphaStride = 0;
    };

    ProResPictureConverter();

    // Converts rows [firstRow, firstRow + rowCount) of `source` into the same
    // rows of `into`. Distinct row ranges may be converted on different threads.
    void convert(PixelBufferView source, const Planes& into, std::int64_t firstRow, std::int64_t rowCount) const;

private:
    std::vector<std::uint16_t> straight_;  // [alpha * 256 + colour] -> straight colour, 0...65535
    std::uint16_t alpha10_[256];
};

}  // namespace pacemark
