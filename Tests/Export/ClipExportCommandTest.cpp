// SPDX-License-Identifier: GPL-3.0-or-later
// `pacemark-cli export RIDE --clips CLIP...` over clips written here: every
// overlay checked frame by frame against the renderer.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <sstream>

#include "CLIRun.h"
#include "CairoDrawingSurface.h"
#include "Layout/PacemarkPreset.h"
#include "MovieDecoding.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "RideClips.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "VideoTestMovies.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace testing;

constexpr int clipWidth = 160;
constexpr int clipHeight = 90;
constexpr int clipFramesPerSecond = 10;

// A clip to write (at 10 frames a second) under its name.
struct NamedClip {
    std::string name;
    GPSClip gps;
};

// A 10× timelapse, a clip that starts before the ride, one filmed a day
// later and 22 more along the ride: 24 overlays and one error, each overlay
// with its clip's frames, rate and size, showing the ride from the clip's
// first frame at the clip's own pace. (Chapters are placed and ordered by
// ClipOverlayPlan, whose tests hold them.)
TEST(ClipExportCommandTest, EveryPlacedClipOfARideGetsItsExactOverlay) {
    if (!ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    TemporaryFolder folder;
    const fs::path ride = writeNorthboundRide(folder / "ride.fit", 7200);
    std::vector<NamedClip> clips = {
        {"lapse.mp4", {2000.2, 10, 3}}, {"early.mp4", {-1.5}}, {"other-day.mp4", {86400 + 3000.0}}};
    for (int k = 0; k < 22; ++k) clips.push_back({"clip" + std::to_string(k) + ".mp4", {300.4 + 300 * k}});
    const fs::path cameraFolder = folder / "camera";
    fs::create_directory(cameraFolder);
    std::vector<std::string> arguments = {"export", ride.string(), "--clips"};
    for (const auto& clip : clips) {
        writeClipOnRide(cameraFolder / clip.name, clip.gps);
        arguments.push_back((cameraFolder / clip.name).string());
    }
    arguments.insert(arguments.end(),
                     {"--output-dir", (folder / "overlays").string(), "--preset", "compactRace", "--json", "--quiet"});

    const CLIRun run = runCLI(arguments, folder);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("Ошибка: " + (cameraFolder / "other-day.mp4").string() +
                           ": По GPS камеры видео снято после конца трека"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Итого: готово 24, пропущено 0, с ошибкой 1 (файлов: 25)."), std::string::npos) << run.err;
    ASSERT_EQ(jsonLines(run.out).size(), 24u) << run.out;

    const auto activity = std::make_shared<const TelemetryActivity>(TelemetryFileLoader::load(ride));
    const LayoutFrameRenderer renderer(activity, PacemarkLayout::preset(PacemarkPreset::compactRace), clipWidth,
                                       clipHeight, std::make_shared<const CairoDrawingSurfaceFactory>());
    for (const auto& clip : clips) {
        SCOPED_TRACE(clip.name);
        const fs::path overlay = folder / "overlays" / (fs::path(clip.name).stem().string() + "-telemetry.mov");
        if (clip.name == "other-day.mp4") {
            EXPECT_FALSE(fs::exists(overlay));
            continue;
        }
        const double start = *clip.gps.start;
        const DecodedMovie movie = decodeMovie(overlay);
        EXPECT_EQ(movie.width, clipWidth);
        EXPECT_EQ(movie.height, clipHeight);
        ASSERT_EQ(movie.frames.size(), static_cast<std::size_t>(clip.gps.seconds * clipFramesPerSecond));
        EXPECT_NEAR(movie.frames[1].presentationSeconds, 1.0 / clipFramesPerSecond, 1e-9);
        EXPECT_TRUE(showsRendered(renderer, start, movie.frames[0]));
        // One second into the clip the ride has moved on by the clip's rate.
        const DecodedMovie::Frame& second = movie.frames[clipFramesPerSecond];
        EXPECT_TRUE(showsRendered(renderer, start + clip.gps.rate, second));
        if (clip.gps.rate != 1) {
            EXPECT_FALSE(showsRendered(renderer, start + 1, second));
        }
    }
}

}  // namespace
}  // namespace pacemark
