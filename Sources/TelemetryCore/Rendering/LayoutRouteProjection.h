// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>

#include "DrawingGeometry.h"
#include "Telemetry/TelemetryActivity.h"

namespace pacemark {

// A route polyline projected into a pixel rectangle. Latitude and longitude
// are scaled independently to fill the rectangle; north is up.
class LayoutRouteProjection {
public:
    static constexpr double minimumSpanDegrees = 0.000001;

    // No projection for fewer than 3 points.
    static std::optional<LayoutRouteProjection> make(std::span<const TelemetryTrackPoint> points, DrawingRect rect);

    DrawingPoint project(double latitude, double longitude) const;

    const DrawingRect& rect() const { return rect_; }
    double minLat() const { return minLat_; }
    double minLon() const { return minLon_; }
    double latSpan() const { return latSpan_; }
    double lonSpan() const { return lonSpan_; }
    const DrawingPath& path() const { return path_; }

    bool operator==(const LayoutRouteProjection&) const = default;

private:
    LayoutRouteProjection() = default;

    DrawingRect rect_;
    double minLat_ = 0;
    double minLon_ = 0;
    double latSpan_ = minimumSpanDegrees;
    double lonSpan_ = minimumSpanDegrees;
    DrawingPath path_;
};

}  // namespace pacemark
