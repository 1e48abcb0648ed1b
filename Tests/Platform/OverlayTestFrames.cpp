// SPDX-License-Identifier: GPL-3.0-or-later
#include "OverlayTestFrames.h"

#include <algorithm>
#include <cmath>

namespace pacemark::testing {

OverlayTestFrame::OverlayTestFrame(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {}

void OverlayTestFrame::draw(int frameIndex) {
    std::fill(pixels_.begin(), pixels_.end(), 0);
    const double panelX0 = width_ * 0.1, panelX1 = width_ * 0.6, panelY0 = height_ * 0.55, panelY1 = height_ * 0.9;
    const double bar = 0.2 + 0.6 * ((frameIndex % 40) / 40.0);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            double r = 0, g = 0, b = 0, a = 0;  // straight colour, composited below
            auto over = [&](double sr, double sg, double sb, double sa) {
                r = sr * sa + r * (1 - sa);
                g = sg * sa + g * (1 - sa);
                b = sb * sa + b * (1 - sa);
                a = sa + a * (1 - sa);
            };
            // Panel: 60 % black with a 3-pixel soft edge.
            const double edge = std::min({x - panelX0, panelX1 - x, y - panelY0, panelY1 - y});
            if (edge > -3) over(0.05, 0.05, 0.08, 0.6 * std::clamp((edge + 3) / 3, 0.0, 1.0));
            // Bar: opaque orange.
            if (y > height_ * 0.78 && y < height_ * 0.84 && x > panelX0 + 6 && x < panelX0 + 6 + bar * (panelX1 - panelX0 - 12)) {
                over(1.0, 0.55, 0.1, 1.0);
            }
            // "Glyphs": white vertical strokes, shifted with the frame.
            const int gx = (x + frameIndex) % 14;
            if (y > height_ * 0.6 && y < height_ * 0.74 && x > panelX0 + 8 && x < panelX1 - 8 && gx < 3) over(1, 1, 1, 0.95);
            // A small route-like dot outside the panel.
            const double dx = x - width_ * (0.75 + 0.1 * std::sin(frameIndex * 0.2)), dy = y - height_ * 0.3;
            if (dx * dx + dy * dy < 36) over(0.2, 0.7, 1.0, 1.0);
            std::uint8_t* px = &pixels_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 4];
            // r, g, b are already premultiplied by the compositing above.
            px[0] = static_cast<std::uint8_t>(std::lround(b * 255));
            px[1] = static_cast<std::uint8_t>(std::lround(g * 255));
            px[2] = static_cast<std::uint8_t>(std::lround(r * 255));
            px[3] = static_cast<std::uint8_t>(std::lround(a * 255));
        }
    }
}

void writeOverlayFrames(MovieWriter& writer, int width, int height, const std::vector<bool>& repeats) {
    writer.startWriting();
    OverlayTestFrame frame(width, height);
    for (std::size_t i = 0; i < repeats.size(); ++i) {
        const auto index = static_cast<std::int64_t>(i);
        if (repeats[i]) {
            writer.appendRepeat(index);
            continue;
        }
        frame.draw(static_cast<int>(i));
        const PixelBufferView buffer = writer.makePixelBuffer();
        std::copy(frame.pixels().begin(), frame.pixels().end(), buffer.data);
        writer.append(buffer, index);
    }
    writer.finish();
}

}  // namespace pacemark::testing
