// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DrawingSurface.h"
#include "Layout/PacemarkWidget.h"
#include "WidgetSizeTable.h"

namespace pacemark {

// Which routine lays out a metric widget's title, value and unit.
enum class PanelMetricLayout : std::uint8_t {
    standard,   // title at the top, value in the middle, unit at the bottom, over the panel
    pill,       // dot, title, value and unit in one row, over the panel
    dial,       // a round gauge that draws its own disc instead of the panel
    cinematic,  // no panel: marks, rules and arcs over the shared backdrop
};

// How a panel's corner radius follows its rectangle.
struct PanelCornerRule {
    enum class Shape : std::uint8_t {
        square,
        heightFraction,  // height × fraction, kept within minimum...maximum
        halfHeight,
        halfShortSide,
        circle,  // not a rounded rectangle: the circle of the shorter side, centred
    };
    Shape shape = Shape::square;
    double fraction = 0;
    double minimum = 0;
    double maximum = 0;

    double radius(const DrawingRect& r) const;
    // The card's outline in `r`; `inset` moves it in on every side (its radius with it).
    DrawingPath path(const DrawingRect& r, double inset = 0) const;
};

// An inset of a rectangle: each side moves in by side × fraction but at least
// by `minimum` (fraction 0: exactly `minimum`).
struct PanelInset {
    double xFraction = 0;
    double xMinimum = 0;
    double yFraction = 0;
    double yMinimum = 0;

    DrawingRect apply(const DrawingRect& r) const;
};

// An accent bar drawn with the panel.
enum class PanelAccentBar : std::uint8_t { none, top, bottom };

// Everything one panel style decides, in one row: the card behind a widget
// (radius, black fill, border, shadow, accent bar), the metric routine, and
// where the route map sits inside the widget. Alphas are 0...1; colours are
// black for the fill and shadow, white or the widget's accent for the border.
struct PanelStyleRow {
    TelemetryWidgetPanelStyle style;
    PanelMetricLayout metric;
    bool hasCard;  // fill, border and shadow are drawn
    PanelCornerRule corner;
    double fillAlpha;
    bool accentBorder;  // the border takes the widget's accent, else white
    double borderAlpha;
    double borderWidth;
    double shadowAlpha;
    double shadowBlur;
    double shadowShift;  // upwards, in pixels (see DrawingShadow)
    PanelAccentBar accentBar;
    PanelInset routeInset;

    DrawingColor fill() const { return DrawingColor::black().withAlpha(fillAlpha); }
    DrawingColor border(DrawingColor accent) const {
        return (accentBorder ? accent : DrawingColor::white()).withAlpha(borderAlpha);
    }
    DrawingShadow shadow() const { return {{0, shadowShift}, shadowBlur, DrawingColor::black().withAlpha(shadowAlpha)}; }
};

// The row of `style` for `target`. Every style has one in each table, in the
// order of the style's values. The preview's rows keep the movie's colours but
// have fixed corner radii, shadows that fall downwards, a circular dial card
// and route maps 12 points inside the widget (4 for the cinematic style).
const PanelStyleRow& panelStyleRow(TelemetryWidgetPanelStyle style, DrawingTarget target = DrawingTarget::movie);

}  // namespace pacemark
