#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Rendering/PixelBuffer.h"

namespace pacemark::testing {

// A movie decoded back with FFmpeg, colour converted to straight RGB with
// the BT.709 limited-range inverse, every value in 0...1.
struct DecodedMovie {
    struct Frame {
        double presentationSeconds = 0;
        std::vector<double> rgba;  // straight (not premultiplied) R, G, B, A per pixel
        std::vector<std::uint8_t> packet;  // the coded frame as stored
    };
    std::string codecName;
    std::string pixelFormat;
    std::uint32_t codecTag = 0;
    int profile = 0;
    int width = 0;
    int height = 0;
    int framesPerSecondNumerator = 0;
    int framesPerSecondDenominator = 0;
    int colorPrimaries = 0;
    int colorTransfer = 0;
    int colorMatrix = 0;
    int colorRange = 0;
    double durationSeconds = 0;
    std::vector<Frame> frames;
};

DecodedMovie decodeMovie(const std::filesystem::path& path);

// A premultiplied BGRA picture and a decoded frame, each composited over grey
// 0.5 the way its alpha is meant (premultiplied and straight); the largest
// difference of any channel, in 0...1, and the PSNR in dB over all channels.
struct CompositeDifference {
    double maximum = 0;
    double psnr = 0;
};
CompositeDifference compositeDifference(PixelBufferView premultiplied, const DecodedMovie::Frame& decoded);

}  // namespace pacemark::testing
