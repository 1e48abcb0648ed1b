// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>

#include "LayoutCanvas.h"
#include "LayoutFrameRenderer.h"
#include "PanelStyleTable.h"

namespace pacemark {

DrawingRect LayoutFrameRenderer::rect(const PacemarkWidget& widget, std::int64_t width, std::int64_t height) {
    return LayoutCanvas::frameIn(widget, {0, 0, static_cast<double>(width), static_cast<double>(height)});
}

bool LayoutFrameRenderer::layoutDrawsCinematicBackdrop(const PacemarkLayout& layout) {
    return std::any_of(layout.widgets.begin(), layout.widgets.end(), [](const PacemarkWidget& widget) {
        return widget.isVisible && widget.panelStyle == TelemetryWidgetPanelStyle::cinematic;
    });
}

std::optional<LayoutRouteProjection> LayoutFrameRenderer::routeProjection(const TelemetryActivity& activity,
                                                                          const PacemarkWidget& widget,
                                                                          DrawingRect area, DrawingTarget target) {
    if (widget.kind != TelemetryWidgetKind::route) return std::nullopt;
    const DrawingRect inset =
        panelStyleRow(widget.panelStyle, target).routeInset.apply(LayoutCanvas::frameIn(widget, area));
    return LayoutRouteProjection::make(activity.trackPoints, inset);
}

std::map<UUID, LayoutRouteProjection> LayoutFrameRenderer::buildRouteProjections(const TelemetryActivity& activity,
                                                                                 const PacemarkLayout& layout,
                                                                                 std::int64_t width,
                                                                                 std::int64_t height,
                                                                                 DrawingTarget target) {
    return buildRouteProjections(activity, layout,
                                 DrawingRect{0, 0, static_cast<double>(width), static_cast<double>(height)}, target);
}

std::map<UUID, LayoutRouteProjection> LayoutFrameRenderer::buildRouteProjections(const TelemetryActivity& activity,
                                                                                 const PacemarkLayout& layout,
                                                                                 DrawingRect area,
                                                                                 DrawingTarget target) {
    std::map<UUID, LayoutRouteProjection> projections;
    for (const PacemarkWidget& widget : layout.widgets) {
        if (!widget.isVisible) continue;
        // A later widget with the same id replaces an earlier one's route.
        if (auto projection = routeProjection(activity, widget, area, target)) {
            projections.insert_or_assign(widget.id, std::move(*projection));
        } else if (widget.kind == TelemetryWidgetKind::route) {
            projections.erase(widget.id);
        }
    }
    return projections;
}

std::vector<DrawingPoint> LayoutFrameRenderer::altitudeSparklinePoints(const TelemetryActivity& activity,
                                                                       DrawingRect rect) {
    struct Pair {
        std::size_t index;
        double altitude;
    };
    std::vector<Pair> pairs;
    for (std::size_t k = 0; k < activity.samples.size(); ++k) {
        const auto& altitude = activity.samples[k].altitudeMeters;
        if (altitude && std::isfinite(*altitude)) pairs.push_back({k, *altitude});
    }
    if (pairs.size() < 2) return {};
    const auto [lowest, highest] = std::minmax_element(
        pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.altitude < b.altitude; });
    const double lo = lowest->altitude;
    const double span = std::max(highest->altitude - lo, 1.0);
    const double n = static_cast<double>(std::max<std::size_t>(activity.samples.size(), 2));
    const std::size_t step = pairs.size() >= 72 ? pairs.size() / 72 : 1;
    std::vector<DrawingPoint> points;
    points.reserve(pairs.size() / step + 1);
    for (std::size_t k = 0; k < pairs.size(); k += step) {
        points.push_back({rect.minX() + rect.width * static_cast<double>(pairs[k].index) / (n - 1),
                          rect.maxY() - (pairs[k].altitude - lo) / span * rect.height});
    }
    if (points.size() < 2) return {};
    return points;
}

}  // namespace pacemark
