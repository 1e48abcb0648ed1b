// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/BurnInSettings.h"

#include <gtest/gtest.h>

namespace pacemark {
namespace {

TEST(BurnInSettingsTest, OutputLiesBesideTheClipUnderItsName) {
    EXPECT_EQ(BurnInSettings::outputPath("/media/card/GX010042.MP4"), "/media/card/GX010042-pacemark.mp4");
    // A clip that already is an MP4 in lower case still gets a name of its own.
    EXPECT_EQ(BurnInSettings::outputPath("ride.mp4"), "ride-pacemark.mp4");
}

TEST(BurnInSettingsTest, OutputGoesIntoTheChosenFolder) {
    EXPECT_EQ(BurnInSettings::outputPath("/media/card/GX010042.MP4", "/home/me/done"),
              "/home/me/done/GX010042-pacemark.mp4");
}

TEST(BurnInSettingsTest, QualityOutsideTheEncodersScaleIsRefused) {
    EXPECT_EQ(BurnInSettings{0}.qualityError(), std::nullopt);
    EXPECT_EQ(BurnInSettings{51}.qualityError(), std::nullopt);
    ASSERT_TRUE(BurnInSettings{52}.qualityError());
    EXPECT_NE(BurnInSettings{52}.qualityError()->find("от 0"), std::string::npos);
    EXPECT_TRUE(BurnInSettings{-1}.qualityError());
}

}  // namespace
}  // namespace pacemark
