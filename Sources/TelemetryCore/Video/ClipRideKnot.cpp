// SPDX-License-Identifier: GPL-3.0-or-later
#include "Video/ClipRideKnot.h"

#include <algorithm>

namespace pacemark {

double rideSecondsAt(std::span<const ClipRideKnot> knots, double movieSeconds) {
    if (knots.empty()) return movieSeconds;
    if (knots.size() == 1) return knots.front().rideSeconds + (movieSeconds - knots.front().movieSeconds);
    // The segment whose end is the first knot after the moment, kept inside
    // the line so that moments beyond the ends extend the outer segments.
    const auto after = std::upper_bound(knots.begin() + 1, knots.end() - 1, movieSeconds,
                                        [](double movie, const ClipRideKnot& knot) { return movie < knot.movieSeconds; });
    const ClipRideKnot& a = *(after - 1);
    const ClipRideKnot& b = *after;
    const double movieSpan = b.movieSeconds - a.movieSeconds;
    const double slope = movieSpan > 1e-9 ? (b.rideSeconds - a.rideSeconds) / movieSpan : 1.0;
    return a.rideSeconds + (movieSeconds - a.movieSeconds) * slope;
}

}  // namespace pacemark
