// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>

#include "../../samples/SampleRide.h"
#include "Telemetry/FITParser.h"
#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryActivity.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

const std::vector<std::uint8_t> committedBytes() {
    return testing::readFileBytes(testing::sourceFolder() / "samples" / "sample-ride.fit");
}

TEST(SampleRideTest, CommittedFileIsWhatTheGeneratorWrites) {
    const auto bytes = committedBytes();
    EXPECT_TRUE(bytes == samples::makeSampleRide())
        << "samples/sample-ride.fit differs from a fresh generation; run pacemark-make-sample-ride";
    // Other readers check the CRCs: the reflected 0x8005 CRC-16 (check value
    // 0xBB3D for "123456789"), stored little-endian behind the header and
    // behind the file, makes the CRC of each run zero.
    EXPECT_EQ(FITWriter::crc16(std::vector<std::uint8_t>{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xBB3D);
    EXPECT_EQ(FITWriter::crc16(std::span(bytes).first(14)), 0);
    EXPECT_EQ(FITWriter::crc16(bytes), 0);
}

TEST(SampleRideTest, SampleIsAPlausibleRide) {
    const TelemetryActivity activity(std::nullopt, FITParser().parse(committedBytes()));
    const auto& samples = activity.samples;
    ASSERT_EQ(samples.size(), static_cast<std::size_t>(samples::sampleRideSeconds));
    // One sample per second throughout, whichever header or byte order it used.
    for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(samples[i].elapsed, static_cast<double>(i)) << i;

    const auto& summary = activity.summary;
    EXPECT_EQ(summary.durationSeconds, samples::sampleRideSeconds - 1);
    EXPECT_GT(summary.totalDistanceMeters.value_or(0), 15'000);
    EXPECT_LT(summary.totalDistanceMeters.value_or(0), 30'000);
    const auto [lowest, highest] = std::minmax_element(
        samples.begin(), samples.end(), [](const auto& a, const auto& b) { return *a.altitudeMeters < *b.altitudeMeters; });
    // A climb of over 200 m on a closed loop: there is elevation gain.
    EXPECT_GT(*highest->altitudeMeters - *lowest->altitudeMeters, 200);
    EXPECT_GT(summary.averagePowerWatts.value_or(0), 100);

    // A closed loop: the ride ends within a few metres of where it began.
    const auto& first = samples.front();
    const auto& last = samples.back();
    EXPECT_LT(TelemetryActivity::haversineMeters(*first.latitude, *first.longitude, *last.latitude, *last.longitude),
              50);

    // A stop of about half a minute: no cadence or power, and no speed in the
    // file (the activity fills in 0 m/s from the unchanged distance).
    std::size_t longestStop = 0;
    for (std::size_t i = 0, run = 0; i < samples.size(); ++i) {
        const auto& s = samples[i];
        const bool still = s.speedMetersPerSecond.value_or(0) == 0 && i > 0 &&
                           s.distanceMeters == samples[i - 1].distanceMeters;
        run = still && !s.cadenceRPM && !s.powerWatts && s.heartRateBPM ? run + 1 : 0;
        longestStop = std::max(longestStop, run);
    }
    EXPECT_GE(longestStop, 25u);
    EXPECT_LE(longestStop, 40u);
}

}  // namespace
}  // namespace pacemark
