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
    TemporaryFolder folder;
    const fs::path ride = copyOfSampleRide(folder);
    const CLIRun run = runExport({ride.string(), "--size", "320x180", "--fps", "5", "--start", "10", "--end", "14"},
                              folder);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("кадр 20/20"), std::string::npos) << run.err;
    const DecodedMovie movie = decodeMovie(folder / "ride-telemetry.mov");
    EXPECT_EQ(movie.codecName, "prores");
    EXPECT_EQ(movie.width, 320);
    EXPECT_EQ(movie.height, 180);
    EXPECT_EQ(movie.framesPerSecondNumerator, 5);
    EXPECT_EQ(movie.frames.size(), 20u);
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
        {{(folder / "missing.fit").string()}, 1, "Ошибка: "},
    };
    for (const Case& c : cases) {
        const CLIRun run = runExport(c.arguments, folder);
        EXPECT_EQ(run.status, c.status) << c.message << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(folder / "ride-telemetry.mov"));
}

// The temporary movies in `folder` (names with ".tmp.mov").
std::vector<fs::path> temporaries(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".tmp.mov") != std::string::npos && name.rfind("notes", 0) != 0) found.push_back(entry.path());
    }
    return found;
}

// Starts an export of the whole ride (minutes of work) into `output` and
// waits until its temporary movie exists, that is while frames are written.
pid_t startLongExport(const fs::path& ride, const fs::path& output, const fs::path& errPath) {
    const std::size_t before = temporaries(output.parent_path()).size();
    const pid_t child = startExport({ride.string(), "-o", output.string()}, errPath);
    for (int attempt = 0; attempt < 3000 && temporaries(output.parent_path()).size() == before; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return child;
}

class ExportCommandSignalTest : public ::testing::TestWithParam<int> {};

// Ctrl-C, kill and a closed terminal alike stop the export, keep the old
// movie and leave no temporary file.
TEST_P(ExportCommandSignalTest, StopsCleanlyAndKeepsTheOldMovie) {
    TemporaryFolder folder;
    const fs::path ride = copyOfSampleRide(folder);
    const fs::path output = folder / "ride-telemetry.mov";
    writeFileText(output, "the old movie");
    const fs::path errPath = folder / "stderr.txt";
    const pid_t child = startLongExport(ride, output, errPath);
    ASSERT_GT(child, 0);
    EXPECT_EQ(temporaries(folder.path()).size(), 1u);
    kill(child, GetParam());
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

INSTANTIATE_TEST_SUITE_P(ExportCommandTest, ExportCommandSignalTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& signal) {
                             return std::string(signal.param == SIGINT ? "SIGINT" : signal.param == SIGTERM ? "SIGTERM" : "SIGHUP");
                         });

TEST(ExportCommandTest, NextExportRemovesTheTemporaryOfAKilledExportButNotOfARunningOne) {
    TemporaryFolder folder;
    const fs::path ride = copyOfSampleRide(folder);
    // An export killed outright (as by a power cut) leaves its temporary movie.
    const pid_t killed = startLongExport(ride, folder / "killed.mov", folder / "killed.txt");
    ASSERT_GT(killed, 0);
    kill(killed, SIGKILL);
    finish(killed, folder / "killed.txt");
    const auto leftovers = temporaries(folder.path());
    ASSERT_EQ(leftovers.size(), 1u);
    writeFileText(folder / "notes.tmp.mov", "not ours");

    const pid_t running = startLongExport(ride, folder / "running.mov", folder / "running.txt");
    ASSERT_GT(running, 0);
    std::vector<fs::path> live = temporaries(folder.path());
    std::erase(live, leftovers[0]);
    ASSERT_EQ(live.size(), 1u);

    const CLIRun next = runExport({ride.string(), "-o", (folder / "next.mov").string(), "--size", "320x180", "--fps",
                                   "2", "--end", "3"},
                                  folder);
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_FALSE(fs::exists(leftovers[0]));
    EXPECT_TRUE(fs::exists(live[0]));
    EXPECT_TRUE(fs::exists(folder / "notes.tmp.mov"));

    kill(running, SIGINT);
    EXPECT_EQ(finish(running, folder / "running.txt").status, 130);
    EXPECT_TRUE(temporaries(folder.path()).empty());
}

}  // namespace
}  // namespace pacemark
