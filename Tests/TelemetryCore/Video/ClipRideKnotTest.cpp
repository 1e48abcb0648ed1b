// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "Video/ClipRideKnot.h"

namespace pacemark {
namespace {

// Real time for 3 s from ride second 100, then 5 ride seconds per second.
const std::vector<ClipRideKnot> warp = {{0, 100}, {3, 103}, {5, 113}};

TEST(ClipRideKnotTest, MomentsBeyondTheEndsExtendTheOuterSegments) {
    EXPECT_DOUBLE_EQ(rideSecondsAt(warp, -1), 99);
    EXPECT_DOUBLE_EQ(rideSecondsAt(warp, 6), 118);
}

}  // namespace
}  // namespace pacemark
