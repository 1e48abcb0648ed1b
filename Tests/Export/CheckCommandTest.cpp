#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

struct CommandRun {
    int status = -1;
    std::string output;  // stdout and stderr
};

CommandRun run(const std::string& command) {
    CommandRun result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) result.output.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

using testing::quoted;
std::string check(const std::string& arguments) { return std::string(PACEMARK_CLI_PATH) + " check " + arguments; }

TEST(CheckCommandTest, OurExportPassesAndTheSystemEncodersMovieIsFlagged) {
    TemporaryFolder folder;
    const fs::path ours = folder / "ours.mov";
    const CommandRun exported = run(std::string(PACEMARK_CLI_PATH) + " export " +
                             quoted(sourceFolder() / "samples" / "sample-ride.fit") + " -o " + quoted(ours) +
                             " --size 640x360 --fps 10 --start 0 --end 3");
    ASSERT_EQ(exported.status, 0) << exported.output;
    const CommandRun good = run(check(quoted(ours)));
    EXPECT_EQ(good.status, 0) << good.output;
    EXPECT_NE(good.output.find("ProRes 4444 («ap4h»), 640×360, кадров: 30"), std::string::npos) << good.output;
    EXPECT_NE(good.output.find("Альфа-канал в порядке"), std::string::npos) << good.output;

    if (!fs::exists("/usr/bin/ffmpeg")) GTEST_SKIP() << "the system ffmpeg is not installed";
    // Alpha that changes along each row, so slices end in a differing value.
    const fs::path theirs = folder / "theirs.mov";
    const CommandRun encoded = run("/usr/bin/ffmpeg -loglevel error -f lavfi -i \"testsrc2=size=320x240:rate=25,format=rgba,"
                            "geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X'\" -frames:v 5 -c:v prores_ks "
                            "-pix_fmt yuva444p10le -y " + quoted(theirs));
    ASSERT_EQ(encoded.status, 0) << encoded.output;
    const CommandRun bad = run(check(quoted(theirs)));
    EXPECT_EQ(bad.status, 1) << bad.output;
    for (const char* finding : {"версия битового потока 0", "0x42 вместо 0x02", "нет завершающего кода серии",
                                "в 5 из 5 кадров, впервые в кадре 1"}) {
        EXPECT_NE(bad.output.find(finding), std::string::npos) << finding << "\n" << bad.output;
    }
}

TEST(CheckCommandTest, WrongCallsAndFilesThatAreNoMovies) {
    TemporaryFolder folder;
    const fs::path ride = sourceFolder() / "samples" / "sample-ride.fit";
    EXPECT_EQ(run(check("")).status, 2);
    EXPECT_EQ(run(check(quoted(ride) + " " + quoted(ride))).status, 2);
    const CommandRun missing = run(check(quoted(folder / "missing.mov")));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("файл не найден"), std::string::npos) << missing.output;
    const CommandRun notMovie = run(check(quoted(ride)));
    EXPECT_EQ(notMovie.status, 1);
    EXPECT_NE(notMovie.output.find("Файл не читается как фильм QuickTime"), std::string::npos) << notMovie.output;
}

}  // namespace
}  // namespace pacemark
