// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetPreview.h"

#include <QPainter>
#include <QPen>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <vector>

#include "Rendering/LayoutFrameRenderer.h"
#include "Rendering/LayoutCanvas.h"
#include "Rendering/LayoutCanvasSurface.h"
#include "Rendering/LayoutStepBuilder.h"
#include "WindowStyle.h"

namespace pacemark {

namespace {

void runSteps(DrawingSurface& surface, const std::vector<RenderStep>& steps, const TelemetrySample& sample) {
    for (const RenderStep& step : steps) {
        surface.saveState();
        step.draw(surface, sample);
        surface.restoreState();
    }
}

}  // namespace

void WidgetPreview::draw(DrawingSurface& surface, std::int64_t canvasWidth, std::int64_t canvasHeight) const {
    // A route is fitted to this widget's own rectangle on the canvas, 12
    // points inside it (4 for the cinematic style).
    std::map<UUID, LayoutRouteProjection> projections;
    if (auto projection =
            LayoutFrameRenderer::routeProjection(activity_, widget_,
                                                 {0, 0, static_cast<double>(canvasWidth), static_cast<double>(canvasHeight)},
                                                 DrawingTarget::preview)) {
        projections.emplace(widget_.id, std::move(*projection));
    }
    LayoutStepBuilder builder(activity_, canvasWidth, canvasHeight, projections, DrawingTarget::preview);
    runSteps(surface, builder.buildWidget(widget_), sample_);
}

void WidgetPreview::paintSelection(QPainter& painter, const QRectF& rect) const {
    if (!isSelected_) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen outline(brandGreen(), 2);
    outline.setDashPattern({3, 2});  // in pen widths: 6 on, 4 off
    painter.setPen(outline);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect, 10, 10);
    painter.restore();
}

void CinematicBackdrop::draw(DrawingSurface& surface, std::int64_t canvasWidth, std::int64_t canvasHeight) {
    const TelemetryActivity none;
    const std::map<UUID, LayoutRouteProjection> noRoutes;
    LayoutStepBuilder builder(none, canvasWidth, canvasHeight, noRoutes, DrawingTarget::preview);
    runSteps(surface, builder.buildCinematicBackdrop(), TelemetrySample{});
}

void drawOverlayPreview(DrawingSurface& surface, const TelemetryActivity& activity, const PacemarkLayout& layout,
                        double elapsed, std::int64_t canvasWidth, std::int64_t canvasHeight,
                        const TelemetryMotion& motion) {
    if (LayoutFrameRenderer::layoutDrawsCinematicBackdrop(layout)) {
        CinematicBackdrop::draw(surface, canvasWidth, canvasHeight);
    }
    // The widgets lie on the layout's area of the canvas (all of it unless the shapes differ).
    LayoutCanvas area = LayoutCanvas::unscaled(canvasWidth, canvasHeight);
    const DrawingRect fitted = LayoutCanvas::fitArea(layout.aspect, area.area);
    // A canvas rounded to whole points is not exactly of the output's shape;
    // under a point of difference it is the layout's own.
    if (area.area.width - fitted.width >= 1 || area.area.height - fitted.height >= 1) area.area = fitted;
    const auto areaWidth = static_cast<std::int64_t>(std::lround(area.area.width));
    const auto areaHeight = static_cast<std::int64_t>(std::lround(area.area.height));
    std::optional<LayoutCanvasSurface> moved;
    if (!area.isIdentity()) moved.emplace(surface, area);
    DrawingSurface& widgets = moved ? static_cast<DrawingSurface&>(*moved) : surface;
    const TelemetrySample sample = motion.sample(activity, elapsed);
    for (const PacemarkWidget& widget : layout.widgets) {
        if (widget.isVisible) WidgetPreview(activity, sample, widget, false).draw(widgets, areaWidth, areaHeight);
    }
}

}  // namespace pacemark
