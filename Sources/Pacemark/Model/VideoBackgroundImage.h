// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace pacemark {

// The first frame of a background video: BGRA premultiplied, rows packed
// (bytesPerRow == 4 * width), row 0 at the top — the layout the preview draws.
struct VideoBackgroundImage {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> pixels;

    bool operator==(const VideoBackgroundImage&) const = default;
};

}  // namespace pacemark
