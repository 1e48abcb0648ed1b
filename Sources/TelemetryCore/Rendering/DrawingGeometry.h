// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

namespace pacemark {

// Picture coordinates: pixels, origin top-left, y downward, no rounding.
struct DrawingPoint {
    double x = 0;
    double y = 0;
    bool operator==(const DrawingPoint&) const = default;
};

struct DrawingRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    // Moves each vertical edge in by dx and each horizontal edge in by dy.
    DrawingRect insetBy(double dx, double dy) const { return {x + dx, y + dy, width - 2 * dx, height - 2 * dy}; }

    bool operator==(const DrawingRect&) const = default;
};

// The core's path: a list of drawing elements that a DrawingSurface replays.
// Plain value; copying copies the elements.
class DrawingPath {
public:
    enum class ElementType { moveTo, lineTo, arc, closeSubpath, rect, roundedRect, ellipse };

    struct Element {
        ElementType type;
        DrawingPoint point;      // moveTo, lineTo; the centre of an arc
        DrawingRect rect;        // rect, roundedRect, ellipse
        double radius = 0;       // arc radius; corner radius of a rounded rectangle
        double startAngle = 0;   // arc, radians from +x toward +y (clockwise on the picture)
        double endAngle = 0;     // arc; drawn with increasing angle from start to end
        bool operator==(const Element&) const = default;
    };

    void moveTo(DrawingPoint point) { elements_.push_back({ElementType::moveTo, point, {}, 0, 0, 0}); }
    void lineTo(DrawingPoint point) { elements_.push_back({ElementType::lineTo, point, {}, 0, 0, 0}); }
    void addArc(DrawingPoint center, double radius, double startAngle, double endAngle) {
        elements_.push_back({ElementType::arc, center, {}, radius, startAngle, endAngle});
    }
    void closeSubpath() { elements_.push_back({ElementType::closeSubpath, {}, {}, 0, 0, 0}); }
    void addRect(DrawingRect rect) { elements_.push_back({ElementType::rect, {}, rect, 0, 0, 0}); }
    void addRoundedRect(DrawingRect rect, double cornerRadius) {
        elements_.push_back({ElementType::roundedRect, {}, rect, cornerRadius, 0, 0});
    }
    void addEllipse(DrawingRect rect) { elements_.push_back({ElementType::ellipse, {}, rect, 0, 0, 0}); }

    const std::vector<Element>& elements() const { return elements_; }
    bool isEmpty() const { return elements_.empty(); }
    void reserve(std::size_t count) { elements_.reserve(count); }

    bool operator==(const DrawingPath&) const = default;

private:
    std::vector<Element> elements_;
};

}  // namespace pacemark
