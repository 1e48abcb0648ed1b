// SPDX-License-Identifier: GPL-3.0-or-later
// The metric routines of the carded styles: standard, pill, coordinates, dial.
#include <algorithm>

#include "DrawingBounds.h"
#include "LayoutStepBuilder.h"
#include "OverlayPainting.h"
#include "PanelStyleTable.h"

namespace pacemark {

using namespace painting;
using Kind = TelemetryWidgetKind;

void LayoutStepBuilder::addMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent) {
    const double w = r.width, h = r.height;
    const WidgetSizeRules::Stacked& sizes = sizes_.stacked;
    const WidgetSizeRules::Texts& texts = sizes_.texts;
    const double ls = sizes.label.of(w, h);
    double vs = sizes.value.of(w, h);
    DrawingRect i = r.insetBy(sizes.insetX.of(w, h), sizes.insetY.of(w, h));
    bool hasUnit = !widget.kind.unit().empty();
    bool hasTitle = true;
    double valueTop = i.midY() - vs * 0.52;
    if (sizes.valueBetweenLabels) {
        // The value's capitals need a readable height (its smallest size, and
        // no smaller than the title) between the title's baseline and the
        // unit's capitals. A widget too low for that (the minimum text sizes
        // of a small canvas) leaves out the unit, then narrows its margins
        // above and below to the gap, then leaves out the title, so that the
        // value is never drawn over them or lost; with neither, the value
        // fills the inset rectangle however small it is.
        const double gap = std::max(ls * 0.2, 2.0);
        const double titleDescent = ls * 0.22;  // Д, Щ and Ц reach below the baseline
        const double capHeight = kBaselineBelowTop - kCapTopBelowTop;
        const double readable = std::max(vs * texts.valueShrink, ls) * capHeight;
        const auto inkTop = [&] {
            return hasTitle ? i.minY() + ls * kBaselineBelowTop + titleDescent + gap : i.minY();
        };
        const auto inkBottom = [&] { return hasUnit ? i.maxY() - ls * 1.25 + ls * kCapTopBelowTop - gap : i.maxY(); };
        const auto room = [&] { return inkBottom() - inkTop(); };
        if (hasUnit && room() < readable) hasUnit = false;
        if (room() < readable) i = r.insetBy(sizes.insetX.of(w, h), std::min(sizes.insetY.of(w, h), gap));
        if (room() < readable) hasTitle = false;
        vs = std::min(vs, room() / capHeight);
        valueTop = (inkTop() + inkBottom()) / 2 - vs * (kCapTopBelowTop + kBaselineBelowTop) / 2;
    }
    if (hasTitle) {
        addStaticText(widget.displayTitle(), {i.minX(), i.minY(), i.width, ls * 1.25},
                      shrinking(semibold(ls), texts.titleShrink), DrawingColor::fromHex(widget.labelColorHex));
    }
    addValueText(widget, {i.minX(), valueTop, i.width, vs * 1.15}, digitsBold(vs),
                 DrawingColor::fromHex(widget.valueColorHex));
    if (hasUnit) {
        addStaticText(std::string(widget.kind.unit()), {i.minX(), i.maxY() - ls * 1.25, i.width, ls * 1.25},
                      shrinking(semibold(ls), texts.unitShrink), accent.withAlpha(texts.unitAlpha));
    }
}

void LayoutStepBuilder::addPillMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent) {
    const double w = r.width, h = r.height;
    const WidgetSizeRules::Pill& sizes = sizes_.pill;
    const WidgetSizeRules::Texts& texts = sizes_.texts;
    const DrawingRect i = r.insetBy(sizes.insetX.of(w, h), sizes.insetY.of(w, h));
    const double d = std::max(std::min(h * 0.16, 9.0), 5.0);
    const double ls = sizes.label.of(w, h);
    const double vs = sizes.value.of(w, h);
    const double us = std::max(std::min(w * 0.06, h * 0.17), 8.0);
    const double tw = std::min(w * 0.36, std::max(w * 0.27, 34.0));
    const double g = std::max(w * 0.025, sizes.gapMinimum);
    // A widget too narrow for the value's smallest column beside the unit
    // leaves the unit out rather than draw the value over it.
    constexpr double valueMinimumWidth = 24;
    const double valueLeft = i.minX() + d + g + tw + g;
    std::string_view unit = widget.kind.unit();
    double uw = unit.empty() ? 0.0 : std::min(w * 0.24, std::max(w * 0.16, 24.0));
    if (uw > 0 && i.maxX() - valueLeft - uw - g < valueMinimumWidth) {
        unit = {};
        uw = 0;
    }

    const DrawingRect dot{i.minX(), r.midY() - d / 2, d, d};
    addStatic(bounds::ofFill(dot), [dot, accent](DrawingSurface& s) { fillCircle(s, dot, accent); });
    const DrawingRect title{i.minX() + d + g, i.minY(), tw, i.height};
    addStaticText(widget.displayTitle(), title, shrinking(semibold(ls), texts.titleShrink),
                  DrawingColor::fromHex(widget.labelColorHex));
    const double x = title.maxX() + g;
    const double valueWidth = std::max(i.maxX() - x - uw - (uw > 0 ? g : 0.0), valueMinimumWidth);
    addValueText(widget, {x, i.minY(), valueWidth, i.height}, digitsBold(vs),
                 DrawingColor::fromHex(widget.valueColorHex), DrawingTextAlignment::right);
    if (!unit.empty()) {
        addStaticText(std::string(unit), {i.maxX() - uw, i.minY(), uw, i.height},
                      shrinking(semibold(us), texts.unitShrink), accent.withAlpha(texts.unitAlpha),
                      DrawingTextAlignment::right);
    }
}

void LayoutStepBuilder::addCoordinateMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent) {
    const double w = r.width, h = r.height;
    const WidgetSizeRules::Coordinates& sizes = sizes_.coordinates;
    const double ls = sizes.label.of(w, h);
    const double vs = sizes.value.of(w, h);
    const double lh = vs * 1.24;
    const DrawingRect i = r.insetBy(sizes.insetX.of(w, h), sizes.insetY.of(w, h));
    // The preview keeps the texts inside the panel's shape (a dial's circle,
    // a pill's capsule); the movie draws them as they are.
    if (target_ == DrawingTarget::preview) textClip_ = panelStyleRow(widget.panelStyle, target_).corner.path(r);
    addStaticText(widget.displayTitle(), {i.minX(), i.minY(), i.width, ls * 1.25},
                  shrinking(semibold(ls), sizes_.texts.titleShrink), DrawingColor::fromHex(widget.labelColorHex));
    const DrawingRect latitude{i.minX(), i.midY() - lh * 0.36, i.width, lh};
    const DrawingRect longitude{i.minX(), i.midY() - lh * 0.36 + lh, i.width, lh};
    const Kind kind = widget.kind;
    const DrawingFont valueFont = shrinking(digitsSemibold(vs), sizes.valueShrink);
    addText(false, [kind](const TelemetrySample& sample) { return kind.coordinateLines(sample).latitude; }, latitude,
            valueFont, DrawingColor::fromHex(widget.valueColorHex), DrawingTextAlignment::left, true);
    addText(false, [kind](const TelemetrySample& sample) { return kind.coordinateLines(sample).longitude; },
            longitude, valueFont, accent.withAlpha(sizes_.texts.unitAlpha), DrawingTextAlignment::left, true);
    textClip_.reset();
}

void LayoutStepBuilder::addDialMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent) {
    const double s = std::min(r.width, r.height) * 0.94;
    const DrawingRect disc{r.midX() - s / 2, r.midY() - s / 2, s, s};
    const DrawingPoint c{disc.midX(), disc.midY()};
    // The disc is the dial style's card: its fill and shadow come from the table.
    const PanelStyleRow& card = panelStyleRow(TelemetryWidgetPanelStyle::dial, target_);
    const WidgetSizeRules::Dial& sizes = sizes_.dial;
    const WidgetSizeRules::Texts& texts = sizes_.texts;
    const DrawingShadow shadow = card.shadow();
    const DrawingColor discFill = card.fill();
    const double ringWidth = sizes.ring.of(s);
    const double a = std::max(s / 2 - 10, 8.0) - std::max(s * 0.035, 5.0);
    const double arcWidth = std::max(s * 0.045, 5.0);
    addStatic(bounds::ofShadow(disc, shadow), [=](DrawingSurface& g) {
        g.saveState();
        g.setShadow(shadow);
        fillCircle(g, disc, discFill);
        g.restoreState();
        g.setStrokeColor(white.withAlpha(0.16));
        g.setLineWidth(ringWidth);
        g.strokeEllipse(disc.insetBy(1, 1));
        stroke(g, arcPath(c, a, radians(135), radians(405)), white.withAlpha(0.18), arcWidth, DrawingLineCap::round);
    });
    const TelemetryActivity* ride = &activity_;
    const Kind kind = widget.kind;
    addDynamic(bounds::ofStroke({c.x - a, c.y - a, 2 * a, 2 * a}, arcWidth),
               [=](DrawingSurface& g, const TelemetrySample& sample) {
                   const double p = kind.gaugeProgress(sample, *ride);
                   if (p > 0) {
                       stroke(g, arcPath(c, a, radians(135), radians(135) + p * radians(270)), accent.withAlpha(0.95),
                              arcWidth, DrawingLineCap::round);
                   }
               });
    const DrawingRect t = disc.insetBy(s * sizes.textInsetX, s * 0.2);
    const double ls = sizes.label.of(s);
    const double vs = sizes.value.of(s);
    const double us = sizes.unit.of(s);
    addStaticText(widget.displayTitle(), {t.minX(), t.minY(), t.width, ls * 1.3},
                  shrinking(semibold(ls), texts.titleShrink), DrawingColor::fromHex(widget.labelColorHex),
                  DrawingTextAlignment::center);
    addValueText(widget, {t.minX(), c.y - vs * 0.58, t.width, vs * 1.18}, digitsBold(vs),
                 DrawingColor::fromHex(widget.valueColorHex), DrawingTextAlignment::center);
    if (!kind.unit().empty()) {
        addStaticText(std::string(kind.unit()), {t.minX(), t.maxY() - us * 1.35, t.width, us * 1.3},
                      shrinking(semibold(us), texts.unitShrink), accent.withAlpha(texts.unitAlpha),
                      DrawingTextAlignment::center);
    }
}

}  // namespace pacemark
