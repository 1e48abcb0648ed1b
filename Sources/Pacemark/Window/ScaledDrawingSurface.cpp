// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScaledDrawingSurface.h"

#include <cmath>

namespace pacemark {

std::int64_t ScaledDrawingSurface::width() const {
    return std::llround(static_cast<double>(target_.width()) / factor_);
}

std::int64_t ScaledDrawingSurface::height() const {
    return std::llround(static_cast<double>(target_.height()) / factor_);
}

void ScaledDrawingSurface::setShadow(DrawingShadow shadow) {
    shadow.offset = scaled(shadow.offset);
    shadow.blur *= factor_;
    target_.setShadow(shadow);
}

void ScaledDrawingSurface::addPath(const DrawingPath& path) {
    DrawingPath result;
    for (const DrawingPath::Element& e : path.elements()) {
        switch (e.type) {
        case DrawingPath::ElementType::moveTo: result.moveTo(scaled(e.point)); break;
        case DrawingPath::ElementType::lineTo: result.lineTo(scaled(e.point)); break;
        case DrawingPath::ElementType::arc:
            result.addArc(scaled(e.point), e.radius * factor_, e.startAngle, e.endAngle);
            break;
        case DrawingPath::ElementType::closeSubpath: result.closeSubpath(); break;
        case DrawingPath::ElementType::rect: result.addRect(scaled(e.rect)); break;
        case DrawingPath::ElementType::roundedRect: result.addRoundedRect(scaled(e.rect), e.radius * factor_); break;
        case DrawingPath::ElementType::ellipse: result.addEllipse(scaled(e.rect)); break;
        }
    }
    target_.addPath(result);
}

void ScaledDrawingSurface::drawText(std::string_view text, DrawingRect rect, DrawingFont font, DrawingColor color,
                                    DrawingTextAlignment alignment) {
    font.size *= factor_;
    target_.drawText(text, scaled(rect), font, color, alignment);
}

}  // namespace pacemark
