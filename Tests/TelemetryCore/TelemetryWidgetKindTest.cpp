// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Layout/TelemetryWidgetKind.h"
#include "Telemetry/TelemetryActivity.h"

using namespace pacemark;

namespace {

using Kind = TelemetryWidgetKind;

TelemetrySample sampleWith(auto setter) {
    TelemetrySample s;
    setter(s);
    return s;
}

}  // namespace

TEST(TelemetryWidgetKindTest, FormattedValues) {
    const TelemetryActivity activity(std::nullopt, {sampleWith([](auto& s) { s.elapsed = 0; }),
                                                    sampleWith([](auto& s) { s.elapsed = 100; })});
    auto text = [&](Kind kind, auto setter) { return kind.formattedValue(sampleWith(setter), activity); };

    EXPECT_EQ(text(Kind::gradient, [](auto& s) { s.gradePercent = -12.4; }), "-12");
    EXPECT_EQ(text(Kind::speed, [](auto&) {}), "--");
    EXPECT_EQ(text(Kind::power, [](auto& s) { s.powerWatts = -3; }), "-3");
    EXPECT_EQ(text(Kind::distance, [](auto& s) { s.distanceMeters = 12345; }), "12.3");
    EXPECT_EQ(text(Kind::altitude, [](auto& s) { s.altitudeMeters = 412.6; }), "413");
    EXPECT_EQ(text(Kind::gpsCoordinates, [](auto& s) { s.latitude = 45.5; s.longitude = -7.25; }),
              "45.500000, -7.250000");
    EXPECT_EQ(text(Kind::gpsCoordinates, [](auto& s) { s.latitude = 45.5; }), "--");
    EXPECT_EQ(text(Kind::progress, [](auto& s) { s.elapsed = 41.66; }), "42%");
    EXPECT_EQ(text(Kind::progress, [](auto& s) { s.elapsed = 250; }), "100%");
}

// Between two samples the elapsed time is the earlier sample's, whether the
// frame shows that sample (steps) or readings interpolated to its instant
// (smooth): the text changes when the next sample comes, not half-way.
TEST(TelemetryWidgetKindTest, ElapsedTimeIsTheClockOfTheSampleInForce) {
    std::vector<TelemetrySample> samples;
    for (int k = 0; k <= 10; ++k) samples.push_back(sampleWith([k](auto& s) { s.elapsed = 2.0 * k; }));
    const TelemetryActivity activity(std::nullopt, samples);
    const Kind elapsed = Kind::elapsedTime;
    EXPECT_EQ(elapsed.formattedValue(activity.interpolatedSample(5.9), activity), "00:04");
    EXPECT_EQ(elapsed.formattedValue(activity.sample(5.9), activity), "00:04");
    EXPECT_EQ(elapsed.formattedValue(activity.interpolatedSample(6.0), activity), "00:06");
}

TEST(TelemetryWidgetKindTest, GaugeProgressIsAClampedFraction) {
    TelemetrySample last;
    last.elapsed = 200;
    last.distanceMeters = 1000;
    const TelemetryActivity activity(std::nullopt, {TelemetrySample{}, last});
    auto gauge = [&](Kind kind, auto setter) { return kind.gaugeProgress(sampleWith(setter), activity); };

    EXPECT_DOUBLE_EQ(gauge(Kind::altitude, [](auto& s) { s.altitudeMeters = -500; }), 0.2);
    EXPECT_EQ(gauge(Kind::speed, [](auto& s) { s.speedMetersPerSecond = -3; }), 0.0);
    EXPECT_DOUBLE_EQ(gauge(Kind::gradient, [](auto& s) { s.gradePercent = -11; }), 0.5);
    EXPECT_DOUBLE_EQ(gauge(Kind::distance, [](auto& s) { s.distanceMeters = 250; }), 0.25);
    EXPECT_EQ(gauge(Kind::power, [](auto&) {}), 0.0);
}

TEST(TelemetryWidgetKindTest, CoordinateLinesNeedBothCoordinates) {
    const Kind coordinates = Kind::gpsCoordinates;
    EXPECT_EQ(coordinates.coordinateLines(sampleWith([](auto& s) { s.latitude = 45.1234567; s.longitude = 7.5; })),
              (CoordinateLines{"LAT 45.123457", "LON 7.500000"}));
    EXPECT_EQ(coordinates.coordinateLines(sampleWith([](auto& s) { s.latitude = 45.0; })),
              (CoordinateLines{"LAT --", "LON --"}));
}
