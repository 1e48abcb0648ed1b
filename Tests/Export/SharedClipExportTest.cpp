// SPDX-License-Identifier: GPL-3.0-or-later
// `export --clips` over the shared real camera clips: overlays at the
// cameras' exact NTSC rates.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CLIRun.h"
#include "CairoDrawingSurface.h"
#include "Layout/PacemarkPreset.h"
#include "MovieDecoding.h"
#include "VideoTestMovies.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "RideClips.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace testing;

// A shared clip, where and when its camera's GPS puts it, and what its video track holds.
struct SharedClip {
    std::string name;
    double latitude;
    double longitude;
    std::string tenMinutesBefore;  // ISO 8601 UTC, ten minutes before its first GPS fix
    int width;
    int height;
    std::int64_t frames;
    std::string frameRate;
};

TEST(SharedClipExportTest, CameraClipsGetOverlaysMatchingTheirVideoTrack) {
    const fs::path clips = sharedTestDataFolder() / "cameras" / "clips";
    if (!fs::exists(clips)) GTEST_SKIP() << clips.string() << " is not present";
    if (!ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    const std::vector<SharedClip> shared = {
        {"max-heromode.mp4", 33.12677, -117.3273436, "2019-11-18T23:35:14Z", 848, 480, 315, "30000/1001"},
        {"hero10-GL012297.LRV", 33.0497992, -116.8086218, "2022-02-06T21:38:43Z", 768, 432, 110, "60000/1001"},
    };
    for (const SharedClip& clip : shared) {
        SCOPED_TRACE(clip.name);
        TemporaryFolder folder;
        const fs::path ride = writeStandingRide(folder / "ride.gpx", clip.latitude, clip.longitude, clip.tenMinutesBefore);
        const std::string file = (clips / clip.name).string();
        const CLIRun sync = runCLI({"sync", ride.string(), file, "--json"}, folder);
        ASSERT_EQ(sync.status, 0) << sync.err;
        const double start = nlohmann::json::parse(sync.out).at("startSeconds").get<double>();

        // The clips' folder is read-only: the overlay goes to a folder of its own.
        const CLIRun run = runCLI({"export", ride.string(), "--clips", file, "--output-dir",
                                   (folder / "out").string(), "--compact", "--quiet", "--preset", "compactRace"},
                                  folder);
        ASSERT_EQ(run.status, 0) << run.err;
        const fs::path overlay = folder / "out" / (fs::path(clip.name).stem().string() + "-telemetry.mov");
        EXPECT_EQ(runCLI({"check", overlay.string()}, folder).status, 0);
        // What FFmpeg reads: the exact rate, the clip's size, every frame.
        const CommandResult probe = runCommand(
            "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
            "stream=width,height,r_frame_rate,avg_frame_rate,nb_read_frames -of default=noprint_wrappers=1 " +
            quoted(overlay));
        EXPECT_EQ(probe.output, "width=" + std::to_string(clip.width) + "\nheight=" + std::to_string(clip.height) +
                                    "\nr_frame_rate=" + clip.frameRate + "\navg_frame_rate=" + clip.frameRate +
                                    "\nnb_read_frames=" + std::to_string(clip.frames) + "\n");
        // The first frame alone (every ProRes frame stands on its own).
        const fs::path first = folder / "first.mov";
        ASSERT_TRUE(runFFmpeg("-i " + quoted(overlay) + " -frames:v 1 -c copy " + quoted(first)));
        const DecodedMovie movie = decodeMovie(first);
        ASSERT_FALSE(movie.frames.empty());
        const auto activity = std::make_shared<const TelemetryActivity>(TelemetryFileLoader::load(ride));
        const LayoutFrameRenderer renderer(activity, PacemarkLayout::preset(PacemarkPreset::compactRace),
                                           clip.width, clip.height, std::make_shared<const CairoDrawingSurfaceFactory>());
        EXPECT_TRUE(showsRendered(renderer, start, movie.frames.front()));
    }
}

}  // namespace
}  // namespace pacemark
