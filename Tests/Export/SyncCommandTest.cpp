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

// Every field of a placed and an unplaced clip, in JSON and as text.
// (Placing the shared cameras' real clips is ClipSynchronizationTest's.)
TEST(SyncCommandTest, OnlyAClipOfTheRidesDayIsPlaced) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    testing::TemporaryFolder folder;
    const auto ride = testing::writeNorthboundRide(folder / "ride.fit", 600);
    const auto day = (folder / "day.mp4").string();
    const auto otherDay = (folder / "other-day.mp4").string();
    testing::writeClipOnRide(day, {.start = 100.5, .frameRate = "30000/1001", .payloadSeconds = 1.001});
    testing::writeClipOnRide(otherDay, {.start = 86400 + 100.0});
    const auto run = runCLI({"sync", ride.string(), day, otherDay, "--json"}, folder);
    EXPECT_EQ(run.status, 1) << run.err;
    const auto lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;

    const auto& placed = lines[0];
    EXPECT_EQ(placed.at("clip"), day);
    EXPECT_EQ(placed.at("method"), "camera-gps");
    const double start = placed.at("startSeconds");
    EXPECT_NEAR(start, 100.5, placed.at("uncertaintySeconds").get<double>() + 1e-6);
    EXPECT_EQ(placed.at("rate"), 1);
    EXPECT_EQ(placed.at("frameRate"), "30000/1001");
    EXPECT_NEAR(placed.at("durationSeconds").get<double>(), 2.002, 1e-6);
    EXPECT_LT(placed.at("positionMismatchMeters").get<double>(), 50);
    EXPECT_FALSE(placed.contains("zoneOffsetMinutes"));

    const auto& unplaced = lines[1];
    EXPECT_EQ(unplaced.at("method"), "none");
    EXPECT_TRUE(unplaced.at("startSeconds").is_null());
    EXPECT_NE(unplaced.at("message").get<std::string>().find("после конца трека"), std::string::npos) << unplaced;

    const auto text = runCLI({"sync", ride.string(), day}, folder);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("day.mp4: Синхронизировано по GPS камеры: старт ", 0), 0u) << text.out;
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
