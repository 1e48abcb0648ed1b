#include "SyntheticOverlay.h"

#include <algorithm>
#include <cstring>

namespace pacemark::testing {

void drawSyntheticOverlay(PixelBufferView into, int variant) {
    const auto w = into.width;
    const auto h = into.height;
    for (std::int64_t y = 0; y < h; ++y) std::memset(into.row(y), 0, std::size_t(w * 4));
    auto put = [&](std::int64_t x, std::int64_t y, int r, int g, int b, int a) {
        std::uint8_t* p = into.row(y) + x * 4;
        p[0] = std::uint8_t(b * a / 255);
        p[1] = std::uint8_t(g * a / 255);
        p[2] = std::uint8_t(r * a / 255);
        p[3] = std::uint8_t(a);
    };
    const std::int64_t shift = variant % std::max<std::int64_t>(w / 8, 1);
    // Opaque panel: colour ramp with a fine light pattern, like text on a panel.
    for (std::int64_t y = h / 8; y < h / 2; ++y) {
        for (std::int64_t x = w / 16 + shift; x < w / 2 + shift; ++x) {
            const bool pattern = ((x / 2 + y / 3 + variant) % 5) == 0;
            put(x, y, pattern ? 250 : int(40 + 150 * x / w), pattern ? 250 : int(30 + 100 * y / h), 200 - variant * 7 % 100, 255);
        }
    }
    // Half-transparent dark panel.
    for (std::int64_t y = h / 2 + 2; y < h - h / 8; ++y) {
        for (std::int64_t x = w / 2; x < w - w / 16; ++x) put(x, y, 20, 24, 30, 128);
    }
    // Soft edge: alpha ramps through every value in a saturated colour.
    for (std::int64_t y = h / 16; y < h / 8; ++y) {
        for (std::int64_t x = w / 2 + 4; x < w - 2; ++x) put(x, y, 255, 80 + variant * 20 % 150, 0, int(255 * (x - w / 2 - 4) / (w / 2)));
    }
}

}  // namespace pacemark::testing
