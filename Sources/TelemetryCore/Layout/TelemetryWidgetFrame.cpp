// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetryWidgetFrame.h"

namespace pacemark {
namespace {

// Raise to `lo`, then lower to `hi`, in that order (so `hi` wins if hi < lo).
// A NaN takes the lower bound, so a damaged frame still lands in the picture.
double raiseThenLower(double value, double lo, double hi) {
    const double v = value > lo ? value : lo;
    return v >= hi ? hi : v;
}

}  // namespace

TelemetryWidgetFrame TelemetryWidgetFrame::clamped() const {
    const double w = raiseThenLower(width, minWidth, maxWidth);
    const double h = raiseThenLower(height, minHeight, maxHeight);
    return {raiseThenLower(x, 0, 1 - w), raiseThenLower(y, 0, 1 - h), w, h};
}

}  // namespace pacemark
