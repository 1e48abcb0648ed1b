// SPDX-License-Identifier: GPL-3.0-or-later
#include "ShadowBlur.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace pacemark {

namespace {

// Radii of three boxes whose repeated application has variance sigma²
// (the widths are odd, so each box stays centred on its pixel).
std::array<int, 3> boxRadii(double sigma) {
    const double ideal = std::sqrt(12.0 * sigma * sigma / 3.0 + 1.0);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    lower = std::max(lower, 1);
    const int upper = lower + 2;
    const double m = (12.0 * sigma * sigma - 3.0 * lower * lower - 12.0 * lower - 9.0) / (-4.0 * lower - 4.0);
    const int lowerCount = static_cast<int>(std::lround(m));
    std::array<int, 3> radii{};
    for (int k = 0; k < 3; ++k) radii[k] = ((k < lowerCount ? lower : upper) - 1) / 2;
    return radii;
}

// One box pass over `count` values spaced `step` apart, through `scratch`.
void boxPass(std::uint8_t* values, int count, int step, int radius, std::vector<std::uint8_t>& scratch) {
    if (radius <= 0) return;
    scratch.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) scratch[static_cast<std::size_t>(k)] = values[k * step];
    const int width = 2 * radius + 1;
    int sum = 0;
    for (int k = 0; k <= std::min(radius, count - 1); ++k) sum += scratch[static_cast<std::size_t>(k)];
    for (int k = 0; k < count; ++k) {
        values[k * step] = static_cast<std::uint8_t>((sum + width / 2) / width);
        const int entering = k + radius + 1;
        const int leaving = k - radius;
        if (entering < count) sum += scratch[static_cast<std::size_t>(entering)];
        if (leaving >= 0) sum -= scratch[static_cast<std::size_t>(leaving)];
    }
}

}  // namespace

void blurCoverageMask(std::uint8_t* data, int width, int height, int stride, double sigma) {
    if (!(sigma > 0.2) || width <= 0 || height <= 0) return;
    const std::array<int, 3> radii = boxRadii(sigma);
    std::vector<std::uint8_t> scratch;
    for (int radius : radii) {
        for (int y = 0; y < height; ++y) boxPass(data + y * stride, width, 1, radius, scratch);
        for (int x = 0; x < width; ++x) boxPass(data + x, height, stride, radius, scratch);
    }
}

}  // namespace pacemark
