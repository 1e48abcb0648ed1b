// SPDX-License-Identifier: GPL-3.0-or-later
#include "LayoutRouteProjection.h"

#include <algorithm>

namespace pacemark {

std::optional<LayoutRouteProjection> LayoutRouteProjection::make(std::span<const TelemetryTrackPoint> points,
                                                                 DrawingRect rect) {
    if (points.size() < 3) return std::nullopt;
    double minLat = points[0].latitude, maxLat = points[0].latitude;
    double minLon = points[0].longitude, maxLon = points[0].longitude;
    for (const auto& p : points) {
        minLat = std::min(minLat, p.latitude);
        maxLat = std::max(maxLat, p.latitude);
        minLon = std::min(minLon, p.longitude);
        maxLon = std::max(maxLon, p.longitude);
    }
    LayoutRouteProjection projection;
    projection.rect_ = rect;
    projection.minLat_ = minLat;
    projection.minLon_ = minLon;
    projection.latSpan_ = std::max(maxLat - minLat, minimumSpanDegrees);
    projection.lonSpan_ = std::max(maxLon - minLon, minimumSpanDegrees);
    projection.path_.reserve(points.size());
    projection.path_.moveTo(projection.project(points[0].latitude, points[0].longitude));
    for (std::size_t i = 1; i < points.size(); ++i) {
        projection.path_.lineTo(projection.project(points[i].latitude, points[i].longitude));
    }
    return projection;
}

DrawingPoint LayoutRouteProjection::project(double latitude, double longitude) const {
    return {rect_.minX() + (longitude - minLon_) / lonSpan_ * rect_.width,
            rect_.maxY() - (latitude - minLat_) / latSpan_ * rect_.height};
}

}  // namespace pacemark
