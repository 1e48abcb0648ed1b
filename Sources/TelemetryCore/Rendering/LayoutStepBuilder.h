// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <optional>
#include <vector>

#include "DrawingSurface.h"
#include "Layout/PacemarkWidget.h"
#include "LayoutCanvas.h"
#include "LayoutRouteProjection.h"
#include "RenderStep.h"
#include "Telemetry/TelemetryActivity.h"
#include "WidgetSizeTable.h"

namespace pacemark {

struct PanelStyleRow;

// Turns a layout into the drawing steps of its frames, in drawing order: the
// cinematic backdrop first, then every visible widget as its panel style's
// routine lays it out. One routine per concept, shared by all kinds: the
// card and the metric routines here and in LayoutMetricSteps.cpp, the
// cinematic ones in LayoutCinematicSteps.cpp. Each routine states for every
// step whether it is static and which pixels it may touch.
//
// The same routines draw the editor's preview: with DrawingTarget::preview
// the picture is the canvas in view points, and every number that differs
// comes from the preview's rows of PanelStyleTable and WidgetSizeTable.
class LayoutStepBuilder {
public:
    // `activity` and `routeProjections` must outlive the steps. The steps draw
    // in the canvas's layout units (the widgets' frames span its design size),
    // to be mapped onto the picture by a LayoutCanvasSurface unless the
    // canvas is the identity.
    LayoutStepBuilder(const TelemetryActivity& activity, const LayoutCanvas& canvas,
                      const std::map<UUID, LayoutRouteProjection>& routeProjections,
                      DrawingTarget target = DrawingTarget::movie);
    // Drawing straight onto a width × height picture, unscaled.
    LayoutStepBuilder(const TelemetryActivity& activity, std::int64_t width, std::int64_t height,
                      const std::map<UUID, LayoutRouteProjection>& routeProjections,
                      DrawingTarget target = DrawingTarget::movie);

    std::vector<RenderStep> build(const PacemarkLayout& layout, bool drawsCinematicBackdrop);
    // The steps of one widget alone (visible or not), and of the cinematic backdrop alone.
    std::vector<RenderStep> buildWidget(const PacemarkWidget& widget);
    std::vector<RenderStep> buildCinematicBackdrop();

private:
    const TelemetryActivity& activity_;
    // The area the widgets' frames span, and the whole picture, in layout units.
    double width_;
    double height_;
    DrawingRect picture_;
    // Layout units per picture pixel (1 at the layout's own size, 3 at a third of it).
    double unitsPerPixel_;
    const std::map<UUID, LayoutRouteProjection>& routeProjections_;
    DrawingTarget target_;
    const WidgetSizeRules& sizes_;
    std::vector<RenderStep> steps_;
    // While set, texts are drawn inside this outline only (the preview clips
    // the coordinate view to its panel's shape).
    std::optional<DrawingPath> textClip_;

    // Step makers.
    void addStatic(DrawingRect bounds, std::function<void(DrawingSurface&)> draw);
    void addDynamic(DrawingRect bounds, std::function<void(DrawingSurface&, const TelemetrySample&)> draw);
    void addText(bool isStatic, std::function<std::string(const TelemetrySample&)> value, DrawingRect rect,
                 DrawingFont font, DrawingColor color, DrawingTextAlignment alignment, bool isValue = false);
    void addStaticText(std::string string, DrawingRect rect, DrawingFont font, DrawingColor color,
                       DrawingTextAlignment alignment = DrawingTextAlignment::left);
    // The kind's value, drawn smaller down to `shrink` of its size before it is cut.
    void addValueText(const PacemarkWidget& widget, DrawingRect rect, DrawingFont font, DrawingColor color,
                      DrawingTextAlignment alignment, double shrink);
    void addValueText(const PacemarkWidget& widget, DrawingRect rect, DrawingFont font, DrawingColor color,
                      DrawingTextAlignment alignment = DrawingTextAlignment::left) {
        addValueText(widget, rect, font, color, alignment, sizes_.texts.valueShrink);
    }

    // Cards and the widgets every style shares.
    void addWidget(const PacemarkWidget& widget);
    void addPanel(const DrawingRect& r, DrawingColor accent, const PanelStyleRow& row);
    void addRoute(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent, bool cinematic);
    void addProgress(const DrawingRect& r, DrawingColor accent);

    // Metric routines (LayoutMetricSteps.cpp).
    void addMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addPillMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCoordinateMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addDialMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);

    // Cinematic routines (LayoutCinematicSteps.cpp).
    void addCinematicBackdrop();
    void addLinearGradient(DrawingRect clip, DrawingColor from, DrawingColor to, DrawingPoint start, DrawingPoint end);
    void addCinematicMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCinematicArc(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCinematicTimer(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCinematicGrade(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCinematicAltitudeSparkline(const DrawingRect& p, DrawingColor accent);
    void addCinematicProgress(const DrawingRect& r, DrawingColor accent);
};

}  // namespace pacemark
