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

// Every clip gets its line: the fields of a placed one, and for an
// unreadable one the reason.
// (Placing the shared cameras' real clips is ClipSynchronizationTest's;
// chapters without a clock of their own, ClipOverlayPlanTest's.)
TEST(SyncCommandTest, EveryClipIsReportedPlacedOrWithItsReason) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    testing::TemporaryFolder folder;
    const auto ride = testing::writeNorthboundRide(folder / "ride.fit", 600);
    const auto day = (folder / "day.mp4").string();
    const auto broken = (folder / "broken.mp4").string();
    testing::writeClipOnRide(day, {.start = 100.5, .frameRate = "30000/1001", .payloadSeconds = 1.001});
    testing::writeFileText(broken, "not a movie");
    const auto run = runCLI({"sync", ride.string(), day, broken, "--json"}, folder);
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

    EXPECT_EQ(lines[1].at("method"), "none");
    EXPECT_TRUE(lines[1].at("startSeconds").is_null());
    EXPECT_NE(lines[1].at("message").get<std::string>().find("Не удалось открыть видео «broken.mp4»"),
              std::string::npos)
        << lines[1];
}

}  // namespace
}  // namespace pacemark
