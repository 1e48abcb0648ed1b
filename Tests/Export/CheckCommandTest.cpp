// `pacemark-cli check` on what is not a movie of ours. (Our exports passing
// it: ExportCommandTest.)
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>

#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// `pacemark-cli check ARGUMENTS`: its exit code and what it printed.
CommandResult check(const std::string& arguments) {
    CommandResult result = runCommand(std::string(PACEMARK_CLI_PATH) + " check " + arguments);
    result.status = WIFEXITED(result.status) ? WEXITSTATUS(result.status) : -1;
    return result;
}

TEST(CheckCommandTest, WrongCallsFilesThatAreNoMoviesAndTheSystemEncodersMovieAreTold) {
    TemporaryFolder folder;
    const fs::path ride = sourceFolder() / "samples" / "sample-ride.fit";
    EXPECT_EQ(check("").status, 2);
    EXPECT_EQ(check(quoted(ride) + " " + quoted(ride)).status, 2);
    const CommandResult missing = check(quoted(folder / "missing.mov"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("файл не найден"), std::string::npos) << missing.output;
    const CommandResult notMovie = check(quoted(ride));
    EXPECT_EQ(notMovie.status, 1);
    EXPECT_NE(notMovie.output.find("Файл не читается как фильм QuickTime"), std::string::npos) << notMovie.output;

    if (!fs::exists("/usr/bin/ffmpeg")) GTEST_SKIP() << "the system ffmpeg is not installed";
    // Alpha that changes along each row, so slices end in a differing value.
    const fs::path theirs = folder / "theirs.mov";
    const CommandResult encoded =
        runCommand("/usr/bin/ffmpeg -loglevel error -f lavfi -i \"testsrc2=size=320x240:rate=25,format=rgba,"
                   "geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='X'\" -frames:v 5 -c:v prores_ks -pix_fmt yuva444p10le -y " +
                   quoted(theirs));
    ASSERT_EQ(encoded.status, 0) << encoded.output;
    const CommandResult bad = check(quoted(theirs));
    EXPECT_EQ(bad.status, 1) << bad.output;
    for (const char* finding : {"версия битового потока 0", "0x42 вместо 0x02", "нет завершающего кода серии",
                                "в 5 из 5 кадров, впервые в кадре 1"}) {
        EXPECT_NE(bad.output.find(finding), std::string::npos) << finding << "\n" << bad.output;
    }
}

}  // namespace
}  // namespace pacemark
