// SPDX-License-Identifier: GPL-3.0-or-later
#include "LayoutStepBuilder.h"

#include <algorithm>

#include "DrawingBounds.h"
#include "LayoutFrameRenderer.h"
#include "OverlayPainting.h"
#include "PanelStyleTable.h"

namespace pacemark {

using namespace painting;
using Kind = TelemetryWidgetKind;
using Style = TelemetryWidgetPanelStyle;

LayoutStepBuilder::LayoutStepBuilder(const TelemetryActivity& activity, const LayoutCanvas& canvas,
                                     const std::map<UUID, LayoutRouteProjection>& routeProjections,
                                     DrawingTarget target)
    : activity_(activity),
      width_(canvas.designWidth),
      height_(canvas.designHeight),
      picture_(canvas.designPicture()),
      unitsPerPixel_(canvas.scale > 0 ? 1 / canvas.scale : 1),
      routeProjections_(routeProjections),
      target_(target),
      sizes_(widgetSizeRules(target)) {}

LayoutStepBuilder::LayoutStepBuilder(const TelemetryActivity& activity, std::int64_t width, std::int64_t height,
                                     const std::map<UUID, LayoutRouteProjection>& routeProjections,
                                     DrawingTarget target)
    : LayoutStepBuilder(activity, LayoutCanvas::unscaled(width, height), routeProjections, target) {}

std::vector<RenderStep> LayoutStepBuilder::build(const PacemarkLayout& layout, bool drawsCinematicBackdrop) {
    steps_.clear();
    if (drawsCinematicBackdrop) addCinematicBackdrop();
    for (const PacemarkWidget& widget : layout.widgets) {
        if (widget.isVisible) addWidget(widget);
    }
    return std::move(steps_);
}

std::vector<RenderStep> LayoutStepBuilder::buildWidget(const PacemarkWidget& widget) {
    steps_.clear();
    addWidget(widget);
    return std::move(steps_);
}

std::vector<RenderStep> LayoutStepBuilder::buildCinematicBackdrop() {
    steps_.clear();
    addCinematicBackdrop();
    return std::move(steps_);
}

void LayoutStepBuilder::addStatic(DrawingRect bounds, std::function<void(DrawingSurface&)> draw) {
    steps_.push_back({true, bounds, [draw = std::move(draw)](DrawingSurface& s, const TelemetrySample&) { draw(s); }});
}

void LayoutStepBuilder::addDynamic(DrawingRect bounds,
                                   std::function<void(DrawingSurface&, const TelemetrySample&)> draw) {
    steps_.push_back({false, bounds, std::move(draw)});
}

void LayoutStepBuilder::addText(bool isStatic, std::function<std::string(const TelemetrySample&)> value,
                                DrawingRect rect, DrawingFont font, DrawingColor color,
                                DrawingTextAlignment alignment, bool isValue) {
    steps_.push_back({isStatic, isValue ? bounds::ofValueText(rect, font) : bounds::ofText(rect, font),
                     [value = std::move(value), rect, font, color, alignment,
                      clip = textClip_](DrawingSurface& s, const TelemetrySample& sample) {
                         if (!clip) {
                             s.drawText(value(sample), rect, font, color, alignment);
                             return;
                         }
                         s.saveState();
                         s.addPath(*clip);
                         s.clipToPath();
                         s.drawText(value(sample), rect, font, color, alignment);
                         s.restoreState();
                     }});
}

void LayoutStepBuilder::addStaticText(std::string string, DrawingRect rect, DrawingFont font,
                                      DrawingColor color, DrawingTextAlignment alignment) {
    addText(true, [string = std::move(string)](const TelemetrySample&) { return string; }, rect, font, color,
            alignment);
}

void LayoutStepBuilder::addValueText(const PacemarkWidget& widget, DrawingRect rect, DrawingFont font,
                                     DrawingColor color, DrawingTextAlignment alignment, double shrink) {
    const TelemetryActivity* ride = &activity_;
    const TelemetryWidgetKind kind = widget.kind;
    font.minimumScaleFactor = shrink;
    addText(false, [ride, kind](const TelemetrySample& sample) { return kind.formattedValue(sample, *ride); }, rect,
            font, color, alignment, true);
}

// Dispatch by kind, then by the style's metric routine.
void LayoutStepBuilder::addWidget(const PacemarkWidget& widget) {
    const DrawingRect r = LayoutCanvas::frameIn(widget, {0, 0, width_, height_});
    const DrawingColor accent = DrawingColor::fromHex(widget.accentHex);
    const PanelStyleRow& row = panelStyleRow(widget.panelStyle, target_);
    const bool cinematic = row.metric == PanelMetricLayout::cinematic;
    switch (widget.kind) {
        case Kind::progress:
            if (cinematic) {
                addCinematicProgress(r, accent);
            } else {
                addProgress(r, accent);
            }
            return;
        case Kind::route:
            addPanel(r, accent, row);
            addRoute(widget, r, accent, cinematic);
            return;
        case Kind::gpsCoordinates:
            addPanel(r, accent, row);
            addCoordinateMetric(widget, r, accent);
            return;
        default:
            break;
    }
    switch (row.metric) {
        case PanelMetricLayout::cinematic: addCinematicMetric(widget, r, accent); break;
        case PanelMetricLayout::dial: addDialMetric(widget, r, accent); break;
        case PanelMetricLayout::pill:
            addPanel(r, accent, row);
            addPillMetric(widget, r, accent);
            break;
        case PanelMetricLayout::standard:
            addPanel(r, accent, row);
            addMetric(widget, r, accent);
            break;
    }
}

// The card behind a widget, as its style's row describes it.
void LayoutStepBuilder::addPanel(const DrawingRect& r, DrawingColor accent, const PanelStyleRow& row) {
    if (row.hasCard) {
        const DrawingPath card = row.corner.path(r);
        const DrawingPath outline = row.corner.path(r, 1);
        const DrawingColor fillColor = row.fill();
        const DrawingColor border = row.border(accent);
        const double borderWidth = row.borderWidth;
        const DrawingShadow shadow = row.shadow();
        const bool topBar = row.accentBar == PanelAccentBar::top;
        const WidgetSizeRules::Strip strip = sizes_.strip;
        addStatic(bounds::ofShadow(r, shadow), [=](DrawingSurface& s) {
            s.saveState();
            s.setShadow(shadow);
            fill(s, card, fillColor);
            s.restoreState();
            stroke(s, outline, border, borderWidth);
            if (topBar) {
                const double t = strip.thickness.of(r.height);
                const DrawingRect bar{r.minX() + strip.insetX, r.minY() + strip.insetTop, r.width - 2 * strip.insetX, t};
                fill(s, roundedRectPath(bar, t / 2), accent.withAlpha(0.88));
            }
        });
    } else if (row.accentBar == PanelAccentBar::bottom) {
        // Without a card, a short bar under the widget carries the accent.
        const double w = r.width, h = r.height;
        const WidgetSizeRules::Underline& line = sizes_.underline;
        const double t = line.thickness.of(h);
        const double length = std::min(std::max(h * line.lengthOfHeight, line.lengthMinimum), w * line.lengthOfWidth);
        const DrawingRect bar{r.minX() + line.insetLeft.of(w, h), r.maxY() - t - line.lift, length, t};
        addStatic(bounds::ofFill(bar), [bar, t, accent](DrawingSurface& s) {
            fill(s, roundedRectPath(bar, t / 2), accent.withAlpha(0.9));
        });
    }
}

void LayoutStepBuilder::addRoute(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent,
                                 bool cinematic) {
    const double h = r.height;
    const WidgetSizeRules::Route& sizes = sizes_.route;
    const auto found = routeProjections_.find(widget.id);
    if (found == routeProjections_.end()) {
        const double inset = cinematic ? sizes.cinematicNoGPSInset : sizes.noGPSInset;
        const double size = cinematic ? sizes.cinematicNoGPSText.of(h) : sizes.noGPSText.of(h);
        DrawingRect box = r.insetBy(inset, inset);
        // The capitals' middle lies about 0.6 of the size under the line's top.
        if (sizes.noGPSCentredVertically) box = {box.x, box.midY() - size * 0.6, box.width, size * 1.25};
        addStaticText("НЕТ GPS", box, semibold(size),
                      white.withAlpha(cinematic ? sizes.cinematicNoGPSAlpha : sizes.noGPSAlpha),
                      DrawingTextAlignment::center);
        return;
    }
    const LayoutRouteProjection* projection = &found->second;
    const double lineWidth = cinematic ? sizes.cinematicLine.of(h) : sizes.line.of(h);
    const DrawingColor lineColor = white.withAlpha(cinematic ? 0.82 : sizes.lineAlpha);
    addStatic(bounds::ofStroke(bounds::ofPath(projection->path()), lineWidth), [=](DrawingSurface& s) {
        stroke(s, projection->path(), lineColor, lineWidth, DrawingLineCap::round, DrawingLineJoin::round);
    });

    // The dot can only be where some sample was: bound it by all of them.
    DrawingRect reach;
    for (const TelemetrySample& sample : activity_.samples) {
        if (auto where = position(sample)) {
            const DrawingPoint p = projection->project(where->first, where->second);
            reach = bounds::unite(reach, {p.x - 0.5, p.y - 0.5, 1, 1});
        }
    }
    if (bounds::isEmpty(reach)) return;
    const double rho = cinematic ? std::max(std::min(h * 0.06, 8.0), 4.0) : sizes.dot.of(h);
    addDynamic(bounds::ofFill(bounds::outset(reach, rho + 2)), [=](DrawingSurface& s, const TelemetrySample& sample) {
        const auto where = position(sample);
        if (!where) return;
        const DrawingPoint p = projection->project(where->first, where->second);
        if (cinematic) {
            fillCircle(s, {p.x - rho - 2, p.y - rho - 2, 2 * rho + 4, 2 * rho + 4}, black.withAlpha(0.45));
        }
        fillCircle(s, {p.x - rho, p.y - rho, 2 * rho, 2 * rho}, accent);
    });
}

void LayoutStepBuilder::addProgress(const DrawingRect& r, DrawingColor accent) {
    const double h = r.height;
    addStatic(bounds::ofFill(r), [r, h](DrawingSurface& s) { fill(s, roundedRectPath(r, h / 2), white.withAlpha(0.2)); });
    const TelemetryActivity* ride = &activity_;
    addDynamic(bounds::ofFill(r), [=](DrawingSurface& s, const TelemetrySample& sample) {
        const double p = rideFraction(sample, *ride);
        if (p * r.width > 0) fill(s, roundedRectPath({r.minX(), r.minY(), p * r.width, h}, h / 2), accent);
    });
}

}  // namespace pacemark
