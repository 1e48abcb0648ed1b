// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Rendering/PixelBuffer.h"
#include "X265Encoder.h"

#include <cstdint>
#include <vector>

namespace pacemark {

// Splits a premultiplied BGRA frame into the two pictures the encoders take:
// the colour picture as BT.709 limited-range Y'CbCr 4:2:0 (the premultiplied
// values are converted unchanged), and the alpha picture with alpha as luma
// (0 transparent .. 255 opaque) and constant chroma 128. Width and height
// must be even. The buffers are reused from frame to frame.
class HEVCAlphaFrameConverter {
public:
    HEVCAlphaFrameConverter(int width, int height);

    void convert(const PixelBufferView& frame);
    X265PlanarPicture colourPicture() const;
    X265PlanarPicture alphaPicture() const;

private:
    int width_;
    int height_;
    std::vector<std::uint8_t> luma_, cb_, cr_, alpha_, neutralChroma_;
};

}  // namespace pacemark
