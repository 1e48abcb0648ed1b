// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>

#include "ExportCommandRunner.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// Four seconds of the sample ride at 29.97 frames a second, by each writer:
// 119.88 frames round up to 120, which last 120 × 1001 / 30000 = 4.004 s.
class NTSCRateExportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<TemporaryFolder>();
        const fs::path ride = copyOfSampleRide(folder_->path() / "ride.fit");
        const std::map<std::string, std::vector<std::string>> writers = {
            {"prores", {"--codec", "prores"}}, {"compact", {"--codec", "prores", "--compact"}}, {"hevc", {"--codec", "hevc"}}};
        for (const auto& [name, options] : writers) {
            std::vector<std::string> arguments = {ride.string(), "--size", "160x90", "--fps", "29.97", "--start", "10",
                                                  "--end", "14", "-o", (folder_->path() / (name + ".mov")).string()};
            arguments.insert(arguments.end(), options.begin(), options.end());
            const CLIRun run = runExport(arguments, *folder_);
            ASSERT_EQ(run.status, 0) << name << ": " << run.err;
            movies_.push_back(folder_->path() / (name + ".mov"));
        }
    }
    static void TearDownTestSuite() {
        movies_.clear();
        folder_.reset();
    }

    static inline std::unique_ptr<TemporaryFolder> folder_;
    static inline std::vector<fs::path> movies_;
};

TEST_F(NTSCRateExportTest, FFmpegReadsTheExactRate) {
    ASSERT_EQ(movies_.size(), 3u);
    for (const fs::path& movie : movies_) {
        const CommandResult probe =
            runCommand("ffprobe -v error -count_frames -show_entries stream=r_frame_rate,avg_frame_rate,nb_frames,"
                       "nb_read_frames -of default=noprint_wrappers=1 " + quoted(movie));
        EXPECT_EQ(probe.status, 0) << probe.output;
        EXPECT_EQ(probe.output, "r_frame_rate=30000/1001\navg_frame_rate=30000/1001\nnb_frames=120\nnb_read_frames=120\n")
            << movie.filename();
    }
}

TEST_F(NTSCRateExportTest, GStreamerReadsTheExactRate) {
    ASSERT_EQ(movies_.size(), 3u);
    if (!fs::exists("/usr/bin/gst-discoverer-1.0")) {
        GTEST_SKIP() << "gst-discoverer-1.0 not found (Debian packages gstreamer1.0-plugins-base-apps, "
                        "gstreamer1.0-plugins-good)";
    }
    for (const fs::path& movie : movies_) {
        const CommandResult discovered = runCommand("gst-discoverer-1.0 -v " + quoted(movie));
        EXPECT_EQ(discovered.status, 0) << discovered.output;
        // The demuxed stream's caps and the movie's length: 120 frames of 1001/30000 s.
        EXPECT_NE(discovered.output.find("framerate=(fraction)30000/1001"), std::string::npos)
            << movie.filename() << "\n" << discovered.output;
        EXPECT_NE(discovered.output.find("Frame rate: 30000/1001"), std::string::npos) << discovered.output;
        EXPECT_NE(discovered.output.find("Duration: 0:00:04.004000000"), std::string::npos) << discovered.output;
    }
}

TEST_F(NTSCRateExportTest, CheckReportsTheExactRate) {
    ASSERT_EQ(movies_.size(), 3u);
    for (const fs::path& movie : movies_) {
        const CLIRun checked = runCLI({"check", movie.string()}, *folder_);
        EXPECT_EQ(checked.status, 0) << movie.filename() << "\n" << checked.out << checked.err;
        EXPECT_NE(checked.out.find("160×90, кадров: 120\nЧастота кадров: 30000/1001 (29,97 к/с)\n"), std::string::npos)
            << checked.out;
    }
}

}  // namespace
}  // namespace pacemark
