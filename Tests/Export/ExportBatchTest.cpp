// SPDX-License-Identifier: GPL-3.0-or-later
// pacemark-cli export over several rides, as scripts and batch runners use it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>

#include "CLIRun.h"
#include "MovieDecoding.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// `export` over the rides and a short segment: 4 seconds at 5 frames per
// second, 20 small frames per movie.
std::vector<std::string> exportArguments(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "export");
    arguments.insert(arguments.end(), {"--size", "160x90", "--fps", "5", "--start", "10", "--end", "14"});
    return arguments;
}

void expectCompleteMovie(const fs::path& path) {
    SCOPED_TRACE(path.string());
    const DecodedMovie movie = decodeMovie(path);
    EXPECT_EQ(movie.width, 160);
    EXPECT_EQ(movie.frames.size(), 20u);
}

// A batch with one broken ride: the others are exported all the same.
TEST(ExportBatchTest, OneBrokenRideFailsAlone) {
    TemporaryFolder rides, logs;
    for (const char* name : {"a.fit", "c.fit"}) copyOfSampleRide(rides / name);
    writeFileText(rides / "b.gpx", "<?xml version=\"1.0\"?><gpx><trk><trkseg><trkpt lat=");
    const auto ride = [&](const char* name) { return (rides / name).string(); };
    const fs::path out = rides / "out";
    const CLIRun run = runCLI(
        exportArguments({ride("a.fit"), ride("b.gpx"), ride("c.fit"), "--output-dir", out.string(), "--json"}), logs);
    EXPECT_EQ(run.status, 1) << run.err;

    // Two movies in the folder, nothing else (no temporary left by the failure).
    EXPECT_EQ(filesIn(out), (std::vector<fs::path>{"a-telemetry.mov", "c-telemetry.mov"}));
    expectCompleteMovie(out / "a-telemetry.mov");
    expectCompleteMovie(out / "c-telemetry.mov");

    // One JSON object per movie with its real size.
    const auto objects = jsonLines(run.out);
    ASSERT_EQ(objects.size(), 2u) << run.out;
    for (const auto& [object, name] : {std::pair{objects[0], std::string("a")}, {objects[1], std::string("c")}}) {
        const fs::path movie = out / (name + "-telemetry.mov");
        const nlohmann::json expected{{"source", (rides / (name + ".fit")).string()}, {"path", movie.string()},
                                      {"frames", 20}, {"seconds", 4}, {"bytes", fs::file_size(movie)}};
        EXPECT_EQ(object, expected);
    }

    // A Russian error naming the broken file, then the summary.
    EXPECT_NE(run.err.find("Ошибка: " + ride("b.gpx") + ": "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Итого: готово 2, пропущено 0, с ошибкой 1 (файлов: 3).\nНе удалось: " + ride("b.gpx") + "\n"),
              std::string::npos)
        << run.err;
}

// The batch again with --skip-existing after one movie was cut short, as a
// copy that broke off would be: only that one is made again.
TEST(ExportBatchTest, SkipExistingRedoesOnlyIncompleteMovies) {
    TemporaryFolder rides, logs;
    for (const char* name : {"a.fit", "c.fit"}) copyOfSampleRide(rides / name);
    const fs::path out = rides / "out";
    std::vector<std::string> arguments =
        exportArguments({(rides / "a.fit").string(), (rides / "c.fit").string(), "--output-dir", out.string(), "--quiet"});
    ASSERT_EQ(runCLI(arguments, logs).status, 0);
    const fs::path kept = out / "a-telemetry.mov", damaged = out / "c-telemetry.mov";
    const auto keptTime = fs::last_write_time(kept);
    auto damagedBytes = readFileBytes(damaged);
    damagedBytes.resize(damagedBytes.size() * 2 / 3);
    writeFileBytes(damaged, damagedBytes);
    arguments.push_back("--skip-existing");
    const CLIRun again = runCLI(arguments, logs);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(fs::last_write_time(kept), keptTime) << "the complete movie is not written again";
    expectCompleteMovie(damaged);
    EXPECT_EQ(again.err, "Итого: готово 1, пропущено 1, с ошибкой 0 (файлов: 2).\n");
}

}  // namespace
}  // namespace pacemark
