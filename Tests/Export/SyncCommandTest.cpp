// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CLIRun.h"
#include "RideClips.h"
#include "VideoTestMovies.h"

namespace pacemark {
namespace {

using testing::jsonLines;
using testing::runCLI;

std::filesystem::path cameraClips() { return testing::sharedTestDataFolder() / "cameras" / "clips"; }

TEST(SyncCommandTest, OnlyAClipOfTheRidesDayIsPlaced) {
    if (!std::filesystem::exists(cameraClips())) GTEST_SKIP() << cameraClips().string() << " is not present";
    testing::TemporaryFolder folder;
    // Half an hour standing where the shared 360° clip was recorded, from ten
    // minutes before its first GPS stamp.
    const auto ride = testing::writeStandingRide(folder / "ride.gpx", 33.12677, -117.3273436, "2019-11-18T23:35:14Z");
    const auto max = (cameraClips() / "max-heromode.mp4").string();
    const auto karma = (cameraClips() / "karma.mp4").string();
    const auto run = runCLI({"sync", ride.string(), max, karma, "--json"}, folder);
    EXPECT_EQ(run.status, 1) << run.err;
    const auto lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;

    const auto& placed = lines[0];
    EXPECT_EQ(placed.at("clip"), max);
    EXPECT_EQ(placed.at("method"), "camera-gps");
    const double start = placed.at("startSeconds");
    const double uncertainty = placed.at("uncertaintySeconds");
    // The first frame lies between 600.0 and 601.4 s of the ride.
    EXPECT_LE(start - uncertainty, 600.0);
    EXPECT_GE(start + uncertainty, 601.4);
    EXPECT_EQ(placed.at("rate"), 1);
    EXPECT_EQ(placed.at("frameRate"), "30000/1001");
    EXPECT_NEAR(placed.at("durationSeconds").get<double>(), 10.5105, 1e-6);
    EXPECT_LT(placed.at("positionMismatchMeters").get<double>(), 50);
    EXPECT_FALSE(placed.contains("zoneOffsetMinutes"));

    const auto& unplaced = lines[1];
    EXPECT_EQ(unplaced.at("method"), "none");
    EXPECT_TRUE(unplaced.at("startSeconds").is_null());
    EXPECT_NE(unplaced.at("message").get<std::string>().find("не синхронизировано"), std::string::npos);

    const auto text = runCLI({"sync", ride.string(), max}, folder);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("max-heromode.mp4: Синхронизировано по GPS камеры: старт ", 0), 0u) << text.out;
}

TEST(SyncCommandTest, UnreadableClipDoesNotStopTheOthers) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    testing::TemporaryFolder folder;
    const auto ride = testing::writeNorthboundRide(folder / "ride.fit", 600);
    testing::writeFileText(folder / "broken.mp4", "not a movie");
    testing::writeClipOnRide(folder / "placed.mp4", {.start = 100.5});
    const auto run = runCLI({"sync", ride.string(), (folder / "broken.mp4").string(),
                             (folder / "placed.mp4").string(), "--json"},
                            folder);
    EXPECT_EQ(run.status, 1) << run.err;
    const auto lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0].at("method"), "none");
    EXPECT_NE(lines[0].at("message").get<std::string>().find("Не удалось открыть видео «broken.mp4»"),
              std::string::npos);
    EXPECT_EQ(lines[1].at("method"), "camera-gps");
}

// The second chapter has no GPS of its own: it is placed where the first
// one ends, and given first on the command line it still comes second.
TEST(SyncCommandTest, ChapterWithoutItsOwnClockIsPlacedAfterThePreviousOne) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    testing::TemporaryFolder folder;
    const auto ride = testing::writeNorthboundRide(folder / "ride.fit", 600);
    testing::writeClipOnRide(folder / "GX010077.MP4", {.start = 300.3});
    testing::writeClipOnRide(folder / "GX020077.MP4", {});
    const auto run = runCLI({"sync", ride.string(), (folder / "GX020077.MP4").string(),
                             (folder / "GX010077.MP4").string(), "--json"},
                            folder);
    EXPECT_EQ(run.status, 0) << run.err;
    const auto lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[0].at("method"), "camera-gps");
    EXPECT_EQ(lines[1].at("clip"), (folder / "GX020077.MP4").string());
    EXPECT_EQ(lines[1].at("method"), "previous-chapter");
    EXPECT_NEAR(lines[1].at("startSeconds").get<double>(), 302.3, 0.2);
}

}  // namespace
}  // namespace pacemark
