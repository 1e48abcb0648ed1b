// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>

namespace pacemark {

// Where a layout is drawn. The movie draws in output pixels and scales its
// corners, insets and minimum text sizes with the widget; the editor's preview
// draws the same routines in view points of a canvas a few times smaller, so
// its minimums are smaller and some corners and marks have fixed sizes.
enum class DrawingTarget : std::uint8_t { movie, preview };

// max(min(w × widthFraction, h × heightFraction), minimum): a text size or
// length that follows the smaller of the widget's proportions.
struct ProportionalSize {
    double widthFraction;
    double heightFraction;
    double minimum;

    double of(double w, double h) const { return std::max(std::min(w * widthFraction, h * heightFraction), minimum); }
};

// max(min(length × fraction, maximum), minimum); fraction 0 gives a fixed size.
struct ClampedSize {
    double fraction;
    double maximum;
    double minimum;

    double of(double length) const { return std::max(std::min(length * fraction, maximum), minimum); }
};

// max(side × fraction, minimum), the side being the widget's width or height.
struct SideInset {
    enum class Side : std::uint8_t { width, height };
    Side side;
    double fraction;
    double minimum;

    double of(double w, double h) const { return std::max((side == Side::width ? w : h) * fraction, minimum); }
};

// Every number of the widget routines that differs between the movie and
// the preview, in one place per target. Shrink factors are the smallest
// share of its size a line may be drawn at before it is cut (1: never shrinks).
struct WidgetSizeRules {
    struct Texts {
        double titleShrink;
        double valueShrink;
        double unitShrink;
        double unitAlpha;  // the accent's opacity for units
    } texts;

    struct Stacked {
        ProportionalSize label;  // also the unit's size
        ProportionalSize value;
        SideInset insetX;
        SideInset insetY;
        // The value's capitals are kept between the title's baseline and the
        // unit's capitals, drawn smaller (down to the value's shrink) where the
        // widget is too low for all three lines; else centred in the widget.
        bool valueBetweenLabels;
    } stacked;

    struct Pill {
        ProportionalSize label;
        ProportionalSize value;
        double gapMinimum;
        SideInset insetX;
        SideInset insetY;
    } pill;

    struct Coordinates {
        ProportionalSize label;
        ProportionalSize value;
        double valueShrink;
        SideInset insetX;
        SideInset insetY;
    } coordinates;

    struct Dial {
        ClampedSize label;     // of the disc's diameter
        ClampedSize value;
        ClampedSize unit;
        ClampedSize ring;
        double textInsetX;     // of the disc's diameter, each side
    } dial;

    // The clean style's accent underline at the widget's bottom left.
    struct Underline {
        ClampedSize thickness;          // of the height
        // min(max(h × lengthOfHeight, lengthMinimum), w × lengthOfWidth)
        double lengthOfHeight;
        double lengthMinimum;
        double lengthOfWidth;
        SideInset insetLeft;
        double lift;                    // above the bottom edge
    } underline;

    // The broadcast style's strip along the top.
    struct Strip {
        ClampedSize thickness;  // of the height
        double insetX;
        double insetTop;
    } strip;

    struct Route {
        double lineAlpha;
        ClampedSize line;           // of the height
        ClampedSize cinematicLine;
        ClampedSize dot;            // radius
        // "НЕТ GPS" without a track: size of the height, opacity, inset.
        ClampedSize noGPSText;
        double noGPSAlpha;
        double noGPSInset;
        ClampedSize cinematicNoGPSText;
        double cinematicNoGPSAlpha;
        double cinematicNoGPSInset;
        bool noGPSCentredVertically;  // else at the top of the inset rectangle
    } route;

    struct Cinematic {
        double labelMinimum;
        double valueMinimum;
        double unitMinimum;
        double valueShrink;
        // false: the movie's arc around a centre near the widget's right edge;
        // true: the preview's arc drawn inside the room reserved for it.
        bool arcInItsRoom;
        double gradeValueMinimum;
        double gradeUnitMinimum;
        double sparklineHighlightMinimum;
        double sparklineLineMinimum;
        double sparklineDot;  // diameter
    } cinematic;
};

const WidgetSizeRules& widgetSizeRules(DrawingTarget target);

}  // namespace pacemark
