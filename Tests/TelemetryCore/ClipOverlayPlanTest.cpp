// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "Export/ClipOverlayPlan.h"
#include "Export/TelemetryVideoExporter.h"
#include "Telemetry/TelemetryTime.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;

const TelemetryTimestamp rideStart = *parseISO8601InternetDateTime("2023-05-01T10:00:00Z");
constexpr int rideSeconds = 3600;

TelemetryTimestamp at(double rideSecond) {
    return rideStart + std::chrono::microseconds(std::llround(rideSecond * 1e6));
}

double latitudeAt(double rideSecond) { return 47.5 + rideSecond * 5 / 111'320.0; }

// An hour going north at 5 m/s, one sample a second.
TelemetryActivity hourRide() {
    std::vector<TelemetrySample> samples;
    for (int s = 0; s <= rideSeconds; ++s) {
        TelemetrySample sample;
        sample.timestamp = at(s);
        sample.latitude = latitudeAt(s);
        sample.longitude = 8.5;
        samples.push_back(sample);
    }
    return TelemetryActivity(std::nullopt, std::move(samples));
}

// A clip of `seconds` at 30 fps and 64 × 48, without a clock of its own.
ClipOverlayInput clipWithoutClock(fs::path file, double seconds = 10) {
    ClipOverlayInput clip;
    clip.file = std::move(file);
    clip.facts.frameRate = {30, 1};
    clip.facts.frameCount = std::llround(seconds * 30);
    clip.facts.displayWidth = 64;
    clip.facts.displayHeight = 48;
    clip.facts.durationSeconds = seconds;
    clip.synchronization.durationSeconds = seconds;
    return clip;
}

// The same clip with the camera's GPS (a fix every 0.1 s of movie, on the
// ride's track) saying its first frame shows ride second `start`, and
// `rate` ride seconds pass per movie second.
ClipOverlayInput clipWithClock(fs::path file, double start, double seconds = 10, double rate = 1) {
    ClipOverlayInput clip = clipWithoutClock(std::move(file), seconds);
    CameraGPSDevice device;
    device.id = 1;
    device.name = "Camera";
    for (int k = 0; k * 0.1 <= seconds; ++k) {
        CameraGPSSample sample;
        sample.movieSeconds = k * 0.1;
        const double ride = start + rate * sample.movieSeconds;
        sample.utc = at(ride);
        sample.latitude = latitudeAt(ride);
        sample.longitude = 8.5;
        sample.fix = 3;
        sample.precision = 150;
        sample.payloadIndex = static_cast<std::size_t>(k / 10);
        device.gps9.push_back(sample);
    }
    clip.synchronization.cameraGPS.devices.push_back(device);
    return clip;
}

ClipOverlayOptions proResOptions() {
    ClipOverlayOptions options;
    options.settings.codec = TelemetryVideoCodec::proRes4444;
    return options;
}

TEST(ClipOverlayPlanTest, VariableSpeedOverlayCarriesTheClipsClock) {
    // Real time for 3 s of movie, then 5 ride seconds per movie second.
    ClipOverlayInput clip = clipWithClock("warp.mp4", 600, 6);
    for (CameraGPSSample& sample : clip.synchronization.cameraGPS.devices[0].gps9) {
        const double m = sample.movieSeconds;
        const double ride = 600 + (m < 3 ? m : 3 + 5 * (m - 3));
        sample.utc = at(ride);
        sample.latitude = latitudeAt(ride);
    }
    const auto plan = ClipOverlayPlan::make(hourRide(), std::vector{clip}, proResOptions());
    ASSERT_TRUE(plan.overlays[0].hasOverlay()) << plan.overlays[0].error.value_or("");
    const auto& config = *plan.overlays[0].config;
    ASSERT_GE(config.clipTiming->rideKnots.size(), 3u);
    const auto framePlan = TelemetryVideoExporter::framePlan(hourRide(), config);
    EXPECT_NEAR(framePlan.elapsedSeconds(30), 601, 0.05);   // 1 s of movie
    EXPECT_NEAR(framePlan.elapsedSeconds(150), 613, 0.05);  // 5 s of movie
}

TEST(ClipOverlayPlanTest, GivenSizeReplacesTheClipsSize) {
    ClipOverlayOptions options = proResOptions();
    options.settings.width = 320;
    options.settings.height = 180;
    options.usesSettingsSize = true;
    const std::vector clips = {clipWithClock("a.mp4", 60)};
    const auto plan = ClipOverlayPlan::make(hourRide(), clips, options);
    ASSERT_TRUE(plan.overlays[0].hasOverlay());
    EXPECT_EQ(plan.overlays[0].config->width, 320);
    EXPECT_EQ(plan.overlays[0].config->height, 180);
}

// A clip at 30000/1001 gets an overlay at exactly that rate, whose frames
// cover the clip's own length; one at a rate no movie is written at gets
// the settings' reason.
TEST(ClipOverlayPlanTest, ClipAtAFractionalFrameRateGetsAnOverlayAtThatExactRate) {
    ClipOverlayInput clip = clipWithClock("ntsc.mp4", 60);
    clip.facts.frameRate = {30000, 1001};
    clip.facts.frameCount = 300;
    const auto plan = ClipOverlayPlan::make(hourRide(), std::vector{clip}, proResOptions());
    ASSERT_TRUE(plan.overlays[0].hasOverlay()) << plan.overlays[0].error.value_or("");
    const TelemetryRenderConfig& config = *plan.overlays[0].config;
    EXPECT_EQ(config.frameRate, FrameRate(30000, 1001));
    EXPECT_EQ(config.durationSeconds, 10.01);
    EXPECT_EQ(TelemetryVideoExporter::framePlan(hourRide(), config).frameCount, 300);

    clip.facts.frameRate = {480, 1};
    const auto refused = ClipOverlayPlan::make(hourRide(), std::vector{clip}, proResOptions());
    EXPECT_EQ(refused.overlays[0].error, "Частота 480 кадров в секунду не подходит: нужно от 1 до 240.");
}

TEST(ClipOverlayPlanTest, FrameCountComesFromTheDurationWhenTheMovieStatesNone) {
    ClipFacts facts;
    facts.frameRate = {25, 1};
    facts.durationSeconds = 3.04;
    EXPECT_EQ(ClipOverlayPlan::clipFrameCount(facts), 76);
    facts.durationSeconds = std::nan("");
    EXPECT_EQ(ClipOverlayPlan::clipFrameCount(facts), std::nullopt);
    facts.frameCount = 77;
    EXPECT_EQ(ClipOverlayPlan::clipFrameCount(facts), 77);
}

TEST(ClipOverlayPlanTest, ChapterWithoutItsOwnClockFollowsThePreviousChapter) {
    const std::vector clips = {clipWithoutClock("/c/GOPR0042.MP4", 8), clipWithoutClock("/c/GP020042.MP4", 8),
                               clipWithClock("/c/GP010042.MP4", 100.25, 8, 10), clipWithoutClock("/c/GP040042.MP4", 8)};
    // Placed in chapter order (GOPR0042, GP010042, GP020042), the first
    // chapter has nothing to follow and nothing to place it; GP040042 comes
    // after a missing chapter and follows nothing either.
    const auto plan = ClipOverlayPlan::make(hourRide(), clips, proResOptions());
    EXPECT_FALSE(plan.overlays[0].hasOverlay());
    const ClipOverlay& third = plan.overlays[2];
    ASSERT_TRUE(third.hasOverlay()) << third.error.value_or("");
    EXPECT_EQ(third.placement.method, VideoSynchronizationMethod::previousChapter);
    // 100.25 + 8 s of a 10× chapter.
    EXPECT_NEAR(third.config->startOffsetSeconds, 180.25, 0.05);
    EXPECT_NEAR(third.config->clipTiming->rideSecondsPerMovieSecond, 10, 0.05);
    EXPECT_NE(third.placement.message.find("GP010042.MP4"), std::string::npos) << third.placement.message;
    EXPECT_EQ(plan.overlays[3].placement.method, VideoSynchronizationMethod::none);
}

TEST(ClipOverlayPlanTest, ChapterChainedPastTheRidesEndIsNotPlaced) {
    const std::vector clips = {clipWithClock("GX010012.MP4", rideSeconds - 5), clipWithoutClock("GX020012.MP4")};
    const auto plan = ClipOverlayPlan::make(hourRide(), clips, proResOptions());
    EXPECT_FALSE(plan.overlays[1].hasOverlay());
}

}  // namespace
}  // namespace pacemark
