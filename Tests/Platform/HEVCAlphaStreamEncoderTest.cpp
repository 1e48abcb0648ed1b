// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaStreamEncoder.h"

#include <gtest/gtest.h>

#include <random>

namespace pacemark {
namespace {

// Noise in every frame costs far more than 20 kbit/s: the quantiser climbs,
// a step per picture, and comes back towards the settings' once repeats
// (a few bytes each) bring the movie under half its allowance.
TEST(HEVCAlphaStreamEncoderTest, QuantiserRisesOnlyWhileTheBitRateIsExceeded) {
    HEVCAlphaEncoderSettings settings;
    settings.width = 64;
    settings.height = 64;
    settings.frameRate = 10;
    settings.averageBitRate = 20'000;
    settings.maxKeyFrameInterval = 1000;
    HEVCAlphaStreamEncoder encoder(settings);
    std::vector<std::uint8_t> pixels(64 * 64 * 4);
    std::mt19937 random(3);
    for (int frame = 0; frame < 10; ++frame) {
        for (std::size_t i = 0; i < pixels.size(); i += 4) {
            const auto alpha = static_cast<std::uint8_t>(random() % 256);
            for (int c = 0; c < 3; ++c) pixels[i + static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(random() % (alpha + 1));
            pixels[i + 3] = alpha;
        }
        encoder.encode(PixelBufferView{pixels.data(), 64, 64, 64 * 4});
        EXPECT_EQ(encoder.quantiser(), settings.quantiser + frame + 1) << "frame " << frame;
    }
    int repeats = 0;
    while (encoder.quantiser() > settings.quantiser && repeats < 10'000) {
        const int before = encoder.quantiser();
        encoder.encodeRepeat();
        ++repeats;
        EXPECT_LE(encoder.quantiser(), before);
    }
    EXPECT_EQ(encoder.quantiser(), settings.quantiser);
    EXPECT_GT(repeats, 100) << "the repeats must first make up for the noise";
}

}  // namespace
}  // namespace pacemark
