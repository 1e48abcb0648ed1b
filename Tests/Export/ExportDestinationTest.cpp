// SPDX-License-Identifier: GPL-3.0-or-later
// The writers themselves, called without the command-line tool's checks,
// never replace a device, a FIFO or the ride they show.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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

mode_t kindOf(const fs::path& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status.st_mode & S_IFMT;
}

// A second of the ride at 32×32, straight from the exporter into `output`.
void exportMovie(const fs::path& ride, const fs::path& output) {
    const TelemetryVideoExporter exporter(std::make_shared<const FFmpegMovieWriterFactory>(),
                                          std::make_shared<const CairoDrawingSurfaceFactory>());
    exporter.exportMovie(std::make_shared<const TelemetryActivity>(TelemetryFileLoader::load(ride)),
                         TelemetryRenderConfig(output, 32, 32, 1, TelemetryVideoCodec::proRes4444, 0, 1,
                                               PacemarkLayout::preset(PacemarkPreset::compactRace)),
                         {});
}

// Each writer over a FIFO and (as root, where a rename over a device node
// succeeds) a device node of the test's own: refused with the core's text,
// the node stays what it was and no temporary file is left.
TEST(ExportDestinationTest, WritersNeverReplaceASpecialFile) {
    TemporaryFolder folder;
    std::vector<fs::path> nodes = {folder / "fifo"};
    ASSERT_EQ(::mkfifo(nodes[0].c_str(), 0666), 0);
    if (geteuid() == 0 && ::mknod((folder / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        nodes.push_back(folder / "null");
    }
    OwnedPixelBuffer picture(16, 16);
    const std::pair<const char*, std::function<void(const fs::path&)>> writers[] = {
        {"movie", [&](const fs::path& output) { exportMovie(sourceFolder() / "samples" / "sample-ride.fit", output); }},
        {"picture", [&](const fs::path& output) { writePNGFile(picture.view(), output); }},
        {"layout", [&](const fs::path& output) { PacemarkLayoutFile::fromPreset(PacemarkPreset::compactRace).write(output); }},
    };
    for (const fs::path& node : nodes) {
        const mode_t kind = kindOf(node);
        for (const auto& [name, write] : writers) {
            SCOPED_TRACE(std::string(name) + " over " + node.filename().string());
            const auto error = thrownBy<PacemarkError>([&] { write(node); });
            EXPECT_EQ(error.errorDescription(), ExportDestination::replacementError(node));
            EXPECT_EQ(kindOf(node), kind);
        }
    }
    EXPECT_EQ(filesIn(folder.path()).size(), nodes.size());
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
