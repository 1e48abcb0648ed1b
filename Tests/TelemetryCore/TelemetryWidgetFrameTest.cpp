// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "Layout/TelemetryWidgetFrame.h"

using namespace pacemark;

TEST(TelemetryWidgetFrameTest, ClampsSizeFirstThenPosition) {
    const double nan = std::nan("");
    const std::pair<TelemetryWidgetFrame, TelemetryWidgetFrame> cases[] = {
        {{0.9, 0.9, 0.5, 0.6}, {0.5, 0.5, 0.5, 0.5}},
        {{-1, -1, 0, 0}, {0, 0, 0.04, 0.018}},
        {{0.2, 0.3, 2, 2}, {0.2, 0.3, 0.75, 0.5}},
        {{0.5, 0.1, 0.6, 0.1}, {0.4, 0.1, 0.6, 0.1}},
        {{nan, nan, nan, nan}, {0, 0, 0.04, 0.018}},  // a damaged frame
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(in.clamped(), out) << in.x << " " << in.width;
}
