// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "DrawingGeometry.h"
#include "Layout/PacemarkWidget.h"

namespace pacemark {

// Where a layout lands on a picture, and at what scale it is drawn.
//
// A layout is arranged on a picture of its aspect (PacemarkLayoutAspect),
// and its drawing numbers (text sizes, insets, strokes, radii, shadows) are
// those of that picture at 1080 pixels on its short side: 1920 × 1080 for
// the 16:9 presets. On a picture of any size and shape the layout keeps
// that arrangement: its area is the largest rectangle of the layout's aspect
// inside the picture, centred across it and resting on its bottom edge, and
// everything is drawn scaled by one factor, the area's short side over 1080.
// So a 1280 × 720 frame is the 1920 × 1080 frame at two thirds, and a
// 16:9 layout on a 1080 × 1920 portrait picture fills its width at the bottom.
//
// Routines draw in layout units (the area is (0, 0, designWidth, designHeight)
// there); toPicture maps a point of those units to the picture's pixels.
// Plain value.
struct LayoutCanvas {
    // The layout's short side in layout units.
    static constexpr double designShortSide = 1080;

    std::int64_t pictureWidth = 0;
    std::int64_t pictureHeight = 0;
    // The layout's area in picture pixels.
    DrawingRect area;
    // Picture pixels per layout unit.
    double scale = 1;
    double designWidth = 0;
    double designHeight = 0;

    // The fit described above; a degenerate picture or aspect gives scale 1
    // over the whole picture.
    static LayoutCanvas fit(PacemarkLayoutAspect aspect, std::int64_t width, std::int64_t height);
    // The area alone, for a picture given as a rectangle of any unit (the
    // editor's canvas in view points): the same rule as fit.
    static DrawingRect fitArea(PacemarkLayoutAspect aspect, DrawingRect picture);
    // The whole picture at scale 1: what the editor's preview draws on.
    static LayoutCanvas unscaled(std::int64_t width, std::int64_t height);

    // True when layout units are picture pixels (scale 1, area at the origin):
    // drawing needs no mapping.
    bool isIdentity() const;
    // The whole picture in layout units (the cinematic backdrop spans it).
    DrawingRect designPicture() const;
    DrawingPoint toPicture(DrawingPoint designPoint) const;
    DrawingRect toPicture(DrawingRect designRect) const;
    // A point of the picture in the layout's normalized coordinates (0...1
    // inside the area; outside it below 0 or above 1).
    DrawingPoint normalized(DrawingPoint picturePoint) const;
    // A widget's rectangle in picture pixels: its clamped frame over the area.
    DrawingRect widgetRect(const PacemarkWidget& widget) const { return frameIn(widget, area); }
    // The widget's clamped frame scaled over `area` and moved to its corner, unrounded.
    static DrawingRect frameIn(const PacemarkWidget& widget, DrawingRect area);

    bool operator==(const LayoutCanvas&) const = default;
};

}  // namespace pacemark
