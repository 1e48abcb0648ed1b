// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pacemark {

// A rectangle in normalized output coordinates: the unit square is the whole
// picture, origin top-left, y downward.
struct TelemetryWidgetFrame {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    static constexpr double minWidth = 0.04;
    static constexpr double maxWidth = 0.75;
    static constexpr double minHeight = 0.018;
    static constexpr double maxHeight = 0.5;

    // Size limited first, then the position kept inside the picture for that size.
    TelemetryWidgetFrame clamped() const;

    bool operator==(const TelemetryWidgetFrame&) const = default;
};

}  // namespace pacemark
