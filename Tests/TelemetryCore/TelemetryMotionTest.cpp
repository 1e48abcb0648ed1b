// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "Telemetry/TelemetryMotion.h"

using namespace pacemark;

namespace {

// One sample a second for a minute, speed and position changing every second.
TelemetryActivity minuteRide() {
    std::vector<TelemetrySample> raw(61);
    for (std::size_t k = 0; k < raw.size(); ++k) {
        raw[k].elapsed = static_cast<double>(k);
        raw[k].speedMetersPerSecond = k % 2 == 0 ? 5.0 : 15.0;
        raw[k].latitude = 45.0 + 0.0001 * static_cast<double>(k);
        raw[k].longitude = 7.0;
    }
    return TelemetryActivity(std::nullopt, raw);
}

TelemetryMotion smooth(std::int64_t updatesPerSecond) {
    return {TelemetryMotionMode::smooth, updatesPerSecond, TelemetryValueSmoothing::none};
}

double frameTime(std::int64_t i, std::int64_t fps, double start = 12) {
    return start + static_cast<double>(i) / static_cast<double>(fps);
}

}  // namespace

// Between two samples stepping shows the earlier one, not a blend.
TEST(TelemetryMotionTest, StepsShowTheSampleInForce) {
    const TelemetryActivity ride = minuteRide();
    EXPECT_EQ(TelemetryMotion().sample(ride, 12.5), ride.sample(12.5));
}

// At 30 frames per second a 10 Hz update falls on every third frame, at 25 on
// frames 0, 3, 5, 8, 10 ... (whenever the frame time passes a tenth); the key
// changes exactly there, although frame times are not exact tenths.
TEST(TelemetryMotionTest, TheKeyChangesExactlyWhenTheDrawnInstantChanges) {
    const TelemetryActivity ride = minuteRide();
    for (std::int64_t fps : {24, 25, 30, 50, 60}) {
        for (std::int64_t rate : {5, 10, 15}) {
            const TelemetryMotion motion = smooth(rate);
            for (std::int64_t i = 1; i < 3 * fps; ++i) {
                const double before = frameTime(i - 1, fps), now = frameTime(i, fps);
                const bool drawnChanges = std::floor(static_cast<double>(i * rate) / static_cast<double>(fps)) !=
                                          std::floor(static_cast<double>((i - 1) * rate) / static_cast<double>(fps));
                EXPECT_EQ(motion.frameKey(ride, now) != motion.frameKey(ride, before), drawnChanges)
                    << fps << " fps, " << rate << " Hz, frame " << i;
                EXPECT_EQ(motion.drawnSeconds(ride, now) != motion.drawnSeconds(ride, before), drawnChanges);
            }
        }
    }
    // Frame 4 at 30 fps (12.1333 s) shows the update at 12.1 s.
    EXPECT_DOUBLE_EQ(smooth(10).drawnSeconds(ride, frameTime(4, 30)), 12.1);
    EXPECT_DOUBLE_EQ(*smooth(10).sample(ride, frameTime(4, 30)).speedMetersPerSecond, 6.0);
}

TEST(TelemetryMotionTest, EveryFrameDrawsEachFramesOwnInstant) {
    const TelemetryActivity ride = minuteRide();
    const TelemetryMotion motion = smooth(TelemetryMotion::everyFrame);
    std::set<std::size_t> keys;
    for (std::int64_t i = 0; i < 120; ++i) keys.insert(motion.frameKey(ride, frameTime(i, 60)));
    EXPECT_EQ(keys.size(), 120u);
    EXPECT_DOUBLE_EQ(*motion.sample(ride, 12.25).speedMetersPerSecond, 7.5);
    // Past the end every frame shows the same instant.
    EXPECT_EQ(motion.frameKey(ride, 61), motion.frameKey(ride, 75));
}

TEST(TelemetryMotionTest, SmoothingAppliesInBothModes) {
    const TelemetryActivity ride = minuteRide();
    TelemetryMotion steps;
    steps.smoothing = TelemetryValueSmoothing::speedAndPower;
    EXPECT_DOUBLE_EQ(*steps.sample(ride, 10.6).speedMetersPerSecond, 9.0);  // (5+15+5+15+5) / 5
    TelemetryMotion glide = smooth(4);
    glide.smoothing = TelemetryValueSmoothing::speedAndPower;
    // A quarter of the way from 9 to 11 (unsmoothed it would be 7.5).
    EXPECT_DOUBLE_EQ(*glide.sample(ride, 10.25).speedMetersPerSecond, 9.5);
}
