// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/BurnInSettings.h"

#include <gtest/gtest.h>

namespace pacemark {
namespace {

// (Where finished videos go: ClipBurnInCommandTest and FFmpegClipBurnInTest;
// the refusal's text: ExportCommandTest.)
TEST(BurnInSettingsTest, QualityOutsideTheEncodersScaleIsRefused) {
    EXPECT_EQ(BurnInSettings{0}.qualityError(), std::nullopt);
    EXPECT_EQ(BurnInSettings{51}.qualityError(), std::nullopt);
    EXPECT_TRUE(BurnInSettings{52}.qualityError());
    EXPECT_TRUE(BurnInSettings{-1}.qualityError());
}

}  // namespace
}  // namespace pacemark
