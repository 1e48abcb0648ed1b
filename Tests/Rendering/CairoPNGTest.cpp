// Every way a PNG can fail to be written is told in Russian with the
// system's reason, and nothing half-written is left behind.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "CairoPNG.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;

struct PNGWriteFailure {
    const char* name;
    // Prepares the folder and returns where to write.
    std::function<fs::path(const fs::path& folder)> target;
    const char* reason;
};

class CairoPNGWriteFailureTest : public ::testing::TestWithParam<PNGWriteFailure> {};

TEST_P(CairoPNGWriteFailureTest, SaysWhyInRussian) {
    const bool needsPermissions = std::string(GetParam().name) == "readOnlyFolder";
    if (needsPermissions && ::geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not stop writing";
    testing::TemporaryFolder folder;
    const fs::path target = GetParam().target(folder.path());
    OwnedPixelBuffer picture(8, 8);
    const auto error = testing::thrownBy<PNGFileError>([&] { writePNGFile(picture.view(), target); });
    EXPECT_EQ(error.errorDescription(), "Не удалось записать PNG «" + target.string() + "»: " + GetParam().reason + ".");
    // A device (the full disk) is never removed as a half-written file.
    if (target == "/dev/full") {
        EXPECT_TRUE(fs::is_character_file(target));
    }
    if (needsPermissions) fs::permissions(folder.path() / "locked", fs::perms::owner_all);
}

INSTANTIATE_TEST_SUITE_P(
    CairoPNGTest, CairoPNGWriteFailureTest,
    ::testing::Values(
        PNGWriteFailure{"missingFolder", [](const fs::path& f) { return f / "missing" / "a.png"; },
                        "нет такого файла или папки"},
        PNGWriteFailure{"folder",
                        [](const fs::path& f) {
                            fs::create_directory(f / "a.png");
                            return f / "a.png";
                        },
                        "это папка, а не файл"},
        PNGWriteFailure{"belowAFile",
                        [](const fs::path& f) {
                            testing::writeFileText(f / "file", "x");
                            return f / "file" / "a.png";
                        },
                        "часть пути — не папка"},
        // A device that is always full stands for a full disk; it must
        // survive the clean-up of a failed write.
        PNGWriteFailure{"fullDisk", [](const fs::path&) { return fs::path("/dev/full"); }, "на диске нет места"},
        PNGWriteFailure{"readOnlyFolder",
                        [](const fs::path& f) {
                            fs::create_directory(f / "locked");
                            fs::permissions(f / "locked", fs::perms::owner_read | fs::perms::owner_exec);
                            return f / "locked" / "a.png";
                        },
                        "нет доступа"}),
    [](const ::testing::TestParamInfo<PNGWriteFailure>& failure) { return std::string(failure.param.name); });

}  // namespace
}  // namespace pacemark
