// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlatformMovieWriters.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "Export/TelemetryExportSettings.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

// A codec added to the codec table without a back-end here fails this test.
TEST(PlatformMovieWritersTest, EveryCodecHasABackEndThatOpensItsSmallestPicture) {
    const auto writers = platformMovieWriters();
    testing::TemporaryFolder folder;
    for (const TelemetryVideoCodec codec : TelemetryVideoCodec::allCases()) {
        SCOPED_TRACE(std::string(codec.row().commandLineName));
        EXPECT_TRUE(writers->writes(codec));
        const std::int64_t side = codec.row().minimumSidePixels;
        const TelemetryExportSettings settings{.width = side, .height = side, .codec = codec};
        ASSERT_EQ(settings.validationError(), std::nullopt);
        const auto writer = writers->makeWriter(settings.writerSettings(folder / "x.mov"));
        EXPECT_NE(writer, nullptr);
        EXPECT_FALSE(std::filesystem::exists(folder / "x.mov"));  // nothing on disk before startWriting
    }
}

}  // namespace
}  // namespace pacemark
