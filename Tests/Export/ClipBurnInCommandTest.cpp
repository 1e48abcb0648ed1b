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

// The overlay movie cannot be made at 29.97 fps yet; the finished video
// follows the clip's own pictures and can. It goes into the output folder.
TEST(ClipBurnInCommandTest, EveryPlacedClipGetsItsFinishedVideo) {
    if (!ffmpegCommandAvailable()) GTEST_SKIP() << "ffmpeg is not installed; skipped";
    TemporaryFolder folder;
    const fs::path ride = writeNorthboundRide(folder / "ride.fit", 600);
    // Two seconds at 29.97 fps whose camera clocks put their first frames at
    // ride second 60.5 and a day later.
    const fs::path placed = folder / "GX010007.MP4", otherDay = folder / "other-day.mp4";
    writeClipOnRide(placed, {.start = 60.5, .frameRate = "30000/1001", .payloadSeconds = 1.001});
    writeClipOnRide(otherDay, {.start = 86400 + 300.0, .frameRate = "30000/1001", .payloadSeconds = 1.001});
    const fs::path done = folder / "done";
    const CLIRun run = runCLI({"export", ride.string(), "--clips", placed.string(), otherDay.string(), "--burn-in",
                               "--quality", "30", "--output-dir", done.string(), "--json", "--quiet"},
                              folder);
    // The clip the camera clock cannot place fails alone, and no video is
    // made of it. (Its text: ClipExportCommandTest.)
    EXPECT_EQ(run.status, 1) << run.err;
    const fs::path finished = done / "GX010007-pacemark.mp4";
    ASSERT_EQ(filesIn(done), std::vector<fs::path>{finished.filename()}) << run.err;
    const nlohmann::json line = nlohmann::json::parse(run.out);
    EXPECT_EQ(line.at("path").get<std::string>(), finished.string());
    // The clip's length at its exact 30000/1001, not at a rounded 30. (What
    // the finished video's pictures hold and their times are
    // FFmpegClipBurnInTest's.)
    const ClipReading clip = readClip(placed);
    EXPECT_EQ(line.at("frames").get<std::int64_t>(), clip.facts.frameCount);
    EXPECT_DOUBLE_EQ(line.at("seconds").get<double>(), clip.facts.frameRate.seconds(clip.facts.frameCount));
    // The camera's track is copied, so the finished video syncs as its clip did.
    const auto again = readClip(finished).synchronization;
    EXPECT_EQ(again.cameraProblem, std::nullopt);
    EXPECT_EQ(again.cameraGPS.bestSamples().size(), clip.synchronization.cameraGPS.bestSamples().size());
}

}  // namespace
}  // namespace pacemark
