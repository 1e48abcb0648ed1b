// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaStreamEncoder.h"
#include "ProResTestFrames.h"

#include <gtest/gtest.h>

#include <vector>

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
    for (int frame = 0; frame < 10; ++frame) {
        std::vector<std::uint8_t> pixels = testing::noisyPicture(64, 64, static_cast<unsigned>(frame));
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
