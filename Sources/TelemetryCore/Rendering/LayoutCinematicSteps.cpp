// SPDX-License-Identifier: GPL-3.0-or-later
// The cinematic style: no cards; a shared backdrop darkens the picture's
// edges and each widget is drawn as marks, rules and arcs over it.
#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

#include "DrawingBounds.h"
#include "LayoutFrameRenderer.h"
#include "LayoutStepBuilder.h"
#include "OverlayPainting.h"

namespace pacemark {

using namespace painting;
using Kind = TelemetryWidgetKind;

namespace {

// A generous width of one line of the overlay font: no capital of it is
// wider than 0.78 em on average over a word, so a rule placed after this
// never crosses the ink.
double estimatedLineWidth(std::string_view text, double size) {
    const auto codePoints = std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    return static_cast<double>(codePoints) * size * 0.78;
}

}  // namespace

// ---------------------------------------------------------------------------
// Cinematic style.

void LayoutStepBuilder::addLinearGradient(DrawingRect clip, DrawingColor from, DrawingColor to,
                                          DrawingPoint start, DrawingPoint end) {
    addStatic(bounds::ofFill(clip), [=](DrawingSurface& s) {
        s.saveState();
        s.clipToRect(clip);
        s.drawLinearGradient(from, to, start, end);
        s.restoreState();
    });
}

void LayoutStepBuilder::addCinematicBackdrop() {
    // Over the whole picture, whatever part of it the widgets' area covers.
    const double x = picture_.x, y = picture_.y, w = picture_.width, h = picture_.height;
    addLinearGradient({x, y, 0.42 * w, h}, black.withAlpha(0.76), black.withAlpha(0), {x, y + h / 2},
                      {x + 0.42 * w, y + h / 2});
    addLinearGradient({x + 0.62 * w, y, 0.38 * w, h}, black.withAlpha(0), black.withAlpha(0.58),
                      {x + 0.62 * w, y + h / 2}, {x + w, y + h / 2});
    addLinearGradient({x, y + 0.58 * h, w, 0.42 * h}, black.withAlpha(0), black.withAlpha(0.46),
                      {x + w / 2, y + 0.58 * h}, {x + w / 2, y + h});
}

void LayoutStepBuilder::addCinematicMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent) {
    if (widget.kind == Kind::elapsedTime) {
        addCinematicTimer(widget, r, accent);
        return;
    }
    if (widget.kind == Kind::gradient) {
        addCinematicGrade(widget, r, accent);
        return;
    }
    const double w = r.width, h = r.height;
    const WidgetSizeRules::Cinematic& sizes = sizes_.cinematic;
    const DrawingRect i = r.insetBy(std::max(w * 0.02, 4.0), std::max(h * 0.04, 2.0));
    const double ls = std::max(std::min(w * 0.075, h * 0.16), sizes.labelMinimum);
    const double mw = std::max(w * 0.08, 10.0);
    double vs = std::max(std::min(w * 0.31, h * 0.42), sizes.valueMinimum);
    const double us = std::max(std::min(w * 0.07, h * 0.14), sizes.unitMinimum);
    const bool hasArc = widget.kind.drawsCinematicArc();
    const double arcRoom = hasArc ? w * 0.24 : 0.0;
    const double tw = std::max(i.width - arcRoom, 20.0);

    addStaticText("//", {i.minX(), i.minY(), mw, ls * 1.3}, bold(ls), accent.withAlpha(0.95));
    const std::string title = widget.displayTitle();
    const DrawingRect titleRect{i.minX() + mw + 4, i.minY(), std::max(tw - mw - 4, 16.0), ls * 1.3};
    addStaticText(title, titleRect, shrinking(medium(ls), sizes_.texts.titleShrink),
                  DrawingColor::fromHex(widget.labelColorHex));
    // The rule runs from about the middle, but never through a long title:
    // it starts a gap after the title's ink and is left out when no room is left.
    const double titleEnd = titleRect.minX() + std::min(estimatedLineWidth(title, ls), titleRect.width);
    const DrawingPoint ruleStart{std::max(i.minX() + tw * 0.47, titleEnd + ls * 0.5), i.minY() + ls * 0.58};
    const DrawingPoint ruleEnd{i.minX() + tw, ruleStart.y};
    if (ruleEnd.x - ruleStart.x >= ls) {
        addStatic(bounds::ofStroke({ruleStart.x, ruleStart.y, ruleEnd.x - ruleStart.x, 0}, 1), [=](DrawingSurface& s) {
            stroke(s, linePath(ruleStart, ruleEnd), white.withAlpha(0.2), 1);
        });
    }
    const double vy = i.minY() + ls * 1.45;
    // The preview's minimum sizes can outgrow a low widget: there the value is
    // drawn smaller (down to its shrink) to keep its digits inside the widget,
    // and the unit is left out when it would fall below the widget's edge.
    const bool fitted = target_ == DrawingTarget::preview;
    if (fitted) vs = std::min(vs, std::max((r.maxY() - 1 - vy) / kBaselineBelowTop, vs * sizes.valueShrink));
    addValueText(widget, {i.minX() + 8, vy, tw - 8, vs * 1.12}, digitsHeavy(vs),
                 DrawingColor::fromHex(widget.valueColorHex), DrawingTextAlignment::left, sizes.valueShrink);
    // The unit's capitals start a small gap under the value's baseline.
    const double unitTop = vy + vs * kBaselineBelowTop + std::max(us * 0.3, 4.0) - us * kCapTopBelowTop;
    const bool unitFits = !fitted || unitTop + us * kBaselineBelowTop <= r.maxY();
    if (!widget.kind.unit().empty() && unitFits) {
        addStaticText(std::string(widget.kind.unit()), {i.minX() + 8, unitTop, tw - 8, us * 1.35},
                      shrinking(medium(us), sizes_.texts.unitShrink), white.withAlpha(0.82));
    }
    if (hasArc) {
        if (sizes.arcInItsRoom) {
            addCinematicArc(widget, {r.maxX() - arcRoom, r.minY(), arcRoom, h}, accent);
        } else {
            addCinematicArc(widget, r, accent);
        }
    }
}

void LayoutStepBuilder::addCinematicArc(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent) {
    const double w = r.width, h = r.height;
    // The movie's arc is centred near the widget's right edge and reaches past
    // it; the preview's sits inside the room the metric leaves for it.
    const bool inRoom = sizes_.cinematic.arcInItsRoom;
    const double rho = inRoom ? std::min(w * 0.42, h * 0.46) : std::min(w * 0.31, h * 0.5);
    const DrawingPoint c = inRoom ? DrawingPoint{r.minX() + w * 0.6, r.minY() + h * 0.52}
                                  : DrawingPoint{r.maxX() - rho * 0.38, r.midY() + h * 0.04};
    const double lineWidth = inRoom ? std::max(h * 0.05, 3.5) : std::max(h * 0.045, 4.0);
    const double progressAlpha = inRoom ? 1.0 : 0.98;
    const double sweep = radians(74);
    const DrawingRect circle = bounds::ofStroke({c.x - rho, c.y - rho, 2 * rho, 2 * rho}, lineWidth);
    addStatic(circle, [=](DrawingSurface& s) {
        stroke(s, arcPath(c, rho, -sweep, sweep), white.withAlpha(0.18), lineWidth, DrawingLineCap::butt);
    });
    const TelemetryActivity* ride = &activity_;
    const Kind kind = widget.kind;
    addDynamic(circle, [=](DrawingSurface& s, const TelemetrySample& sample) {
        const double q = clamp01(kind.gaugeProgress(sample, *ride));
        if (q > 0) {
            stroke(s, arcPath(c, rho, -sweep, -sweep + q * 2 * sweep), accent.withAlpha(progressAlpha), lineWidth,
                   DrawingLineCap::butt);
        }
    });
}

void LayoutStepBuilder::addCinematicTimer(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent) {
    const double s = std::min(r.width, r.height) * 0.92;
    const DrawingRect square{r.midX() - s / 2, r.midY() - s / 2, s, s};
    const DrawingPoint c{square.midX(), square.midY()};
    const double lw = std::max(s * 0.045, 5.0);
    const double ringRadius = s / 2 - std::max(s * 0.055, 5.0);
    const DrawingRect ringBounds =
        bounds::ofStroke({c.x - ringRadius, c.y - ringRadius, 2 * ringRadius, 2 * ringRadius}, lw);
    addStatic(bounds::unite(bounds::ofFill(square), ringBounds), [=](DrawingSurface& g) {
        fillCircle(g, square.insetBy(lw / 2, lw / 2), black.withAlpha(0.16));
        stroke(g, arcPath(c, ringRadius, radians(118), radians(422)), white.withAlpha(0.22), lw, DrawingLineCap::butt);
    });
    const TelemetryActivity* ride = &activity_;
    addDynamic(ringBounds, [=](DrawingSurface& g, const TelemetrySample& sample) {
        const double duration = ride->durationSeconds();
        const double f = duration > 0 ? sample.elapsed / duration : 0.0;
        double end = 118;
        if (f > 1) {
            end = 422;
        } else if (f > 0) {
            end = 118 + f * 304;
        }
        stroke(g, arcPath(c, ringRadius, radians(118), radians(end)), accent.withAlpha(0.98), lw,
               DrawingLineCap::butt);
    });
    const double vs = std::max(std::min(s * 0.21, 32.0), 10.0);
    const double ls = std::max(std::min(s * 0.095, 14.0), 7.0);
    addValueText(widget, {square.minX() + s * 0.13, c.y - vs * 0.58, s * 0.74, vs * 1.18}, digitsHeavy(vs),
                 DrawingColor::fromHex(widget.valueColorHex), DrawingTextAlignment::center);
    addStaticText(widget.displayTitle(), {square.minX() + s * 0.18, c.y + vs * 0.45, s * 0.64, ls * 1.35},
                  shrinking(medium(ls), sizes_.texts.titleShrink), DrawingColor::fromHex(widget.labelColorHex),
                  DrawingTextAlignment::center);
}

void LayoutStepBuilder::addCinematicGrade(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent) {
    const double w = r.width, h = r.height;
    const DrawingRect i = r.insetBy(std::max(w * 0.04, 6.0), std::max(h * 0.06, 2.0));
    const double ls = std::max(std::min(w * 0.07, h * 0.16), 9.0);
    const double vs = std::max(std::min(w * 0.25, h * 0.4), sizes_.cinematic.gradeValueMinimum);
    const double us = std::max(std::min(w * 0.07, h * 0.17), sizes_.cinematic.gradeUnitMinimum);
    const double mw = std::max(w * 0.08, 10.0);

    // The rule runs across the top, a gap above the capitals of the title line;
    // on a small picture the gap keeps 3.5 pixels, clear of the capitals' antialiasing.
    const double titleTop = i.minY() + ls * 0.35;
    const double ruleY = titleTop + ls * kCapTopBelowTop - std::max({ls * 0.25, 2.5, 3.5 * unitsPerPixel_});
    addStatic(bounds::ofStroke({i.minX(), ruleY, i.width, 0}, 1), [=](DrawingSurface& s) {
        stroke(s, linePath({i.minX(), ruleY}, {i.maxX(), ruleY}), white.withAlpha(0.26), 1);
    });
    addStaticText("//", {i.minX(), titleTop, mw, ls * 1.4}, bold(ls), accent.withAlpha(0.95));
    addStaticText(widget.displayTitle(), {i.minX() + mw + 4, titleTop, i.width * 0.5, ls * 1.4},
                  shrinking(medium(ls), sizes_.texts.titleShrink), DrawingColor::fromHex(widget.labelColorHex));
    // The value shrinks to end a gap before the unit, which starts at 0.38 of the width.
    const double valueWidth = i.width * 0.38 - std::max(us * 0.25, 2.0);
    addValueText(widget, {i.minX(), i.minY() + ls * 1.85, valueWidth, vs * 1.16}, digitsHeavy(vs),
                 DrawingColor::fromHex(widget.valueColorHex));
    addStaticText(std::string(widget.kind.unit()),
                  {i.minX() + i.width * 0.38, i.minY() + ls * 2.15 + vs * 0.12, i.width * 0.12, us * 1.35},
                  shrinking(medium(us), sizes_.texts.unitShrink), white.withAlpha(0.82));
    addCinematicAltitudeSparkline(
        {i.minX() + i.width * 0.5, i.minY() + ls * 1.85, i.width * 0.48, std::max(i.height - ls * 2.05, 18.0)}, accent);
}

void LayoutStepBuilder::addCinematicAltitudeSparkline(const DrawingRect& p, DrawingColor accent) {
    const std::vector<DrawingPoint> points = LayoutFrameRenderer::altitudeSparklinePoints(activity_, p);
    if (points.size() < 2) return;
    DrawingPath line;
    line.moveTo(points.front());
    for (std::size_t k = 1; k < points.size(); ++k) line.lineTo(points[k]);
    const WidgetSizeRules::Cinematic& sizes = sizes_.cinematic;
    const double lineWidth = std::max(p.height * 0.06, sizes.sparklineLineMinimum);
    addStatic(bounds::ofStroke(bounds::ofPath(line), lineWidth), [=](DrawingSurface& s) {
        stroke(s, line, white.withAlpha(0.82), lineWidth, DrawingLineCap::round, DrawingLineJoin::round);
    });

    const TelemetryActivity* ride = &activity_;
    const double bw = std::max(p.width * 0.16, sizes.sparklineHighlightMinimum);
    const double lowestX = std::min(p.minX(), p.maxX() - bw);
    const DrawingRect highlightReach{lowestX, p.minY() + p.height * 0.18, std::max(p.maxX(), lowestX + bw) - lowestX,
                                     p.height * 0.76};
    addDynamic(bounds::ofFill(highlightReach), [=](DrawingSurface& s, const TelemetrySample& sample) {
        const double c = p.minX() + rideFraction(sample, *ride) * p.width;
        const double x = std::min(std::max(p.minX(), c - bw * 0.22), p.maxX() - bw);
        fill(s, [&] {
            DrawingPath path;
            path.addRect({x, p.minY() + p.height * 0.18, bw, p.height * 0.76});
            return path;
        }(), accent.withAlpha(0.28));
    });
    const double dot = sizes.sparklineDot;
    const DrawingRect dotReach = bounds::ofFill(bounds::outset(bounds::ofPath(line), dot / 2));
    addDynamic(dotReach, [=](DrawingSurface& s, const TelemetrySample& sample) {
        const double c = p.minX() + rideFraction(sample, *ride) * p.width;
        const DrawingPoint* nearest = &points.front();
        for (const DrawingPoint& point : points) {
            if (std::abs(point.x - c) < std::abs(nearest->x - c)) nearest = &point;
        }
        fillCircle(s, {nearest->x - dot / 2, nearest->y - dot / 2, dot, dot}, accent);
    });
}

void LayoutStepBuilder::addCinematicProgress(const DrawingRect& r, DrawingColor accent) {
    const double w = r.width, h = r.height;
    const double y0 = r.midY() + h * 0.06;
    const double m = std::max(w * 0.006, 3.0);
    const double x0 = r.minX() + m;
    const double x1 = r.maxX() - m;
    const double length = x1 - x0;
    const double baseWidth = std::max(h * 0.045, 1.0);
    addStatic(bounds::ofStroke({x0, y0 - h * 0.21, length, h * 0.42}, baseWidth), [=](DrawingSurface& s) {
        stroke(s, linePath({x0, y0}, {x1, y0}), white.withAlpha(0.28), baseWidth);
        for (int k = 0; k <= 60; ++k) {
            const double x = x0 + length * k / 60;
            const bool major = k % 5 == 0;
            const double half = (major ? h * 0.42 : h * 0.24) / 2;
            stroke(s, linePath({x, y0 - half}, {x, y0 + half}), white.withAlpha(major ? 0.42 : 0.24),
                   major ? 1.1 : 0.8);
        }
    });
    const TelemetryActivity* ride = &activity_;
    const double progressWidth = std::max(h * 0.05, 1.5);
    const double t = std::max(h * 0.25, 7.0);
    addDynamic(bounds::unite(bounds::ofStroke({x0, y0, length, 0}, progressWidth),
                     bounds::ofFill({x0 - 0.43 * t, y0 - 1.55 * t, length + 0.86 * t, 0.75 * t})),
               [=](DrawingSurface& s, const TelemetrySample& sample) {
                   const double p = rideFraction(sample, *ride);
                   const double xp = x0 + p * length;
                   stroke(s, linePath({x0, y0}, {xp, y0}), accent.withAlpha(0.98), progressWidth);
                   DrawingPath marker;
                   marker.moveTo({xp, y0 - 0.8 * t});
                   marker.lineTo({xp - 0.43 * t, y0 - 1.55 * t});
                   marker.lineTo({xp + 0.43 * t, y0 - 1.55 * t});
                   marker.closeSubpath();
                   fill(s, marker, accent.withAlpha(0.98));
               });
    addStatic(bounds::ofStroke({x0, r.maxY() - 1, length, 0}, 1), [=](DrawingSurface& s) {
        stroke(s, linePath({x0, r.maxY() - 1}, {x1, r.maxY() - 1}), white.withAlpha(0.16), 1);
    });
}

}  // namespace pacemark
