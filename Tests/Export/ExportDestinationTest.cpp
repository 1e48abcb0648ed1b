// SPDX-License-Identifier: GPL-3.0-or-later
// The exporter itself, called without the command-line tool's checks, never
// replaces the ride it shows. (Special files as destinations: CLIRefusalTest.)
#include <gtest/gtest.h>

#include <filesystem>

#include "CairoDrawingSurface.h"
#include "Export/TelemetryVideoExporter.h"
#include "FFmpegMovieWriterFactory.h"
#include "Layout/PacemarkPreset.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// An export straight from the exporter, into the ride it shows (as a save
// dialog could name it): refused before the ride is touched.
TEST(ExportDestinationTest, ExporterNeverWritesOverItsRide) {
    TemporaryFolder folder;
    const fs::path ride = folder / "ride.fit";
    fs::copy_file(sourceFolder() / "samples" / "sample-ride.fit", ride);
    const auto bytes = readFileBytes(ride);
    const TelemetryVideoExporter exporter(std::make_shared<const FFmpegMovieWriterFactory>(),
                                          std::make_shared<const CairoDrawingSurfaceFactory>());
    const auto error = thrownBy<PacemarkError>([&] {
        exporter.exportMovie(std::make_shared<const TelemetryActivity>(TelemetryFileLoader::load(ride)),
                             TelemetryRenderConfig(folder / "." / "ride.fit", 32, 32, 1, TelemetryVideoCodec::proRes4444,
                                                   0, 1, PacemarkLayout::preset(PacemarkPreset::compactRace)),
                             {});
    });
    EXPECT_NE(error.errorDescription().find("это входной файл"), std::string::npos) << error.errorDescription();
    EXPECT_EQ(readFileBytes(ride), bytes);
    EXPECT_EQ(filesIn(folder.path()), std::vector<fs::path>{"ride.fit"});
}

}  // namespace
}  // namespace pacemark
