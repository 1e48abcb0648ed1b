// SPDX-License-Identifier: GPL-3.0-or-later
#include "OverlayInteraction.h"

#include <algorithm>

#include "AppModel.h"
#include "Rendering/LayoutCanvas.h"

namespace pacemark {

QRectF fitPreviewCanvas(QSizeF area, double aspectRatio) {
    if (area.width() <= 0 || area.height() <= 0 || !(aspectRatio > 0)) return {};
    if (area.height() * aspectRatio <= area.width()) {
        const double width = area.height() * aspectRatio;
        return {(area.width() - width) / 2, 0, width, area.height()};
    }
    const double height = area.width() / aspectRatio;
    return {0, (area.height() - height) / 2, area.width(), height};
}

QRectF previewLayoutArea(const QRectF& canvas, PacemarkLayoutAspect aspect) {
    const DrawingRect area =
        LayoutCanvas::fitArea(aspect, {canvas.x(), canvas.y(), canvas.width(), canvas.height()});
    return {area.x, area.y, area.width, area.height};
}

QRectF previewRect(const PacemarkWidget& widget, const QRectF& layoutArea) {
    const TelemetryWidgetFrame frame = widget.frame.clamped();
    return {layoutArea.x() + frame.x * layoutArea.width(), layoutArea.y() + frame.y * layoutArea.height(),
            frame.width * layoutArea.width(), frame.height * layoutArea.height()};
}

QRectF resizeHandleRect(const QRectF& widgetRect) {
    const double half = OverlayInteraction::handleSize / 2;
    return {widgetRect.right() - half, widgetRect.bottom() - half, OverlayInteraction::handleSize,
            OverlayInteraction::handleSize};
}

void OverlayInteraction::mouseDown(QPointF point, const QRectF& canvas, bool canMoveBackground) {
    if (!canvas.contains(point)) {
        reset();
        return;
    }
    const auto& widgets = model_.layoutEditor().overlayLayout().widgets;
    const QRectF area = previewLayoutArea(canvas, model_.layoutEditor().overlayLayout().aspect);
    // The selected widget's handle wins over any widget under it, even where
    // it reaches outside its own widget.
    if (const auto selected = model_.layoutEditor().selectedWidget();
        selected && resizeHandleRect(previewRect(*selected, area)).contains(point)) {
        startInteraction(*selected, point, Mode::resize);
        return;
    }
    // Topmost first: the widgets are drawn in list order. Hidden widgets are
    // not drawn, so they cannot be hit either.
    for (auto it = widgets.rbegin(); it != widgets.rend(); ++it) {
        if (it->isVisible && previewRect(*it, area).contains(point)) {
            const PacemarkWidget hit = *it;
            model_.layoutEditor().setSelectedWidgetID(hit.id);
            startInteraction(hit, point, Mode::move);
            return;
        }
    }
    if (canMoveBackground) {
        model_.layoutEditor().setSelectedWidgetID(std::nullopt);
        startBackgroundInteraction(point);
        return;
    }
    reset();
}

void OverlayInteraction::mouseDragged(QPointF point, const QRectF& canvas) {
    if (!mode_ || !startPoint_ || canvas.isEmpty()) return;
    const double dx = (point.x() - startPoint_->x()) / canvas.width();
    const double dy = (point.y() - startPoint_->y()) / canvas.height();
    if (*mode_ == Mode::backgroundMove) {
        model_.backgroundVideo().setVideoBackgroundOffsetX(std::clamp(startBackgroundOffsetX_ + dx, -1.0, 1.0));
        model_.backgroundVideo().setVideoBackgroundOffsetY(std::clamp(startBackgroundOffsetY_ + dy, -1.0, 1.0));
        return;
    }
    if (!activeWidgetID_ || !startFrame_) return;
    PacemarkLayout layout = model_.layoutEditor().overlayLayout();
    // Frames are fractions of the layout's area, which is the canvas unless the shapes differ.
    const QRectF area = previewLayoutArea(canvas, layout.aspect);
    if (area.isEmpty()) return;
    const double frameDX = (point.x() - startPoint_->x()) / area.width();
    const double frameDY = (point.y() - startPoint_->y()) / area.height();
    const auto widget = std::find_if(layout.widgets.begin(), layout.widgets.end(),
                                     [&](const PacemarkWidget& candidate) { return candidate.id == *activeWidgetID_; });
    if (widget == layout.widgets.end()) return;
    TelemetryWidgetFrame frame = widget->frame;
    if (*mode_ == Mode::move) {
        frame.x = startFrame_->x + frameDX;
        frame.y = startFrame_->y + frameDY;
    } else {
        // Only the lower-right corner follows the mouse.
        frame.width = startFrame_->width + frameDX;
        frame.height = startFrame_->height + frameDY;
    }
    widget->frame = frame.clamped();
    model_.layoutEditor().setOverlayLayout(layout);
}

void OverlayInteraction::reset() {
    // A move or resize, however many drag steps it took, is one undo step.
    if (editGesture_) model_.layoutEditor().endEditGesture();
    editGesture_ = false;
    mode_.reset();
    activeWidgetID_.reset();
    startFrame_.reset();
    startPoint_.reset();
}

void OverlayInteraction::startInteraction(const PacemarkWidget& widget, QPointF point, Mode mode) {
    if (!editGesture_) model_.layoutEditor().beginEditGesture();
    editGesture_ = true;
    mode_ = mode;
    activeWidgetID_ = widget.id;
    startFrame_ = widget.frame;
    startPoint_ = point;
}

void OverlayInteraction::startBackgroundInteraction(QPointF point) {
    mode_ = Mode::backgroundMove;
    activeWidgetID_.reset();
    startFrame_.reset();
    startBackgroundOffsetX_ = model_.backgroundVideo().videoBackgroundOffsetX();
    startBackgroundOffsetY_ = model_.backgroundVideo().videoBackgroundOffsetY();
    startPoint_ = point;
}

}  // namespace pacemark
