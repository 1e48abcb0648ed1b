// SPDX-License-Identifier: GPL-3.0-or-later
#include "Camera/ClipClock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace pacemark {
namespace {

const TelemetryTimestamp t0 = *parseISO8601InternetDateTime("2023-05-01T10:00:00Z");

TelemetryTimestamp at(double seconds) {
    return t0 + std::chrono::microseconds(std::llround(seconds * 1e6));
}

// GPS9 at 10 samples per payload of 1 s of movie; `utcOf` gives each sample's
// receiver time from its movie time.
CameraGPS gps9Clip(double movieSeconds, const std::function<double(double)>& utcOf, int fix = 3) {
    CameraGPS gps;
    gps.devices.push_back({});
    auto& samples = gps.devices.back().gps9;
    for (int i = 0; i < movieSeconds * 10; ++i) {
        CameraGPSSample sample;
        sample.movieSeconds = i / 10.0;
        sample.payloadIndex = static_cast<std::size_t>(i / 10);
        sample.utc = at(utcOf(sample.movieSeconds));
        sample.fix = fix;
        sample.precision = 150;
        samples.push_back(sample);
    }
    return gps;
}

double secondsFromT0(TelemetryTimestamp time) { return secondsBetween(t0, time); }

TEST(ClipClockTest, GPS9ClockIsAnOffsetDespiteABadSample) {
    CameraGPS gps = gps9Clip(20, [](double m) { return 5 + m; });
    gps.devices.back().gps9[37].utc = at(400);
    const auto clock = ClipClock::fromCameraGPS(gps);
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->source(), ClipClockSource::gps9);
    EXPECT_EQ(clock->rate(), 1);
    EXPECT_FALSE(clock->isVariable());
    EXPECT_NEAR(secondsFromT0(clock->utcAt(0)), 5, 0.001);
    EXPECT_NEAR(secondsFromT0(clock->utcAt(12.5)), 17.5, 0.001);
    EXPECT_LE(clock->uncertaintySeconds(), 0.1);
}

TEST(ClipClockTest, OnlyFixedPreciseSamplesGiveAClock) {
    EXPECT_FALSE(ClipClock::fromCameraGPS(gps9Clip(5, [](double m) { return m; }, 0)));
    CameraGPS poor = gps9Clip(5, [](double m) { return m; });
    for (auto& sample : poor.devices.back().gps9) sample.precision = 500;
    EXPECT_FALSE(ClipClock::fromCameraGPS(poor));
    EXPECT_FALSE(ClipClock::fromCameraGPS(CameraGPS{}));
}

TEST(ClipClockTest, GPS5ClockIgnoresAStaleStamp) {
    CameraGPS gps;
    gps.devices.push_back({});
    for (std::size_t p = 0; p < 11; ++p) {
        const double movie = 0.1 + 1.001 * static_cast<double>(p);
        // The trend says the first frame shows 15.43 s; the first stamp is 1.43 s early.
        const double utc = p == 0 ? 14.0 + movie - 0.1 : 15.43 + movie;
        gps.devices.back().gps5Stamps.push_back({p, movie, at(utc), 3, 150});
    }
    const auto clock = ClipClock::fromCameraGPS(gps);
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->source(), ClipClockSource::gps5Stamps);
    EXPECT_EQ(clock->rate(), 1);
    // The stamps may lag the fixes by up to 1.4 s: the estimate lies in the
    // middle and the uncertainty reaches both ends.
    const double start = secondsFromT0(clock->utcAt(0));
    EXPECT_NEAR(start, 15.43 - 0.7, 0.01);
    EXPECT_GE(start + clock->uncertaintySeconds(), 15.43);
    EXPECT_LE(start - clock->uncertaintySeconds(), 15.43 - 1.4);
}

// Two stamps cannot tell a stale first stamp from a rate: they are read as
// real time, and their disagreement is in the uncertainty.
TEST(ClipClockTest, TwoDisagreeingStampsAreReadAsRealTime) {
    CameraGPS gps;
    gps.devices.push_back({});
    gps.devices.back().gps5Stamps.push_back({0, 0, at(0), 3, 150});
    gps.devices.back().gps5Stamps.push_back({1, 1.001, at(2.2), 3, 150});
    const auto clock = ClipClock::fromCameraGPS(gps);
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->rate(), 1);
    EXPECT_GE(clock->uncertaintySeconds(), 0.7 + 0.59);
}

TEST(ClipClockTest, TimelapseRateIsDetected) {
    const auto clock = ClipClock::fromCameraGPS(gps9Clip(12, [](double m) { return 100 + 10 * m; }));
    ASSERT_TRUE(clock);
    EXPECT_NEAR(clock->rate(), 10, 1e-6);
    EXPECT_FALSE(clock->isVariable());
    EXPECT_NEAR(secondsFromT0(clock->utcAt(6)), 160, 0.001);
}

TEST(ClipClockTest, VariableSpeedClockFollowsEachStretch) {
    // Real time for 5 s of movie, then 8× for 5 s.
    const auto utcOf = [](double m) { return m < 5 ? m : 5 + 8 * (m - 5); };
    const auto clock = ClipClock::fromCameraGPS(gps9Clip(10, utcOf));
    ASSERT_TRUE(clock);
    EXPECT_TRUE(clock->isVariable());
    for (const double m : {0.0, 2.5, 5.0, 7.25, 9.5}) {
        EXPECT_NEAR(secondsFromT0(clock->utcAt(m)), utcOf(m), 0.06) << m;
    }
    // Over the whole clip: from the first fix to the last (at 9.9 s).
    EXPECT_NEAR(clock->rate(), (utcOf(9.9) - utcOf(0)) / 9.9, 0.01);
}

// Found by fuzzing: times running backwards left a negative rate.
TEST(ClipClockTest, TimesRunningBackwardsGiveNoNegativeRate) {
    for (const double speed : {-1.0, -10.0}) {
        const auto clock = ClipClock::fromCameraGPS(gps9Clip(3, [&](double m) { return 50 + speed * m; }));
        ASSERT_TRUE(clock);
        EXPECT_GT(clock->rate(), 0) << speed;
        EXPECT_FALSE(clock->knots().empty());
    }
}

}  // namespace
}  // namespace pacemark
