#pragma once

#include <cstdint>
#include <vector>

#include "Rendering/PixelBuffer.h"

namespace pacemark::testing {

// Draws an overlay-like premultiplied BGRA picture: transparent background,
// an opaque panel with a colour ramp and fine pattern, a half-transparent
// panel and an alpha ramp of coloured edges. `variant` moves the contents.
void drawSyntheticOverlay(PixelBufferView into, int variant);

// A picture in its own memory.
struct OwnedPicture {
    OwnedPicture(std::int64_t width, std::int64_t height)
        : pixels(std::size_t(width * height * 4)), view{pixels.data(), width, height, width * 4} {}
    std::vector<std::uint8_t> pixels;
    PixelBufferView view;
};

}  // namespace pacemark::testing
