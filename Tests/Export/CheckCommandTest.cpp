// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "CLIRun.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// `pacemark-cli check` on a movie of the system's encoder.
TEST(CheckCommandTest, CheckTellsWhyAFileFails) {
    TemporaryFolder folder;
    if (!fs::exists("/usr/bin/ffmpeg")) GTEST_SKIP() << "the system ffmpeg is not installed";
    // The system encoder's movies break the format in every frame (each
    // fault is placed by MovieCheckerTest); the command fails and says so.
    const fs::path theirs = folder / "theirs.mov";
    const CommandResult encoded = runCommand("/usr/bin/ffmpeg -loglevel error -f lavfi -i testsrc2=size=320x240:rate=25 "
                                             "-frames:v 5 -c:v prores_ks -pix_fmt yuva444p10le -y " + quoted(theirs));
    ASSERT_EQ(encoded.status, 0) << encoded.output;
    const CLIRun bad = runCLI({"check", theirs.string()}, folder);
    EXPECT_EQ(bad.status, 1) << bad.err;
    EXPECT_NE(bad.out.find("0x42 вместо 0x02 — в 5 из 5 кадров, впервые в кадре 1"), std::string::npos) << bad.out;
}

}  // namespace
}  // namespace pacemark
