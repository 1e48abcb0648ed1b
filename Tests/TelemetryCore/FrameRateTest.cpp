// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "Telemetry/FrameRate.h"

namespace pacemark {
namespace {

const FrameRate ntsc30(30000, 1001);

TEST(FrameRateTest, KeepsLowestTerms) {
    EXPECT_EQ(FrameRate(60000, 2002), ntsc30);
    EXPECT_EQ(FrameRate(15360, 512), FrameRate(30));
    EXPECT_FALSE(ntsc30.isWhole());
}

TEST(FrameRateTest, NonPositiveTermsGiveTheUnknownRate) {
    for (const FrameRate unknown : {FrameRate(), FrameRate(-30), FrameRate(30, 0), FrameRate(-30, -1)}) {
        EXPECT_FALSE(unknown.isKnown());
        EXPECT_EQ(unknown.text(), "0/1");
    }
}

// The instant of a frame far into a movie is the exact fraction rounded
// once, never a sum of frame durations.
TEST(FrameRateTest, FrameInstantDoesNotDriftOverLongMovies) {
    EXPECT_EQ(ntsc30.seconds(300'000'000), 10'010'000.0);
    EXPECT_EQ(ntsc30.seconds(349'999'999), 349'999'999.0 * 1001.0 / 30000.0);
    EXPECT_EQ(FrameRate().seconds(10), 0.0);
}

// A whole rate times frames exactly as dividing the frame number does, so
// movies at whole rates come out as before.
TEST(FrameRateTest, WholeRateInstantIsFrameNumberDividedByRate) {
    for (const std::int64_t fps : {24, 25, 30, 50, 60, 240}) {
        const FrameRate rate(fps);
        for (std::int64_t i = 0; i < 200'000; i += 7) {
            ASSERT_EQ(rate.seconds(i), static_cast<double>(i) / static_cast<double>(fps)) << fps << " " << i;
        }
    }
}

TEST(FrameRateTest, FramesCoveringADurationRoundUpToWholeFrames) {
    EXPECT_EQ(ntsc30.framesCovering(10.0), 300);   // 299.7 frames
    EXPECT_EQ(ntsc30.framesCovering(10.01), 300);  // exactly 300 frames, a hair more in doubles
    EXPECT_EQ(ntsc30.framesCovering(10.02), 301);
    EXPECT_EQ(ntsc30.framesCovering(-1.0), 0);
    EXPECT_EQ(ntsc30.framesCovering(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(ntsc30.framesCovering(1e300), std::int64_t{1} << 62);
}

// The NTSC decimals name the rates × 1000/1001; other decimals are what they say.
TEST(FrameRateTest, ParsesEveryWrittenFormOfARate) {
    const std::pair<const char*, FrameRate> cases[] = {
        {"29.97", ntsc30},
        {"29,97", ntsc30},
        {"23.976", FrameRate(24000, 1001)},
        {"59.94", FrameRate(60000, 1001)},
        {"29.970", FrameRate(2997, 100)},
        {"60000/2002", ntsc30},
        {"60000000/1000000", FrameRate(60)},  // reduced before the bound
    };
    for (const auto& [text, rate] : cases) {
        EXPECT_EQ(FrameRate::parse(text), rate) << text;
        EXPECT_EQ(FrameRate::parseError(text), std::nullopt) << text;
    }
}

TEST(FrameRateTest, RefusesTextThatIsNoRateWithRussianReasons) {
    for (const char* text : {"", "30fps", "-30", "30/1001/2", "29.97x"}) {
        EXPECT_EQ(FrameRate::parse(text), std::nullopt) << text;
        EXPECT_EQ(FrameRate::parseError(text), "Частота кадров «" + std::string(text) +
                                                   "» не понята: укажите число (30, 29.97) или дробь (30000/1001).");
    }
    // A zero rate and terms past the bound are refused as well.
    for (const char* text : {"0", "30/0", "1000001", "30/1000003", "99999999999999999999999", "29.9700001"}) {
        EXPECT_EQ(FrameRate::parse(text), std::nullopt) << text;
        EXPECT_NE(FrameRate::parseError(text), std::nullopt) << text;
    }
}

TEST(FrameRateTest, TitleUsesDecimalCommaForFractionalRates) {
    EXPECT_EQ(FrameRate(30).title(), "30");
    // The NTSC rates' titles: TelemetryExportSettingsTest's offered rates.
    EXPECT_EQ(FrameRate(25, 2).title(), "12,5");
}

}  // namespace
}  // namespace pacemark
