#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <thread>

#include "ExportCommandRunner.h"
#include "MovieDecoding.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

fs::path copyOfSampleRide(const TemporaryFolder& folder) {
    return pacemark::testing::copyOfSampleRide(folder / "ride.fit");
}

TEST(ExportCommandTest, WritesTheSegmentBesideTheSourceByDefault) {
    // The normal and the compact ProRes movie hold the same frames.
    for (const std::vector<std::string>& extra : {std::vector<std::string>{}, std::vector<std::string>{"--compact"}}) {
        TemporaryFolder folder;
        const fs::path ride = copyOfSampleRide(folder);
        std::vector<std::string> arguments = {ride.string(), "--size", "320x180", "--fps", "5", "--start", "10", "--end", "14"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const CLIRun run = runExport(arguments, folder);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.err.find("кадр 20/20"), std::string::npos) << run.err;
        const DecodedMovie movie = decodeMovie(folder / "ride-telemetry.mov");
        EXPECT_EQ(movie.codecName, "prores");
        EXPECT_EQ(movie.width, 320);
        EXPECT_EQ(movie.height, 180);
        EXPECT_EQ(movie.framesPerSecondNumerator, 5);
        EXPECT_EQ(movie.frames.size(), 20u);
    }
}

TEST(ExportCommandTest, BadRequestsFailWithRussianMessagesAndWriteNothing) {
    TemporaryFolder folder;
    const fs::path ride = copyOfSampleRide(folder);
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{ride.string(), "--codec", "av1"}, 2, "Неизвестный кодек «av1»"},
        {{ride.string(), "--preset", "nope"}, 2, "Неизвестный пресет «nope»"},
        {{ride.string(), "--start", "30", "--end", "20"}, 2, "Конец отрезка должен быть позже начала."},
        {{ride.string(), "--start", "-1"}, 2, "Начало отрезка не может быть отрицательным."},
        {{ride.string(), "--codec", "hevc", "--compact"}, 2, "--compact работает только с ProRes 4444"},
        {{(folder / "missing.fit").string()}, 1, "Ошибка: "},
    };
    for (const Case& c : cases) {
        const CLIRun run = runExport(c.arguments, folder);
        EXPECT_EQ(run.status, c.status) << c.message << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(folder / "ride-telemetry.mov"));
}

class ExportCommandInterruptTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(ExportCommandInterruptTest, InterruptStopsCleanlyAndKeepsTheOldMovie) {
    TemporaryFolder folder;
    const fs::path ride = copyOfSampleRide(folder);
    const fs::path output = folder / "ride-telemetry.mov";
    writeFileText(output, "the old movie");
    const fs::path errPath = folder / "stderr.txt";
    std::vector<std::string> arguments = {ride.string()};  // the whole ride: minutes of work
    arguments.insert(arguments.end(), GetParam().begin(), GetParam().end());
    const pid_t child = startExport(arguments, errPath);
    ASSERT_GT(child, 0);
    // Interrupt once the temporary movie exists, that is while frames are written.
    bool writing = false;
    for (int attempt = 0; attempt < 2000 && !writing; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const auto& entry : fs::directory_iterator(folder.path())) {
            if (entry.path().filename().string().find(".tmp.mov") != std::string::npos) writing = true;
        }
    }
    EXPECT_TRUE(writing);
    kill(child, SIGINT);
    const CLIRun run = finishExport(child, errPath);
    EXPECT_EQ(run.status, 130) << run.err;
    EXPECT_NE(run.err.find("Экспорт остановлен."), std::string::npos) << run.err;
    const auto bytes = readFileBytes(output);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "the old movie");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"ride-telemetry.mov", "ride.fit", "stderr.txt"}));
}

INSTANTIATE_TEST_SUITE_P(EveryWriter, ExportCommandInterruptTest,
                         ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"--compact"},
                                           std::vector<std::string>{"--codec", "hevc"}));

}  // namespace
}  // namespace pacemark
