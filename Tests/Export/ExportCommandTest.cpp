#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "MovieDecoding.h"
#include "TestSupport.h"

extern char** environ;

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

struct CLIRun {
    int status = -1;
    std::string err;
};

// Starts pacemark-cli export with the arguments; stderr goes to `errPath`.
pid_t startExport(const std::vector<std::string>& arguments, const fs::path& errPath) {
    std::vector<std::string> all = {PACEMARK_CLI_PATH, "export"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    posix_spawn(&child, PACEMARK_CLI_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

CLIRun finish(pid_t child, const fs::path& errPath) {
    CLIRun run;
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    const auto err = readFileBytes(errPath);
    run.err.assign(err.begin(), err.end());
    return run;
}

CLIRun runExport(const std::vector<std::string>& arguments, const TemporaryFolder& folder) {
    const fs::path errPath = folder / "stderr.txt";
    return finish(startExport(arguments, errPath), errPath);
}

fs::path copyOfSampleRide(const TemporaryFolder& folder) {
    const fs::path copy = folder / "ride.fit";
    fs::copy_file(sourceFolder() / "samples" / "sample-ride.fit", copy);
    return copy;
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
    const CLIRun run = finish(child, errPath);
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
