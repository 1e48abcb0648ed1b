// SPDX-License-Identifier: GPL-3.0-or-later
// `pacemark-cli export RIDE --clips CLIP... --burn-in`: finished videos of
// clips written here, and the options that go with it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CLIRun.h"
#include "ClipSynchronizationReading.h"
#include "RideClips.h"
#include "VideoTestMovies.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace testing;

class ClipBurnInCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ffmpegCommandAvailable()) GTEST_SKIP() << "ffmpeg is not installed; skipped";
        writeNorthboundRide(ride, 600);
    }

    // A 29.97 fps clip of two seconds whose camera clock puts its first frame at ride second `start`.
    fs::path clip(const std::string& name, double start) const {
        writeClipOnRide(folder / name, {.start = start, .frameRate = "30000/1001", .payloadSeconds = 1.001});
        return folder / name;
    }

    TemporaryFolder folder;
    fs::path ride = folder / "ride.fit";
};

// The overlay movie cannot be made at 29.97 fps yet; the finished video
// follows the clip's own pictures and can.
TEST_F(ClipBurnInCommandTest, EveryPlacedClipGetsItsFinishedVideo) {
    const fs::path placed = clip("GX010007.MP4", 60.5);
    const fs::path otherDay = clip("other-day.mp4", 86400 + 300.0);
    const CLIRun run = runCLI({"export", ride.string(), "--clips", placed.string(), otherDay.string(), "--burn-in",
                               "--quality", "30", "--json", "--quiet"},
                              folder);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("Ошибка: " + otherDay.string() + ": По GPS камеры видео снято после конца трека"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(folder / "other-day-pacemark.mp4"));
    const fs::path finished = folder / "GX010007-pacemark.mp4";
    ASSERT_TRUE(fs::exists(finished)) << run.err;
    const nlohmann::json line = nlohmann::json::parse(run.out);
    EXPECT_EQ(line.at("path").get<std::string>(), finished.string());
    const ClipReading before = readClip(placed);
    const ClipReading after = readClip(finished);
    EXPECT_EQ(line.at("frames").get<std::int64_t>(), before.facts.frameCount);
    // The clip's length at its exact 30000/1001, not at a rounded 30.
    EXPECT_DOUBLE_EQ(line.at("seconds").get<double>(), before.facts.frameRate.seconds(before.facts.frameCount));
    EXPECT_EQ(after.facts.frameCount, before.facts.frameCount);
    EXPECT_EQ(after.facts.frameRate, before.facts.frameRate);
    // The camera track is still there: the finished video is placed where its clip was.
    EXPECT_EQ(after.synchronization.cameraGPS.bestSamples().size(),
              before.synchronization.cameraGPS.bestSamples().size());
}

TEST_F(ClipBurnInCommandTest, FinishedVideosGoIntoTheOutputFolder) {
    const fs::path placed = clip("a.mp4", 30);
    const CLIRun run = runCLI({"export", ride.string(), "--clips", placed.string(), "--burn-in", "--output-dir",
                               (folder / "done").string(), "--quiet"},
                              folder);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::exists(folder / "done" / "a-pacemark.mp4"));
}

}  // namespace
}  // namespace pacemark
