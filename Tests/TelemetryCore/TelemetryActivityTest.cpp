// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "Telemetry/TelemetryActivity.h"

using namespace pacemark;
using namespace std::chrono_literals;

namespace {

TelemetrySample timed(std::int64_t seconds) {
    TelemetrySample s;
    s.timestamp = TelemetryTimestamp(std::chrono::seconds(1'700'000'000 + seconds));
    return s;
}

TelemetrySample climb(double distance, double altitude) {
    TelemetrySample s;
    s.distanceMeters = distance;
    s.altitudeMeters = altitude;
    return s;
}

}  // namespace

TEST(TelemetryActivityTest, NormalizationDerivesElapsedTimeInOrder) {
    auto late = timed(10);
    late.heartRateBPM = 150;
    auto early = timed(4);
    early.elapsed = 99;  // a decoder's elapsed is ignored when timestamps exist
    const auto samples = TelemetryActivity::normalized({late, timed(7), early});
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[0].elapsed, 0);
    EXPECT_EQ(samples[1].elapsed, 3);
    EXPECT_EQ(samples[2].elapsed, 6);
    EXPECT_EQ(samples[2].heartRateBPM, 150);

    // Fractional timestamps keep their fraction.
    auto fraction = timed(4);
    *fraction.timestamp += 500ms;
    EXPECT_DOUBLE_EQ(TelemetryActivity::normalized({early, fraction})[1].elapsed, 0.5);

    // Without timestamps: from zero, equal times one second apart.
    const auto spaced = TelemetryActivity::normalized(std::vector<TelemetrySample>(3));
    EXPECT_EQ(spaced[2].elapsed, 2);
    EXPECT_EQ(spaced[1].elapsed, 1);
}

TEST(TelemetryActivityTest, DerivedReadingsFillOnlyWhatTheSamplesAllow) {
    std::vector<TelemetrySample> raw(5);
    for (int i = 0; i < 5; ++i) raw[i] = timed(i);
    raw[0].latitude = 45.0, raw[0].longitude = 7.0;
    raw[1].latitude = 45.001, raw[1].longitude = 7.0;
    // raw[2] has no position: distance stays absent, running total unchanged.
    raw[3].latitude = 45.002, raw[3].longitude = 7.0;
    raw[4].distanceMeters = 50.0;  // present distances are never altered, even when they decrease
    raw[4].latitude = 45.003, raw[4].longitude = 7.0;
    const auto samples = TelemetryActivity::normalized(raw);

    const double step = TelemetryActivity::haversineMeters(45.0, 7.0, 45.001, 7.0);
    EXPECT_NEAR(step, 111.19, 0.01);
    EXPECT_EQ(samples[0].distanceMeters, 0.0);
    EXPECT_DOUBLE_EQ(*samples[1].distanceMeters, step);
    EXPECT_FALSE(samples[2].distanceMeters);
    EXPECT_FALSE(samples[3].distanceMeters);  // previous sample has no position
    EXPECT_EQ(samples[4].distanceMeters, 50.0);

    EXPECT_FALSE(samples[0].speedMetersPerSecond);
    EXPECT_DOUBLE_EQ(*samples[1].speedMetersPerSecond, step);
    EXPECT_FALSE(samples[4].speedMetersPerSecond);  // predecessor lacks a distance

    // Same second: no speed; distance going down: no speed; a present speed stays.
    std::vector<TelemetrySample> same = {timed(0), timed(0), timed(1)};
    same[0].distanceMeters = 10;
    same[1].distanceMeters = 20;
    same[2].distanceMeters = 15;
    const auto sameOut = TelemetryActivity::normalized(same);
    EXPECT_FALSE(sameOut[1].speedMetersPerSecond);
    EXPECT_FALSE(sameOut[2].speedMetersPerSecond);
    same[2].speedMetersPerSecond = 3.0;
    EXPECT_EQ(TelemetryActivity::normalized(same)[2].speedMetersPerSecond, 3.0);
}

TEST(TelemetryActivityTest, GradeOverTheLastFortyMeters) {
    std::vector<TelemetrySample> every10;
    for (int i = 0; i < 10; ++i) every10.push_back(climb(i * 10.0, i * 1.0));
    const auto graded = TelemetryActivity::addingGrade(every10);
    EXPECT_FALSE(graded[0].gradePercent);
    for (int i = 1; i < 10; ++i) EXPECT_NEAR(*graded[i].gradePercent, 10.0, 1e-9) << i;

    std::vector<TelemetrySample> every5;
    for (int i = 0; i < 12; ++i) every5.push_back(climb(i * 5.0, i < 9 ? 0.0 : (i - 8) * 2.0));
    const auto fine = TelemetryActivity::addingGrade(every5);
    EXPECT_FALSE(fine[1].gradePercent);        // only 5 m back
    EXPECT_NEAR(*fine[2].gradePercent, 0, 1e-12);  // measured over 10 m
    // Sample 11 at 55 m: the window reaches back to 15 m (sample 3, altitude 0).
    EXPECT_NEAR(*fine[11].gradePercent, 6.0 / 40.0 * 100.0, 1e-9);

    std::vector<TelemetrySample> steep = {climb(0, 0), climb(10, 5), climb(20, -10)};  // from sample 0: -50 %
    const auto clamped = TelemetryActivity::addingGrade(steep);
    EXPECT_EQ(clamped[1].gradePercent, 35.0);
    EXPECT_EQ(clamped[2].gradePercent, -35.0);

    steep[1].gradePercent = 80.0;  // a delivered grade stays as delivered
    EXPECT_EQ(TelemetryActivity::addingGrade(steep)[1].gradePercent, 80.0);
}

// The route keeps at most the given number of points by an integer step,
// always the last one, and leaves non-finite positions out.
TEST(TelemetryActivityTest, RouteIsThinnedByAnIntegerStepKeepingTheLastPoint) {
    std::vector<TelemetrySample> samples(5000);
    for (int i = 0; i < 5000; ++i) {
        samples[i].latitude = i * 0.0001;
        samples[i].longitude = 7.0;
    }
    samples[10].longitude = std::nan("");
    EXPECT_EQ(TelemetryActivity::routePoints(samples, 6000).size(), 4999u);  // the non-finite pair is left out

    samples[10].longitude = 7.0;
    const auto thinned = TelemetryActivity::routePoints(samples, 2000);
    ASSERT_EQ(thinned.size(), 1668u);  // step 3: 0, 3, ..., 4998 and the last one
    EXPECT_EQ(thinned[1].latitude, samples[3].latitude);
    EXPECT_EQ(thinned.back().latitude, samples[4999].latitude);
    EXPECT_EQ(TelemetryActivity::routePoints(samples, 2).size(), 5000u);
}

// The sample in force: the last at or before the time, the first before it.
TEST(TelemetryActivityTest, SampleAtATimeIsTheLatestNotAfterIt) {
    std::vector<TelemetrySample> raw(4);
    const double times[] = {0, 1, 1, 3};
    for (int i = 0; i < 4; ++i) {
        raw[i].elapsed = times[i];
        raw[i].powerWatts = i;
    }
    const TelemetryActivity activity(std::nullopt, raw);
    EXPECT_EQ(activity.sample(-5).powerWatts, 0);
    EXPECT_EQ(activity.sample(std::nan("")).powerWatts, 0);
    EXPECT_EQ(activity.sample(1).powerWatts, 2);  // the last of equal times wins
    EXPECT_EQ(activity.sample(3).powerWatts, 3);
}

TEST(TelemetryActivityTest, EmptyActivityHasNothingToShow) {
    const TelemetryActivity empty(std::nullopt, {});
    EXPECT_EQ(empty.summary, TelemetrySummary{});
    EXPECT_EQ(empty.sample(12), TelemetrySample{});
}

TEST(TelemetryActivityTest, SummaryIsOfThePresentReadings) {
    std::vector<TelemetrySample> samples(4);
    const double altitudes[] = {100.0, 100.4, 100.8, 101.2};
    const std::int64_t heartRates[] = {0, 120, 121, 0};
    for (int i = 0; i < 4; ++i) {
        samples[i].elapsed = i * 10.0;
        samples[i].altitudeMeters = altitudes[i];
        samples[i].heartRateBPM = heartRates[i];
    }
    samples[1].speedMetersPerSecond = 4;
    samples[2].speedMetersPerSecond = 8;
    samples[3].speedMetersPerSecond = 0;
    samples[1].distanceMeters = 40;
    samples[2].gradePercent = -3;
    auto summary = TelemetryActivity::summarize(samples);
    EXPECT_EQ(summary.durationSeconds, 30);
    EXPECT_EQ(summary.totalDistanceMeters, 40);
    EXPECT_EQ(summary.averageSpeedMetersPerSecond, 6);
    EXPECT_EQ(summary.maxSpeedMetersPerSecond, 8);
    EXPECT_EQ(summary.averageHeartRateBPM, 121);
    EXPECT_EQ(summary.maxHeartRateBPM, 121);
    EXPECT_NEAR(*summary.elevationGainMeters, 0.8, 1e-9);  // counted once 0.5 m above the low point
    EXPECT_FALSE(summary.maxGradePercent);      // only a descent
    EXPECT_FALSE(summary.averagePowerWatts);

    samples[3].gradePercent = 4.5;
    EXPECT_EQ(TelemetryActivity::summarize(samples).maxGradePercent, 4.5);
}

TEST(TelemetryActivityTest, ElevationGainCountsSlowClimbsNotNoise) {
    const auto gainOf = [](std::vector<double> heights) {
        std::vector<TelemetrySample> track(heights.size());
        for (std::size_t i = 0; i < heights.size(); ++i) track[i].altitudeMeters = heights[i];
        return TelemetryActivity::summarize(track).elevationGainMeters;
    };
    // A steady climb of 0.2 m per second over 100 s gains 20 m, not nothing.
    std::vector<double> climb;
    for (int i = 0; i <= 100; ++i) climb.push_back(500 + 0.2 * i);
    EXPECT_NEAR(*gainOf(climb), 20.0, 0.5);
    // Jitter within half a metre never adds up.
    EXPECT_FALSE(gainOf({100, 100.4, 100.0, 100.4, 100.1, 100.45, 100.0}));
    // Descents move the reference down; the climb after them counts from the bottom.
    EXPECT_NEAR(*gainOf({100, 110, 90, 95}), 15.0, 1e-9);
    // Missing and non-finite altitudes are skipped.
    EXPECT_NEAR(*gainOf({100, std::nan(""), 101}), 1.0, 1e-9);
}

namespace {

// A short ride with every kind of stretch the interpolation must respect:
// seconds 0-3 recorded every second, then a pause until 10, heart rate and
// power lost at 2, cadence and speed never lost.
TelemetryActivity interpolationRide() {
    std::vector<TelemetrySample> raw(6);
    const double seconds[] = {0, 1, 2, 3, 10, 11};
    const double speeds[] = {10, 12, 14, 14, 6, 8};
    const std::int64_t cadences[] = {80, 85, 90, 90, 60, 70};
    for (std::size_t k = 0; k < raw.size(); ++k) {
        raw[k].elapsed = seconds[k];
        raw[k].speedMetersPerSecond = speeds[k];
        raw[k].cadenceRPM = cadences[k];
        raw[k].distanceMeters = 11.0 * seconds[k];
        raw[k].altitudeMeters = 100.0 + seconds[k];
        raw[k].gradePercent = 1.0 + 2.0 * seconds[k];
        raw[k].latitude = 45.0 + 0.001 * seconds[k];
        raw[k].longitude = 7.0 + 0.002 * seconds[k];
    }
    raw[0].heartRateBPM = 120;
    raw[1].heartRateBPM = 125;
    raw[0].powerWatts = 200;
    raw[1].powerWatts = 250;
    raw[3].powerWatts = 300;
    return TelemetryActivity(std::nullopt, raw);
}

}  // namespace

TEST(TelemetryActivityTest, InterpolationMovesEveryReadingLinearlyBetweenTwoSamples) {
    const TelemetryActivity ride = interpolationRide();
    const TelemetrySample s = ride.interpolatedSample(0.25);
    EXPECT_DOUBLE_EQ(s.elapsed, 0.25);
    EXPECT_DOUBLE_EQ(*s.speedMetersPerSecond, 10.5);
    EXPECT_DOUBLE_EQ(*s.distanceMeters, 2.75);
    EXPECT_DOUBLE_EQ(*s.altitudeMeters, 100.25);
    EXPECT_DOUBLE_EQ(*s.gradePercent, 1.5);
    EXPECT_DOUBLE_EQ(*s.latitude, 45.00025);
    EXPECT_DOUBLE_EQ(*s.longitude, 7.0005);
    EXPECT_EQ(s.powerWatts, 213);     // 212.5, halves away from zero
    EXPECT_EQ(s.heartRateBPM, 121);   // 121.25
    EXPECT_EQ(s.cadenceRPM, 81);      // 81.25
}

TEST(TelemetryActivityTest, InterpolationNeverReachesIntoAnAbsentReading) {
    const TelemetryActivity ride = interpolationRide();
    // Power and heart rate are lost at 2: between 1 and 2 the last reading holds.
    const TelemetrySample holding = ride.interpolatedSample(1.5);
    EXPECT_EQ(holding.powerWatts, 250);
    EXPECT_EQ(holding.heartRateBPM, 125);
    EXPECT_DOUBLE_EQ(*holding.speedMetersPerSecond, 13);
    // Between 2 and 3 power comes back only at 3: absent until then.
    const TelemetrySample absent = ride.interpolatedSample(2.5);
    EXPECT_FALSE(absent.powerWatts.has_value());
    EXPECT_FALSE(absent.heartRateBPM.has_value());
    EXPECT_EQ(ride.interpolatedSample(3).powerWatts, 300);
}

TEST(TelemetryActivityTest, InterpolationHoldsAcrossAPauseThenJumps) {
    const TelemetryActivity ride = interpolationRide();
    const TelemetrySample paused = ride.interpolatedSample(9.9);
    EXPECT_DOUBLE_EQ(paused.elapsed, 9.9);  // the clock runs on
    EXPECT_DOUBLE_EQ(*paused.speedMetersPerSecond, 14);
    EXPECT_EQ(paused.powerWatts, 300);
    EXPECT_DOUBLE_EQ(*ride.interpolatedSample(10).speedMetersPerSecond, 6);
    EXPECT_DOUBLE_EQ(*ride.interpolatedSample(10.5).speedMetersPerSecond, 7);
}

TEST(TelemetryActivityTest, InterpolationAtTheRidesEndsGivesTheEndSamples) {
    const TelemetryActivity ride = interpolationRide();
    TelemetrySample first = ride.samples.front();
    EXPECT_EQ(ride.interpolatedSample(-5), first);
    TelemetrySample last = ride.samples.back();
    EXPECT_EQ(ride.interpolatedSample(500), last);
    EXPECT_EQ(TelemetryActivity().interpolatedSample(3), TelemetrySample{});

}

TEST(TelemetryActivityTest, InterpolationKeepsAPositionThatCrossesTheAntimeridian) {
    std::vector<TelemetrySample> raw(2);
    raw[0].latitude = -16.0;
    raw[0].longitude = 179.9999;
    raw[1].elapsed = 1;
    raw[1].latitude = -16.0002;
    raw[1].longitude = -179.9999;
    const TelemetrySample s = TelemetryActivity(std::nullopt, raw).interpolatedSample(0.5);
    EXPECT_DOUBLE_EQ(*s.longitude, 179.9999);
    EXPECT_DOUBLE_EQ(*s.latitude, -16.0);
}

TEST(TelemetryActivityTest, SmoothingAveragesOverTwoSecondsEachSide) {
    std::vector<TelemetrySample> raw(7);
    for (std::size_t k = 0; k < raw.size(); ++k) {
        raw[k].elapsed = static_cast<double>(k);
        raw[k].speedMetersPerSecond = k % 2 == 0 ? 10.0 : 20.0;
        raw[k].powerWatts = k % 2 == 0 ? 200 : 301;
        raw[k].heartRateBPM = k % 2 == 0 ? 100 : 110;
    }
    raw[6].elapsed = 20;  // after a pause: never averaged with the others
    const TelemetryActivity ride(std::nullopt, raw);
    constexpr auto both = TelemetryValueSmoothing::speedAndPower;

    const TelemetrySample middle = ride.sample(2, both);
    EXPECT_DOUBLE_EQ(*middle.speedMetersPerSecond, 14);  // (10+20+10+20+10) / 5
    EXPECT_EQ(middle.powerWatts, 240);                    // 1202 / 5 = 240.4
    EXPECT_EQ(middle.heartRateBPM, 100);                  // not smoothed
    EXPECT_DOUBLE_EQ(*ride.sample(5, both).speedMetersPerSecond, 50.0 / 3);  // 3, 4, 5; not 20
    EXPECT_DOUBLE_EQ(*ride.sample(20, both).speedMetersPerSecond, 10);
    // Between two smoothed samples the smoothed values are interpolated.
    EXPECT_DOUBLE_EQ(*ride.interpolatedSample(2.5, both).speedMetersPerSecond, 15);
    // Off unless asked for.
    EXPECT_DOUBLE_EQ(*ride.sample(2).speedMetersPerSecond, 10);
}
