// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "CairoDrawingSurface.h"
#include "Export/TelemetryVideoExportError.h"
#include "Export/TelemetryVideoExporter.h"
#include "FFmpegMovieWriterFactory.h"
#include "Layout/PacemarkPreset.h"
#include "MovieDecoding.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "TestRides.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

std::shared_ptr<const DrawingSurfaceFactory> cairoSurfaces() {
    static const auto factory = std::make_shared<const CairoDrawingSurfaceFactory>();
    return factory;
}

TelemetryRenderConfig proResConfig(fs::path output, std::int64_t width, std::int64_t height, std::int64_t fps,
                                   double start, std::optional<double> duration) {
    return TelemetryRenderConfig(std::move(output), width, height, fps, TelemetryVideoCodec::proRes4444, start,
                                 duration, PacemarkLayout::preset(PacemarkPreset::compactRace));
}

void exportProRes(const TelemetryRenderConfig& config, std::shared_ptr<const TelemetryActivity> activity,
                  bool reuseRepeatedFrames = true) {
    const TelemetryVideoExporter exporter(std::make_shared<const FFmpegMovieWriterFactory>(), cairoSurfaces(),
                                          TelemetryVideoExportOptions{reuseRepeatedFrames});
    exporter.exportMovie(std::move(activity), config, [](double) {});
}

// The movie holds the rendered frames at their times (the sample entry, with
// its colour tags, passes the movie checker in ExportCommandTest); reusing
// the coded frame of a repeated sample writes the same movie as rendering
// and encoding every frame.
TEST(ProResExportTest, ExportedMovieDecodesToTheRenderedFrames) {
    TemporaryFolder folder;
    const auto activity = rideOfSeconds(10);
    const auto config = proResConfig(folder / "ride-telemetry.mov", 480, 270, 12, 2.5, 1.5);
    exportProRes(config, activity);
    exportProRes(proResConfig(folder / "every.mov", 480, 270, 12, 2.5, 1.5), activity, false);
    EXPECT_EQ(readFileBytes(config.outputFile), readFileBytes(folder / "every.mov"));
    const DecodedMovie movie = decodeMovie(config.outputFile);

    EXPECT_EQ(movie.width, 480);
    EXPECT_EQ(movie.height, 270);
    EXPECT_NEAR(movie.durationSeconds, 1.5, 1e-9);
    ASSERT_EQ(movie.frames.size(), 18u);

    const LayoutFrameRenderer renderer(activity, config.layout, 480, 270, cairoSurfaces());
    std::vector<std::uint8_t> rendered(480 * 270 * 4);
    const PixelBufferView view{rendered.data(), 480, 270, 480 * 4};
    std::size_t opaque = 0;
    std::size_t transparent = 0;
    for (std::size_t i = 0; i < movie.frames.size(); ++i) {
        EXPECT_NEAR(movie.frames[i].presentationSeconds, double(i) / 12.0, 1e-9);
        EXPECT_TRUE(showsRendered(renderer, 2.5 + double(i) / 12.0, movie.frames[i])) << "frame " << i;
        renderer.render(2.5 + double(i) / 12.0, view);
        // Fully transparent and fully opaque pixels stay exactly that.
        for (std::size_t p = 0; p < 480 * 270; ++p) {
            const std::uint8_t alpha = rendered[p * 4 + 3];
            if (alpha != 0 && alpha != 255) continue;
            ++(alpha == 0 ? transparent : opaque);
            ASSERT_EQ(movie.frames[i].rgba[p * 4 + 3], alpha / 255.0) << "frame " << i << " pixel " << p;
        }
    }
    EXPECT_GT(opaque, 0u);
    EXPECT_GT(transparent, 0u);
    EXPECT_EQ(filesIn(folder.path()), (std::vector<fs::path>{"every.mov", "ride-telemetry.mov"}));
}

// A write that fails mid-export (a full disk, here the file-size limit: both
// writes fail the same way) keeps the old movie and leaves no temporary file.
// (A stop is held by the export command's signal tests.)
TEST(ProResExportFailureTest, FileSizeLimitMidExportKeepsTheOldMovie) {
    TemporaryFolder folder;
    const fs::path output = folder / "out.mov";
    const std::vector<std::uint8_t> oldMovie(4096, 0x6D);
    writeFileBytes(output, oldMovie);
    const auto exportTooMuch = [&] { exportProRes(proResConfig(output, 640, 360, 10, 0, 10.0), rideOfSeconds(10)); };
    EXPECT_EQ(fileSizeLimitFailure<TelemetryVideoExportError>(300 * 1024, exportTooMuch, "файл слишком большой"), 0)
        << "1: no error, 2: another text, 101: another error type";
    EXPECT_EQ(readFileBytes(output), oldMovie);
    EXPECT_EQ(filesIn(folder.path()), std::vector<fs::path>{"out.mov"});
}

}  // namespace
}  // namespace pacemark
