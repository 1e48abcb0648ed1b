// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace pacemark {

// A caller-owned picture: 32-bit pixels, premultiplied B, G, R, A bytes in
// memory (little-endian ARGB32), row 0 at the top. The view does not own
// the memory; whoever hands it out keeps it alive while it is drawn into.
struct PixelBufferView {
    std::uint8_t* data = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t bytesPerRow = 0;

    bool isValid() const { return data != nullptr && width > 0 && height > 0 && bytesPerRow >= width * 4; }
    std::uint8_t* row(std::int64_t y) const { return data + static_cast<std::ptrdiff_t>(y * bytesPerRow); }
};

}  // namespace pacemark
