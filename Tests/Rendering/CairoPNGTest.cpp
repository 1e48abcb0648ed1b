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

// A file that cannot be opened and a disk that fills up while writing are
// told in Russian with the system's reason (its texts are checked with the
// other readers and writers); nothing half-written is left behind, but a
// device (the always-full /dev/full) is never removed.
TEST(CairoPNGTest, WriteFailuresSayWhyInRussian) {
    testing::TemporaryFolder folder;
    OwnedPixelBuffer picture(8, 8);
    const std::pair<fs::path, const char*> cases[] = {
        {folder / "missing" / "a.png", "нет такого файла или папки"},
        {"/dev/full", "на диске нет места"},
    };
    for (const auto& [target, reason] : cases) {
        const auto error = testing::thrownBy<PNGFileError>([&] { writePNGFile(picture.view(), target); });
        EXPECT_EQ(error.errorDescription(), "Не удалось записать PNG «" + target.string() + "»: " + reason + ".");
    }
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

}  // namespace
}  // namespace pacemark
