#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "MovieDecoding.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

struct CLIRun {
    int status = -1;
    std::string err;
};

// Starts pacemark-cli export with the arguments; stderr goes to `errPath`.
// A nonzero `addressSpaceBytes` lowers the child's RLIMIT_AS to that, as on a
// machine with that much memory.
pid_t startExport(const std::vector<std::string>& arguments, const fs::path& errPath,
                  rlim_t addressSpaceBytes = 0) {
    std::vector<std::string> all = {PACEMARK_CLI_PATH, "export"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_WRONLY);
        const rlimit limit{addressSpaceBytes, addressSpaceBytes};
        if (err < 0 || null < 0 || dup2(err, STDERR_FILENO) < 0 || dup2(null, STDOUT_FILENO) < 0 ||
            (addressSpaceBytes != 0 && setrlimit(RLIMIT_AS, &limit) != 0)) {
            _exit(100);
        }
        execv(PACEMARK_CLI_PATH, argv.data());
        _exit(101);
    }
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

CLIRun runExport(const std::vector<std::string>& arguments, const TemporaryFolder& folder,
                 rlim_t addressSpaceBytes = 0) {
    const fs::path errPath = folder / "stderr.txt";
    return finish(startExport(arguments, errPath, addressSpaceBytes), errPath);
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
        rlim_t addressSpaceBytes = 0;
    };
    const Case cases[] = {
        {{ride.string(), "--codec", "av1"}, 2, "Неизвестный кодек «av1»"},
        {{ride.string(), "--preset", "nope"}, 2, "Неизвестный пресет «nope»"},
        {{ride.string(), "--start", "30", "--end", "20"}, 2, "Конец отрезка должен быть позже начала."},
        {{ride.string(), "--start", "-1"}, 2, "Начало отрезка не может быть отрицательным."},
        {{(folder / "missing.fit").string()}, 1, "Ошибка: "},
        // Refused before any frame is drawn: the largest picture ProRes opens
        // is below 16384 x 16384, HEVC needs one 64-pixel block and memory for
        // two encoders (here on a machine of 1 GB).
        {{ride.string(), "--size", "16384x16384"}, 2, "слишком велик для ProRes"},
        {{ride.string(), "--codec", "hevc", "--size", "32x32"}, 2, "от 64 до 16384"},
        {{ride.string(), "--codec", "hevc", "--size", "4096x4096"}, 2, "Не хватает памяти", rlim_t{1} << 30},
        {{ride.string(), "--codec", "hevc", "--size", "16384x16384"}, 2, "Не хватает памяти", rlim_t{1} << 30},
        // The destination is checked before rendering too.
        {{ride.string(), "-o", folder.path().string()}, 2, "это папка"},
        {{ride.string(), "-o", (ride / "a.mov").string()}, 1, "не папка"},
    };
    for (const Case& c : cases) {
        const CLIRun run = runExport(c.arguments, folder, c.addressSpaceBytes);
        EXPECT_EQ(run.status, c.status) << c.message << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(filesIn(folder.path()), (std::vector<fs::path>{"ride.fit", "stderr.txt"}));
}

TEST(ExportCommandTest, InterruptStopsCleanlyAndKeepsTheOldMovie) {
    TemporaryFolder folder;
    const fs::path ride = copyOfSampleRide(folder);
    const fs::path output = folder / "ride-telemetry.mov";
    writeFileText(output, "the old movie");
    const fs::path errPath = folder / "stderr.txt";
    const pid_t child = startExport({ride.string()}, errPath);  // the whole ride: minutes of work
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

}  // namespace
}  // namespace pacemark
