// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Export/MovieWriter.h"
#include "Rendering/PixelBuffer.h"

#include <cstdint>
#include <vector>

namespace pacemark::testing {

// An overlay-like premultiplied BGRA frame: transparent background, a
// translucent dark panel with soft edges, an opaque coloured bar whose
// length depends on the frame index, and white glyph-like strokes.
class OverlayTestFrame {
public:
    OverlayTestFrame(int width, int height);
    void draw(int frameIndex);
    PixelBufferView view() { return {pixels_.data(), width_, height_, width_ * 4}; }
    const std::vector<std::uint8_t>& pixels() const { return pixels_; }

private:
    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};

// Starts `writer`, hands it frame i as OverlayTestFrame::draw(i) in its own
// buffer, or as a repeat where `repeats[i]`, and finishes the movie.
void writeOverlayFrames(MovieWriter& writer, int width, int height, const std::vector<bool>& repeats);

}  // namespace pacemark::testing
