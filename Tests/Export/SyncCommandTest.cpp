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

// Every clip gets its line: the fields of a placed one, and for a clip of
// another day and an unreadable one the reason, in JSON and as text.
// (Placing the shared cameras' real clips is ClipSynchronizationTest's;
// chapters without a clock of their own, ClipOverlayPlanTest's.)
TEST(SyncCommandTest, EveryClipIsReportedPlacedOrWithItsReason) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    testing::TemporaryFolder folder;
    const auto ride = testing::writeNorthboundRide(folder / "ride.fit", 600);
    const auto day = (folder / "day.mp4").string();
    const auto otherDay = (folder / "other-day.mp4").string();
    const auto broken = (folder / "broken.mp4").string();
    testing::writeClipOnRide(day, {.start = 100.5, .frameRate = "30000/1001", .payloadSeconds = 1.001});
    testing::writeClipOnRide(otherDay, {.start = 86400 + 100.0});
    testing::writeFileText(broken, "not a movie");
    const auto run = runCLI({"sync", ride.string(), day, otherDay, broken, "--json"}, folder);
    EXPECT_EQ(run.status, 1) << run.err;
    const auto lines = jsonLines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;

    const auto& placed = lines[0];
    EXPECT_EQ(placed.at("clip"), day);
    EXPECT_EQ(placed.at("method"), "camera-gps");
    const double start = placed.at("startSeconds");
    EXPECT_NEAR(start, 100.5, placed.at("uncertaintySeconds").get<double>() + 1e-6);
    EXPECT_EQ(placed.at("rate"), 1);
    EXPECT_EQ(placed.at("frameRate"), "30000/1001");
    EXPECT_NEAR(placed.at("durationSeconds").get<double>(), 2.002, 1e-6);

    const auto& unplaced = lines[1];
    EXPECT_EQ(unplaced.at("method"), "none");
    EXPECT_TRUE(unplaced.at("startSeconds").is_null());
    EXPECT_NE(unplaced.at("message").get<std::string>().find("после конца трека"), std::string::npos) << unplaced;
    EXPECT_EQ(lines[2].at("method"), "none");
    EXPECT_NE(lines[2].at("message").get<std::string>().find("Не удалось открыть видео «broken.mp4»"),
              std::string::npos)
        << lines[2];

    const auto text = runCLI({"sync", ride.string(), day}, folder);
    EXPECT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out.rfind("day.mp4: Синхронизировано по GPS камеры: старт ", 0), 0u) << text.out;
}

}  // namespace
}  // namespace pacemark
