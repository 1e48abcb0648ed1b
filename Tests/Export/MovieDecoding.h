// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "Rendering/LayoutFrameRenderer.h"
#include "Rendering/PixelBuffer.h"

namespace pacemark::testing {

// A movie decoded back with FFmpeg, colour converted to straight RGB with
// the BT.709 limited-range inverse, every value in 0...1. With `fromSeconds`
// the reading seeks there first (to the sync sample at or before it) and
// decodes from there on.
struct DecodedMovie {
    struct Frame {
        double presentationSeconds = 0;
        std::vector<double> rgba;  // straight (not premultiplied) R, G, B, A per pixel
        std::vector<std::uint8_t> packet;  // the coded frame as stored
        bool operator==(const Frame&) const = default;
    };
    int width = 0;
    int height = 0;
    double durationSeconds = 0;
    std::vector<Frame> frames;
};

DecodedMovie decodeMovie(const std::filesystem::path& path, double fromSeconds = 0);

// A premultiplied BGRA picture and a decoded frame, each composited over grey
// 0.5 the way its alpha is meant (premultiplied and straight); the largest
// difference of any channel, in 0...1, and the PSNR in dB over all channels.
struct CompositeDifference {
    double maximum = 0;
    double psnr = 0;
};
CompositeDifference compositeDifference(PixelBufferView premultiplied, const DecodedMovie::Frame& decoded);

// Whether `decoded` is the renderer's picture at `elapsed` as it comes back
// through ProRes: every channel within 3/255 and a PSNR of 60 dB or more.
bool showsRendered(const LayoutFrameRenderer& renderer, double elapsed, const DecodedMovie::Frame& decoded);

}  // namespace pacemark::testing
