// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/TelemetryVideoCodec.h"

#include <gtest/gtest.h>

#include <set>
#include <string_view>

#include "Export/TelemetryExportSettings.h"

namespace pacemark {
namespace {

TEST(TelemetryVideoCodecTest, EachCodecIsFoundByExactlyItsTitleAndItsCommandLineName) {
    std::set<std::string_view> titles, names;
    for (const TelemetryVideoCodec codec : TelemetryVideoCodec::allCases()) {
        EXPECT_EQ(TelemetryVideoCodec::fromRawValue(codec.rawValue()), codec);
        EXPECT_EQ(TelemetryVideoCodec::fromCommandLineName(codec.row().commandLineName), codec);
        titles.insert(codec.rawValue());
        names.insert(codec.row().commandLineName);
    }
    EXPECT_EQ(titles.size(), TelemetryVideoCodec::caseCount);
    EXPECT_EQ(names.size(), TelemetryVideoCodec::caseCount);
    EXPECT_EQ(TelemetryVideoCodec::fromCommandLineName("prores"), TelemetryVideoCodec::proRes4444);
    EXPECT_EQ(TelemetryVideoCodec::fromCommandLineName("hevc"), TelemetryVideoCodec::hevcWithAlpha);
    EXPECT_EQ(TelemetryVideoCodec::fromCommandLineName("ProRes"), std::nullopt);
    EXPECT_EQ(TelemetryVideoCodec::fromCommandLineName(""), std::nullopt);
    EXPECT_EQ(TelemetryVideoCodec::fromRawValue("HEVC с альфой"), std::nullopt);
}

// The command line's size parser and the settings' texts assume every
// codec's sides lie within the settings' overall bounds.
TEST(TelemetryVideoCodecTest, EveryCodecsSidesLieWithinTheSettingsBounds) {
    for (const TelemetryVideoCodec codec : TelemetryVideoCodec::allCases()) {
        const TelemetryVideoCodecRow& row = codec.row();
        SCOPED_TRACE(std::string(row.commandLineName));
        EXPECT_EQ(row.codec, TelemetryVideoCodec::Value(codec));
        EXPECT_GE(row.minimumSidePixels, TelemetryExportSettings::smallestSidePixels);
        EXPECT_LE(row.maximumSidePixels, TelemetryExportSettings::largestSidePixels);
        EXPECT_EQ(row.minimumSidePixels % 2, 0);
        EXPECT_FALSE(row.name.empty());
        EXPECT_EQ(row.acceptsSize != nullptr, !row.sizeLimitReason.empty());
    }
}

}  // namespace
}  // namespace pacemark
