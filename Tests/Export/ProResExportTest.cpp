// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

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
        renderer.render(2.5 + double(i) / 12.0, view);
        const CompositeDifference difference = compositeDifference(view, movie.frames[i]);
        EXPECT_LE(difference.maximum, 3.0 / 255.0) << "frame " << i;
        EXPECT_GE(difference.psnr, 60.0) << "frame " << i;
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

// Failures: the destination keeps its old bytes and no temporary file is
// left. (A stop is held by the export command's signal tests, a full disk by
// the file-size limit below: both writes fail the same way.)
class ProResExportFailureTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (mounted_) umount2(mounted_->c_str(), MNT_DETACH);
    }

    void expectOldMovieOnly(const fs::path& output) {
        EXPECT_EQ(readFileBytes(output), oldMovie);
        EXPECT_EQ(filesIn(output.parent_path()), std::vector<fs::path>{output.filename()});
    }

    TemporaryFolder folder;
    std::vector<std::uint8_t> oldMovie = std::vector<std::uint8_t>(4096, 0x6D);
    std::optional<fs::path> mounted_;
};

TEST_F(ProResExportFailureTest, UnwritableFolderKeepsTheOldMovie) {
    // Root writes through permissions: its locked folder is a read-only tmpfs.
    const fs::path locked = folder / "locked";
    const fs::path output = locked / "out.mov";
    fs::create_directory(locked);
    if (geteuid() == 0) {
        if (mount("tmpfs", locked.c_str(), "tmpfs", 0, "size=1M") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
        mounted_ = locked;
    }
    writeFileBytes(output, oldMovie);
    if (mounted_ && mount(nullptr, locked.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=1M") != 0) {
        GTEST_SKIP() << "cannot make the tmpfs read-only";
    }
    if (!mounted_) fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    try {
        exportProRes(proResConfig(output, 320, 180, 10, 0, 2.0), rideOfSeconds(5));
        ADD_FAILURE() << "export succeeded";
    } catch (const PacemarkError& error) {
        // The temporary file is created (and locked) before the writer
        // starts, so the refusal comes from there, with the system's reason.
        const std::string text = error.what();
        EXPECT_EQ(text.rfind("Не удалось создать временный файл «out.", 0), 0u) << text;
        EXPECT_NE(text.find(geteuid() == 0 ? "только для чтения" : "нет доступа"), std::string::npos) << text;
    }
    expectOldMovieOnly(output);
    if (!mounted_) fs::permissions(locked, fs::perms::owner_all);
}

TEST_F(ProResExportFailureTest, FileSizeLimitMidExportKeepsTheOldMovie) {
    const fs::path output = folder / "out.mov";
    writeFileBytes(output, oldMovie);
    const auto exportTooMuch = [&] { exportProRes(proResConfig(output, 640, 360, 10, 0, 10.0), rideOfSeconds(10)); };
    EXPECT_EQ(fileSizeLimitFailure<TelemetryVideoExportError>(300 * 1024, exportTooMuch, "файл слишком большой"), 0)
        << "1: no error, 2: another text, 101: another error type";
    expectOldMovieOnly(output);
}

}  // namespace
}  // namespace pacemark
