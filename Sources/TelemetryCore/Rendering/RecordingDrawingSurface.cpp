// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingDrawingSurface.h"

#include <algorithm>

namespace pacemark {

bool RecordedDrawingCall::isPainting() const {
    switch (type) {
        case Type::fillPath:
        case Type::strokePath:
        case Type::fillEllipse:
        case Type::strokeEllipse:
        case Type::drawLinearGradient:
        case Type::drawText:
            return true;
        default:
            return false;
    }
}

std::vector<RecordedDrawingCall> RecordingDrawingSurface::paintingCalls() const {
    std::vector<RecordedDrawingCall> result;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(result),
                 [](const RecordedDrawingCall& call) { return call.isPainting(); });
    return result;
}

std::vector<std::string> RecordingDrawingSurface::texts() const {
    std::vector<std::string> result;
    for (const auto& call : calls_) {
        if (call.type == RecordedDrawingCall::Type::drawText) result.push_back(call.text);
    }
    return result;
}

void RecordingDrawingSurface::reset() {
    calls_.clear();
    stack_.clear();
    state_ = DrawingState{};
    currentPath_ = DrawingPath{};
}

RecordedDrawingCall& RecordingDrawingSurface::record(RecordedDrawingCall::Type type) {
    RecordedDrawingCall& call = calls_.emplace_back();
    call.type = type;
    call.state = state_;
    return call;
}

void RecordingDrawingSurface::clear(DrawingRect rect) { record(RecordedDrawingCall::Type::clear).rect = rect; }

void RecordingDrawingSurface::saveState() {
    stack_.push_back(state_);
    record(RecordedDrawingCall::Type::saveState);
}

void RecordingDrawingSurface::restoreState() {
    if (!stack_.empty()) {
        state_ = stack_.back();
        stack_.pop_back();
    }
    record(RecordedDrawingCall::Type::restoreState);
}

void RecordingDrawingSurface::setFillColor(DrawingColor color) {
    state_.fillColor = color;
    record(RecordedDrawingCall::Type::setFillColor).color = color;
}

void RecordingDrawingSurface::setStrokeColor(DrawingColor color) {
    state_.strokeColor = color;
    record(RecordedDrawingCall::Type::setStrokeColor).color = color;
}

void RecordingDrawingSurface::setLineWidth(double width) {
    state_.lineWidth = width;
    record(RecordedDrawingCall::Type::setLineWidth).lineWidth = width;
}

void RecordingDrawingSurface::setLineCap(DrawingLineCap cap) {
    state_.lineCap = cap;
    record(RecordedDrawingCall::Type::setLineCap).lineCap = cap;
}

void RecordingDrawingSurface::setLineJoin(DrawingLineJoin join) {
    state_.lineJoin = join;
    record(RecordedDrawingCall::Type::setLineJoin).lineJoin = join;
}

void RecordingDrawingSurface::setShadow(DrawingShadow shadow) {
    state_.shadow = shadow;
    record(RecordedDrawingCall::Type::setShadow).shadow = shadow;
}

void RecordingDrawingSurface::clipToRect(DrawingRect rect) {
    if (state_.clip) {
        const DrawingRect& c = *state_.clip;
        const double x0 = std::max(c.minX(), rect.minX());
        const double y0 = std::max(c.minY(), rect.minY());
        const double x1 = std::min(c.maxX(), rect.maxX());
        const double y1 = std::min(c.maxY(), rect.maxY());
        state_.clip = DrawingRect{x0, y0, std::max(x1 - x0, 0.0), std::max(y1 - y0, 0.0)};
    } else {
        state_.clip = rect;
    }
    record(RecordedDrawingCall::Type::clipToRect).rect = rect;
}

void RecordingDrawingSurface::clipToPath() {
    record(RecordedDrawingCall::Type::clipToPath).path = std::move(currentPath_);
    currentPath_ = DrawingPath{};
}

void RecordingDrawingSurface::addPath(const DrawingPath& path) {
    for (const auto& element : path.elements()) {
        switch (element.type) {
            case DrawingPath::ElementType::moveTo: currentPath_.moveTo(element.point); break;
            case DrawingPath::ElementType::lineTo: currentPath_.lineTo(element.point); break;
            case DrawingPath::ElementType::arc:
                currentPath_.addArc(element.point, element.radius, element.startAngle, element.endAngle);
                break;
            case DrawingPath::ElementType::closeSubpath: currentPath_.closeSubpath(); break;
            case DrawingPath::ElementType::rect: currentPath_.addRect(element.rect); break;
            case DrawingPath::ElementType::roundedRect: currentPath_.addRoundedRect(element.rect, element.radius); break;
            case DrawingPath::ElementType::ellipse: currentPath_.addEllipse(element.rect); break;
        }
    }
    record(RecordedDrawingCall::Type::addPath).path = path;
}

void RecordingDrawingSurface::fillPath() {
    record(RecordedDrawingCall::Type::fillPath).path = std::move(currentPath_);
    currentPath_ = DrawingPath{};
}

void RecordingDrawingSurface::strokePath() {
    record(RecordedDrawingCall::Type::strokePath).path = std::move(currentPath_);
    currentPath_ = DrawingPath{};
}

void RecordingDrawingSurface::fillEllipse(DrawingRect rect) { record(RecordedDrawingCall::Type::fillEllipse).rect = rect; }

void RecordingDrawingSurface::strokeEllipse(DrawingRect rect) {
    record(RecordedDrawingCall::Type::strokeEllipse).rect = rect;
}

bool RecordingDrawingSurface::drawLinearGradient(DrawingColor startColor, DrawingColor endColor, DrawingPoint start,
                                                 DrawingPoint end) {
    RecordedDrawingCall& call = record(RecordedDrawingCall::Type::drawLinearGradient);
    call.color = startColor;
    call.endColor = endColor;
    call.start = start;
    call.end = end;
    return !gradientsFail_;
}

void RecordingDrawingSurface::drawText(std::string_view text, DrawingRect rect, DrawingFont font, DrawingColor color,
                                       DrawingTextAlignment alignment) {
    RecordedDrawingCall& call = record(RecordedDrawingCall::Type::drawText);
    call.text = std::string(text);
    call.rect = rect;
    call.font = font;
    call.color = color;
    call.alignment = alignment;
}

}  // namespace pacemark
