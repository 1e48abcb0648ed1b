// SPDX-License-Identifier: GPL-3.0-or-later
#include "LayoutCanvasSurface.h"

#include <algorithm>

namespace pacemark {

LayoutCanvasSurface::LayoutCanvasSurface(DrawingSurface& target, const LayoutCanvas& canvas)
    : target_(target), canvas_(canvas) {}

double LayoutCanvasSurface::lineWidthInPixels(double width, double scale) {
    return std::max(width * scale, std::min(width, 1.0));
}

namespace {

// See textSizeInPixels.
constexpr double kTextAllowanceDivisor = 18;

}  // namespace

void LayoutCanvasSurface::clear(DrawingRect rect) { target_.clear(canvas_.toPicture(rect)); }

void LayoutCanvasSurface::setLineWidth(double width) { target_.setLineWidth(lineWidthInPixels(width, canvas_.scale)); }

void LayoutCanvasSurface::setShadow(DrawingShadow shadow) {
    // The offset is a direction and length, not a position: scaled, not moved.
    shadow.offset = {shadow.offset.x * canvas_.scale, shadow.offset.y * canvas_.scale};
    shadow.blur *= canvas_.scale;
    target_.setShadow(shadow);
}

void LayoutCanvasSurface::clipToRect(DrawingRect rect) { target_.clipToRect(canvas_.toPicture(rect)); }

void LayoutCanvasSurface::addPath(const DrawingPath& path) {
    DrawingPath mapped;
    mapped.reserve(path.elements().size());
    const double k = canvas_.scale;
    for (const DrawingPath::Element& e : path.elements()) {
        switch (e.type) {
            case DrawingPath::ElementType::moveTo: mapped.moveTo(canvas_.toPicture(e.point)); break;
            case DrawingPath::ElementType::lineTo: mapped.lineTo(canvas_.toPicture(e.point)); break;
            case DrawingPath::ElementType::arc:
                mapped.addArc(canvas_.toPicture(e.point), e.radius * k, e.startAngle, e.endAngle);
                break;
            case DrawingPath::ElementType::closeSubpath: mapped.closeSubpath(); break;
            case DrawingPath::ElementType::rect: mapped.addRect(canvas_.toPicture(e.rect)); break;
            case DrawingPath::ElementType::roundedRect:
                mapped.addRoundedRect(canvas_.toPicture(e.rect), e.radius * k);
                break;
            case DrawingPath::ElementType::ellipse: mapped.addEllipse(canvas_.toPicture(e.rect)); break;
        }
    }
    target_.addPath(mapped);
}

void LayoutCanvasSurface::fillEllipse(DrawingRect rect) { target_.fillEllipse(canvas_.toPicture(rect)); }

void LayoutCanvasSurface::strokeEllipse(DrawingRect rect) { target_.strokeEllipse(canvas_.toPicture(rect)); }

bool LayoutCanvasSurface::drawLinearGradient(DrawingColor startColor, DrawingColor endColor, DrawingPoint start,
                                              DrawingPoint end) {
    return target_.drawLinearGradient(startColor, endColor, canvas_.toPicture(start), canvas_.toPicture(end));
}

double LayoutCanvasSurface::textSizeInPixels(double size, double scale) {
    if (scale >= 1) return size * scale;
    return size * std::max(scale - (1 - scale) / kTextAllowanceDivisor, 0.0);
}

void LayoutCanvasSurface::drawText(std::string_view text, DrawingRect rect, DrawingFont font, DrawingColor color,
                                    DrawingTextAlignment alignment) {
    font.size = textSizeInPixels(font.size, canvas_.scale);
    target_.drawText(text, canvas_.toPicture(rect), font, color, alignment);
}

}  // namespace pacemark
