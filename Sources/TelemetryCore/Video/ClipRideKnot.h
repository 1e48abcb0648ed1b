// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

namespace pacemark {

// A moment of a clip (seconds from its first frame) and the ride instant it
// shows (the ride's elapsed seconds). A variable-speed clip's clock is the
// piecewise-linear line through such knots.
struct ClipRideKnot {
    double movieSeconds = 0;
    double rideSeconds = 0;
    bool operator==(const ClipRideKnot&) const = default;
};

// The ride instant at `movieSeconds` on the line through `knots` (at least
// two, in increasing movie time): linear between knots, and beyond the ends
// along the nearest segment, as the camera's clock is.
double rideSecondsAt(std::span<const ClipRideKnot> knots, double movieSeconds);

}  // namespace pacemark
