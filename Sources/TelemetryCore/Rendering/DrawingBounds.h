// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DrawingSurface.h"

// Conservative pixel bounds of the renderer's drawing steps. They decide which
// static steps may be drawn ahead into the cached layer, so each must cover
// every pixel a step can change (anti-aliasing, line caps, shadows, glyph
// overhang). Over-estimating only costs cache hits; under-estimating changes
// pixels.
namespace pacemark::bounds {

// Extra pixels around every shape for anti-aliasing.
constexpr double antialiasMargin = 2;

bool isEmpty(const DrawingRect& r);
// The smallest rectangle holding both; an empty one does not count.
DrawingRect unite(const DrawingRect& a, const DrawingRect& b);
DrawingRect outset(const DrawingRect& r, double d);
// True when two non-empty rectangles share pixels.
bool intersects(const DrawingRect& a, const DrawingRect& b);

// The rectangle of every point, arc and shape the path holds.
DrawingRect ofPath(const DrawingPath& path);
DrawingRect ofFill(const DrawingRect& shape);
DrawingRect ofStroke(const DrawingRect& shape, double lineWidth);
// A filled shape with its shadow.
DrawingRect ofShadow(const DrawingRect& shape, const DrawingShadow& shadow);
// One line of text drawn at the rectangle's top.
DrawingRect ofText(const DrawingRect& rect, const DrawingFont& font);
// A value text: nothing of it reaches below the baseline.
DrawingRect ofValueText(const DrawingRect& rect, const DrawingFont& font);

}  // namespace pacemark::bounds
