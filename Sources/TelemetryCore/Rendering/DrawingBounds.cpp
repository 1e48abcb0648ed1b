// SPDX-License-Identifier: GPL-3.0-or-later
#include "DrawingBounds.h"

#include <algorithm>

namespace pacemark::bounds {

bool isEmpty(const DrawingRect& r) { return !(r.width > 0) || !(r.height > 0); }

DrawingRect unite(const DrawingRect& a, const DrawingRect& b) {
    if (isEmpty(a)) return b;
    if (isEmpty(b)) return a;
    const double x0 = std::min(a.minX(), b.minX());
    const double y0 = std::min(a.minY(), b.minY());
    return {x0, y0, std::max(a.maxX(), b.maxX()) - x0, std::max(a.maxY(), b.maxY()) - y0};
}

DrawingRect outset(const DrawingRect& r, double d) { return {r.x - d, r.y - d, r.width + 2 * d, r.height + 2 * d}; }

bool intersects(const DrawingRect& a, const DrawingRect& b) {
    if (isEmpty(a) || isEmpty(b)) return false;
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

DrawingRect ofPath(const DrawingPath& path) {
    DrawingRect bounds;
    bool first = true;
    auto add = [&](const DrawingRect& r) {
        bounds = first ? r : unite(bounds, r);
        first = false;
    };
    for (const auto& e : path.elements()) {
        switch (e.type) {
            case DrawingPath::ElementType::moveTo:
            case DrawingPath::ElementType::lineTo:
                // A zero-size rectangle still widens the union through its corner.
                if (first) {
                    bounds = {e.point.x, e.point.y, 0, 0};
                    first = false;
                } else {
                    const double x0 = std::min(bounds.minX(), e.point.x);
                    const double y0 = std::min(bounds.minY(), e.point.y);
                    bounds = {x0, y0, std::max(bounds.maxX(), e.point.x) - x0, std::max(bounds.maxY(), e.point.y) - y0};
                }
                break;
            case DrawingPath::ElementType::arc:
                add({e.point.x - e.radius, e.point.y - e.radius, 2 * e.radius, 2 * e.radius});
                break;
            case DrawingPath::ElementType::rect:
            case DrawingPath::ElementType::roundedRect:
            case DrawingPath::ElementType::ellipse:
                add(e.rect);
                break;
            case DrawingPath::ElementType::closeSubpath:
                break;
        }
    }
    return bounds;
}

DrawingRect ofFill(const DrawingRect& shape) { return outset(shape, antialiasMargin); }

DrawingRect ofStroke(const DrawingRect& shape, double lineWidth) { return outset(shape, lineWidth + antialiasMargin); }

DrawingRect ofShadow(const DrawingRect& shape, const DrawingShadow& shadow) {
    DrawingRect moved = shape;
    moved.x += shadow.offset.x;
    moved.y -= shadow.offset.y;  // a positive offset moves the shadow up the picture
    return unite(ofFill(shape), outset(moved, 1.5 * std::max(shadow.blur, 0.0) + 4 + antialiasMargin));
}

// The line box (about 1.21 × size for Inter) starts at the rectangle's top;
// glyphs may overhang it a little, and an ellipsis may be wider than a
// rectangle narrower than the font size.
DrawingRect ofText(const DrawingRect& rect, const DrawingFont& font) {
    const double size = font.size;
    const double pad = (rect.width >= size ? size * 0.15 : size) + antialiasMargin;
    const double top = size * 0.15 + antialiasMargin;
    return {rect.x - pad, rect.y - top, rect.width + 2 * pad, top + size * 1.4 + antialiasMargin};
}

// Value texts hold digits, ".", ":", "-", "%", "," and capital Latin letters
// only: nothing reaches below the baseline (about 0.97 × size under the top).
DrawingRect ofValueText(const DrawingRect& rect, const DrawingFont& font) {
    DrawingRect bounds = ofText(rect, font);
    bounds.height = rect.y + font.size * 1.06 + antialiasMargin - bounds.y;
    return bounds;
}

}  // namespace pacemark::bounds
