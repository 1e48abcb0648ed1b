// SPDX-License-Identifier: GPL-3.0-or-later
// `export --clips` over the shared real camera clips: overlays at the
// cameras' exact NTSC rates. (That an overlay shows the ride from its clip's
// first frame is held by the clips written in ClipExportCommandTest.)
#include <gtest/gtest.h>

#include "CLIRun.h"
#include "RideClips.h"
#include "VideoTestMovies.h"

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
    std::string videoTrack;        // as ffprobe prints width, height, both rates and the frames read
};

TEST(SharedClipExportTest, CameraClipsGetOverlaysMatchingTheirVideoTrack) {
    const fs::path clips = sharedTestDataFolder() / "cameras" / "clips";
    if (!fs::exists(clips)) GTEST_SKIP() << clips.string() << " is not present";
    if (!ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    const SharedClip shared[] = {
        {"max-heromode.mp4", 33.12677, -117.3273436, "2019-11-18T23:35:14Z",
         "width=848\nheight=480\nr_frame_rate=30000/1001\navg_frame_rate=30000/1001\nnb_read_frames=315\n"},
        {"hero10-GL012297.LRV", 33.0497992, -116.8086218, "2022-02-06T21:38:43Z",
         "width=768\nheight=432\nr_frame_rate=60000/1001\navg_frame_rate=60000/1001\nnb_read_frames=110\n"},
    };
    for (const SharedClip& clip : shared) {
        SCOPED_TRACE(clip.name);
        TemporaryFolder folder;
        const fs::path ride = writeStandingRide(folder / "ride.gpx", clip.latitude, clip.longitude, clip.tenMinutesBefore);
        // The clips' folder is read-only: the overlay goes to a folder of its own.
        const CLIRun run = runCLI({"export", ride.string(), "--clips", (clips / clip.name).string(), "--output-dir",
                                   (folder / "out").string(), "--compact", "--quiet", "--preset", "compactRace"},
                                  folder);
        ASSERT_EQ(run.status, 0) << run.err;
        const fs::path overlay = folder / "out" / (fs::path(clip.name).stem().string() + "-telemetry.mov");
        const CommandResult probe = runCommand(
            "ffprobe -v error -select_streams v:0 -count_frames -show_entries "
            "stream=width,height,r_frame_rate,avg_frame_rate,nb_read_frames -of default=noprint_wrappers=1 " +
            quoted(overlay));
        EXPECT_EQ(probe.output, clip.videoTrack);
    }
}

}  // namespace
}  // namespace pacemark
