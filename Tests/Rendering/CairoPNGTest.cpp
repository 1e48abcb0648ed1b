// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "CairoPNG.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;

TEST(CairoPNGTest, FilesRoundTripPremultipliedPixels) {
    testing::TemporaryFolder folder;
    OwnedPixelBuffer picture(8, 4);
    for (std::size_t k = 0; k < picture.bytes.size(); k += 4) {
        picture.bytes[k + 0] = 0;    // B
        picture.bytes[k + 1] = 64;   // G
        picture.bytes[k + 2] = 128;  // R
        picture.bytes[k + 3] = 128;  // A: half transparent
    }
    writePNGFile(picture.view(), folder / "a.png");
    const OwnedPixelBuffer back = readPNGFile(folder / "a.png");
    ASSERT_EQ(back.width, 8);
    ASSERT_EQ(back.height, 4);
    for (std::size_t k = 0; k < back.bytes.size(); ++k) {
        EXPECT_NEAR(back.bytes[k], picture.bytes[k], 1) << k;
    }
    testing::writeFileText(folder / "b.png", "not a picture");
    EXPECT_THROW(readPNGFile(folder / "b.png"), PNGFileError);
}

// A folder that is not there and a write that fails half way (the file-size
// limit standing in for a full disk) are told in Russian with the system's
// reason (its texts are checked with the other writers); the picture that was
// there stays whole and no temporary file is left. (That a device is never
// written over: CLIRefusalTest.)
TEST(CairoPNGTest, WriteFailuresKeepTheOldPicture) {
    testing::TemporaryFolder folder;
    OwnedPixelBuffer picture(64, 64);
    for (std::size_t k = 0; k < picture.bytes.size(); ++k) picture.bytes[k] = static_cast<std::uint8_t>(k * 7919 % 251);
    const fs::path missing = folder / "missing" / "a.png";
    const auto error = testing::thrownBy<PNGFileError>([&] { writePNGFile(picture.view(), missing); });
    EXPECT_EQ(error.errorDescription(), "Не удалось записать PNG «" + missing.string() + "»: папка или файл не найдены.");

    const fs::path old = folder / "old.png";
    testing::writeFileText(old, "the old picture");
    EXPECT_EQ(testing::fileSizeLimitFailure<PNGFileError>(1000, [&] { writePNGFile(picture.view(), old); },
                                                          "Не удалось записать PNG «" + old.string() +
                                                              "»: файл слишком большой."),
              0)
        << "1: written past the limit, 2: another text";
    const auto bytes = testing::readFileBytes(old);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "the old picture");
    EXPECT_EQ(testing::filesIn(folder.path()), std::vector<fs::path>{"old.png"});
}

}  // namespace
}  // namespace pacemark
