// SPDX-License-Identifier: GPL-3.0-or-later
// pacemark-cli export over several rides, as scripts and batch runners use it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>

#include "ExportCommandRunner.h"
#include "MovieDecoding.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// The rides' arguments and a short segment: 4 seconds at 5 frames per
// second, 20 small frames per movie.
std::vector<std::string> exportArguments(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(), {"--size", "160x90", "--fps", "5", "--start", "10", "--end", "14"});
    return arguments;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
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
    const CLIRun run = runExport(
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

    // One Russian error naming the broken file, then the summary.
    EXPECT_EQ(count(run.err, "Ошибка: "), 1u) << run.err;
    EXPECT_NE(run.err.find("Ошибка: " + ride("b.gpx") + ": "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("Итого: готово 2, пропущено 0, с ошибкой 1 (файлов: 3).\nНе удалось: " + ride("b.gpx") + "\n"),
              std::string::npos)
        << run.err;
    // stderr is a file here: plain progress lines, never a carriage return.
    EXPECT_EQ(count(run.err, "кадр 20/20"), 2u) << run.err;
    EXPECT_EQ(run.err.find('\r'), std::string::npos);
}

// The batch again with --skip-existing after one movie was cut short, as a
// copy that broke off would be, and a file of another kind took the place of
// another: only those two are made again.
TEST(ExportBatchTest, SkipExistingRedoesOnlyIncompleteMovies) {
    TemporaryFolder rides, logs;
    for (const char* name : {"a.fit", "c.fit", "d.fit"}) copyOfSampleRide(rides / name);
    const auto ride = [&](const char* name) { return (rides / name).string(); };
    const fs::path out = rides / "out";
    ASSERT_EQ(runExport(exportArguments({ride("a.fit"), ride("c.fit"), "--output-dir", out.string(), "--quiet"}), logs)
                  .status,
              0);
    const fs::path kept = out / "a-telemetry.mov", damaged = out / "c-telemetry.mov", junk = out / "d-telemetry.mov";
    const auto keptTime = fs::last_write_time(kept);
    auto damagedBytes = readFileBytes(damaged);
    damagedBytes.resize(damagedBytes.size() * 2 / 3);
    writeFileBytes(damaged, damagedBytes);
    writeFileText(junk, "not a movie at all");
    const CLIRun again = runExport(exportArguments({ride("a.fit"), ride("c.fit"), ride("d.fit"), "--output-dir",
                                                    out.string(), "--skip-existing", "--quiet", "--json"}),
                                   logs);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(fs::last_write_time(kept), keptTime) << "the complete movie is not written again";
    expectCompleteMovie(damaged);
    expectCompleteMovie(junk);
    const auto redone = jsonLines(again.out);
    ASSERT_EQ(redone.size(), 3u) << again.out;
    EXPECT_EQ(redone[0].value("skipped", false), true) << redone[0];
    EXPECT_EQ(redone[1].value("frames", 0), 20) << redone[1];
    EXPECT_EQ(redone[2].value("frames", 0), 20) << redone[2];
    // Quiet: no progress and no announcements, only the summary.
    EXPECT_EQ(again.err, "Итого: готово 2, пропущено 1, с ошибкой 0 (файлов: 3).\n");
}

}  // namespace
}  // namespace pacemark
