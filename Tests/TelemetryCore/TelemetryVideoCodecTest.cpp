// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/TelemetryVideoCodec.h"

#include <gtest/gtest.h>

namespace pacemark {
namespace {

// (That no two rows share a title or a name is checked as the table compiles;
// the names the command line takes: ExportCommandTest.)
TEST(TelemetryVideoCodecTest, EachCodecIsFoundByExactlyItsNames) {
    for (const TelemetryVideoCodec codec : TelemetryVideoCodec::allCases()) {
        EXPECT_EQ(TelemetryVideoCodec::fromRawValue(codec.rawValue()), codec);
        EXPECT_EQ(TelemetryVideoCodec::fromCommandLineName(codec.row().commandLineName), codec);
    }
    EXPECT_EQ(TelemetryVideoCodec::fromCommandLineName("ProRes"), std::nullopt);
}

}  // namespace
}  // namespace pacemark
