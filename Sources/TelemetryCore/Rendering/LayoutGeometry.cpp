#include <algorithm>

#include "LayoutFrameRenderer.h"

namespace pacemark {

DrawingRect LayoutFrameRenderer::rect(const PacemarkWidget& widget, std::int64_t width, std::int64_t height) {
    const TelemetryWidgetFrame frame = widget.frame.clamped();
    const auto w = static_cast<double>(width);
    const auto h = static_cast<double>(height);
    return {frame.x * w, frame.y * h, frame.width * w, frame.height * h};
}

std::map<UUID, LayoutRouteProjection> LayoutFrameRenderer::buildRouteProjections(const TelemetryActivity& activity,
                                                                                 const PacemarkLayout& layout,
                                                                                 std::int64_t width,
                                                                                 std::int64_t height) {
    std::map<UUID, LayoutRouteProjection> projections;
    for (const PacemarkWidget& widget : layout.widgets) {
        if (!widget.isVisible || widget.kind != TelemetryWidgetKind::route) continue;
        const DrawingRect r = rect(widget, width, height);
        DrawingRect inset;
        if (widget.panelStyle == TelemetryWidgetPanelStyle::cinematic) {
            inset = r.insetBy(std::max(r.width * 0.06, 4.0), std::max(r.height * 0.08, 4.0));
        } else {
            inset = r.insetBy(16, 14);
        }
        auto projection = LayoutRouteProjection::make(activity.trackPoints, inset);
        if (projection) {
            projections.insert_or_assign(widget.id, std::move(*projection));
        } else {
            projections.erase(widget.id);
        }
    }
    return projections;
}

}  // namespace pacemark
