// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipSynchronizationReading.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "CameraTestClips.h"
#include "GPMFTestPayloads.h"
#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "VideoTestMovies.h"

namespace pacemark {
namespace {

using namespace testing;
using ::testing::HasSubstr;
using Position = std::pair<double, double>;
using PositionAt = std::function<Position(TelemetryTimestamp)>;

const TelemetryTimestamp rideStart = *parseISO8601InternetDateTime("2023-05-01T10:00:00Z");

TelemetryTimestamp plus(TelemetryTimestamp time, double seconds) {
    return time + std::chrono::microseconds(std::llround(seconds * 1e6));
}

// A rider going north at 5 m/s from 47.5° N 8.5° E, starting at rideStart.
Position northward(TelemetryTimestamp time) {
    return {47.5 + secondsBetween(rideStart, time) * 5 / 111'320.0, 8.5};
}

// A ride of one sample per second as a FIT file, with an activity message
// giving the local time offset when asked.
std::filesystem::path writeFITRide(const TemporaryFolder& folder, TelemetryTimestamp start, int seconds,
                                   const PositionAt& positionAt, std::optional<int> localOffsetSeconds = std::nullopt) {
    FITWriter writer;
    FITWriter::RecordLayout layout;
    layout.altitude = layout.heartRate = layout.cadence = layout.distance = layout.speed = layout.power = false;
    writer.writeRecordDefinition(0, layout);
    for (int i = 0; i <= seconds; ++i) {
        TelemetrySample sample;
        sample.timestamp = plus(start, i);
        const auto [latitude, longitude] = positionAt(*sample.timestamp);
        sample.latitude = latitude;
        sample.longitude = longitude;
        writer.writeRecord(0, sample);
    }
    if (localOffsetSeconds) {
        writer.writeDefinition(1, 34, {{253, 4, FITBaseType::uint32}, {5, 4, FITBaseType::uint32}});
        const std::uint32_t end = FITWriter::fitSeconds(plus(start, seconds));
        const FITValue values[] = {FITValue(end), FITValue(static_cast<std::uint32_t>(end + *localOffsetSeconds))};
        writer.writeData(1, values);
    }
    const auto path = folder / "ride.fit";
    writeFileBytes(path, writer.finish());
    return path;
}

// A GPS9 clip of `payloads` payloads of 1.001 s of movie, ten fixes each;
// fix k of the clip is at `utcOf(movie seconds)` on the rider's track
// shifted by `offsetMeters` east.
std::vector<TimedPayload> gps9Payloads(int payloads, const std::function<TelemetryTimestamp(double)>& utcOf,
                                       double offsetMeters = 0) {
    std::vector<TimedPayload> result;
    for (int p = 0; p < payloads; ++p) {
        std::vector<gpmf::TestFix> fixes;
        for (int k = 0; k < 10; ++k) {
            const double movie = 1.001 * p + 0.1001 * k;
            const auto utc = utcOf(movie);
            const auto [latitude, longitude] = northward(utc);
            fixes.push_back({latitude, longitude + offsetMeters / (111'320.0 * std::cos(latitude * M_PI / 180)), utc});
        }
        result.push_back({gpmf::gps9Payload(fixes), 1.001 * p, 1.001});
    }
    return result;
}

class ClipSynchronizationTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    }

    ClipPlacement place(const std::filesystem::path& ride, const std::filesystem::path& clip) {
        return VideoSynchronization::placeClip(TelemetryFileLoader::load(ride), readClip(clip).synchronization);
    }

    // A GPS9 clip of 6 s whose first frame shows `firstFrame`.
    std::filesystem::path gps9Clip(TelemetryTimestamp firstFrame, double offsetMeters = 0) {
        const auto path = folder / "camera.mp4";
        writeCameraClip(path, 6, gps9Payloads(6, [&](double m) { return plus(firstFrame, m); }, offsetMeters));
        return path;
    }

    TemporaryFolder folder;
};

// A real-time GPS9 clip of 6 s at several moments of a ride: inside it, just
// before its start (a negative start, still placed), after its end (not
// placed), and 5 km beside the track (placed, with a warning).
TEST_F(ClipSynchronizationTest, CameraClockPlacesTheClipOnTheRide) {
    const struct {
        const char* name;
        int rideSeconds;
        double clipStart;  // seconds from the ride's start
        double offsetMeters;
        bool placed;
        const char* message;
    } clips[] = {
        {"ten minutes in", 1800, 600.3, 0, true, "Синхронизировано по GPS камеры: старт 10:00.3"},
        {"before the ride", 600, -3, 0, true, "Синхронизировано по GPS камеры"},
        {"after the ride", 600, 900, 0, false, "после конца трека"},
        {"from elsewhere", 1800, 60, 5000, true, " от трека, похоже, видео не с этой поездки"},
    };
    for (const auto& clip : clips) {
        SCOPED_TRACE(clip.name);
        const auto ride = writeFITRide(folder, rideStart, clip.rideSeconds, northward);
        const ClipPlacement placement = place(ride, gps9Clip(plus(rideStart, clip.clipStart), clip.offsetMeters));
        EXPECT_THAT(placement.message, HasSubstr(clip.message));
        if (!clip.placed) {
            EXPECT_EQ(placement.method, VideoSynchronizationMethod::none);
            EXPECT_THAT(placement.message, HasSubstr("не синхронизировано"));
            continue;
        }
        EXPECT_EQ(placement.method, VideoSynchronizationMethod::cameraGPS);
        EXPECT_NEAR(placement.startSeconds, clip.clipStart, 0.2);
        EXPECT_EQ(placement.rate, 1);
        ASSERT_TRUE(placement.uncertaintySeconds);
        EXPECT_LE(*placement.uncertaintySeconds, 0.2);
        ASSERT_TRUE(placement.positionMismatchMeters);
        EXPECT_NEAR(*placement.positionMismatchMeters, clip.offsetMeters, 20);
    }
}

// A clip with a metadata track but no camera GPS, dated as the shared
// karma.mp4 is: 2017-04-17T19:27:57Z, the camera's local time (UTC−7) written
// as UTC. Written by the test, so a clone without the shared files runs it.
// Rides around the true start decide which whole-hour zones fit; only one
// that fits alone, or the ride's own local time offset, places the clip.
TEST_F(ClipSynchronizationTest, CreationDateIsPlacedOnlyByTheOneZoneThatFits) {
    const auto clip = folder / "dated.mp4";
    writeCameraClip(clip, 12, {}, "2017-04-17T19:27:57Z");
    const TelemetryTimestamp trueStart = *parseISO8601InternetDateTime("2017-04-18T02:27:57Z");
    const struct {
        const char* name;
        double rideStart;  // seconds from the true start
        int rideSeconds;
        std::optional<int> localOffsetSeconds;
        std::optional<double> placedAt;  // absent: not placed
        const char* message;
    } rides[] = {
        {"one zone fits", -1200, 2400, std::nullopt, 1200, "с поправкой на часовой пояс UTC−7"},
        {"several zones fit", -5400, 10800, std::nullopt, std::nullopt, "в нескольких часовых поясах"},
        {"the ride's own offset decides", -5400, 10800, -7 * 3600, 5400, "UTC−7"},
        {"no zone fits", 86400 * 3, 600, std::nullopt, std::nullopt, "не попадает в трек ни в одном часовом поясе"},
    };
    for (const auto& ride : rides) {
        SCOPED_TRACE(ride.name);
        const ClipPlacement placement =
            place(writeFITRide(folder, plus(trueStart, ride.rideStart), ride.rideSeconds, northward,
                               ride.localOffsetSeconds),
                  clip);
        EXPECT_THAT(placement.message, HasSubstr(ride.message));
        if (!ride.placedAt) {
            EXPECT_EQ(placement.method, VideoSynchronizationMethod::none);
            continue;
        }
        EXPECT_EQ(placement.method, VideoSynchronizationMethod::creationDateZone);
        EXPECT_EQ(placement.zoneOffsetMinutes, -420);
        EXPECT_EQ(placement.startSeconds, *ride.placedAt);
    }
}

}  // namespace
}  // namespace pacemark
