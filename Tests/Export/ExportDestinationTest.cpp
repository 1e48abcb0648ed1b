// SPDX-License-Identifier: GPL-3.0-or-later
// The writers themselves, called without the command-line tool's checks,
// never replace a special file or the ride they show.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "CairoDrawingSurface.h"
#include "CairoPNG.h"
#include "Export/ExportDestination.h"
#include "Export/TelemetryVideoExporter.h"
#include "FFmpegMovieWriterFactory.h"
#include "Layout/PacemarkLayoutFile.h"
#include "Layout/PacemarkPreset.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// A second of the ride at 32×32, straight from the exporter into `output`.
void exportMovie(const fs::path& ride, const fs::path& output) {
    const TelemetryVideoExporter exporter(std::make_shared<const FFmpegMovieWriterFactory>(),
                                          std::make_shared<const CairoDrawingSurfaceFactory>());
    exporter.exportMovie(std::make_shared<const TelemetryActivity>(TelemetryFileLoader::load(ride)),
                         TelemetryRenderConfig(output, 32, 32, 1, TelemetryVideoCodec::proRes4444, 0, 1,
                                               PacemarkLayout::preset(PacemarkPreset::compactRace)),
                         {});
}

// Each writer over a FIFO: refused with the core's text, the FIFO stays one
// and no temporary file is left. (Devices and sockets take the same check.)
TEST(ExportDestinationTest, WritersNeverReplaceASpecialFile) {
    TemporaryFolder folder;
    const fs::path fifo = folder / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    OwnedPixelBuffer picture(16, 16);
    const std::pair<const char*, std::function<void(const fs::path&)>> writers[] = {
        {"movie", [&](const fs::path& output) { exportMovie(sourceFolder() / "samples" / "sample-ride.fit", output); }},
        {"picture", [&](const fs::path& output) { writePNGFile(picture.view(), output); }},
        {"layout", [&](const fs::path& output) { PacemarkLayoutFile::fromPreset(PacemarkPreset::compactRace).write(output); }},
    };
    for (const auto& [name, write] : writers) {
        SCOPED_TRACE(name);
        const auto error = thrownBy<PacemarkError>([&] { write(fifo); });
        EXPECT_EQ(error.errorDescription(), ExportDestination::replacementError(fifo));
        EXPECT_TRUE(fs::is_fifo(fifo));
    }
    EXPECT_EQ(filesIn(folder.path()), std::vector<fs::path>{"fifo"});
}

// An export straight from the exporter, into the ride it shows (as a save
// dialog could name it): refused before the ride is touched.
TEST(ExportDestinationTest, ExporterNeverWritesOverItsRide) {
    TemporaryFolder folder;
    const fs::path ride = folder / "ride.fit";
    fs::copy_file(sourceFolder() / "samples" / "sample-ride.fit", ride);
    const auto bytes = readFileBytes(ride);
    const auto error = thrownBy<PacemarkError>([&] { exportMovie(ride, folder / "." / "ride.fit"); });
    EXPECT_NE(error.errorDescription().find("это входной файл"), std::string::npos) << error.errorDescription();
    EXPECT_EQ(readFileBytes(ride), bytes);
    EXPECT_EQ(filesIn(folder.path()), std::vector<fs::path>{"ride.fit"});
}

}  // namespace
}  // namespace pacemark
