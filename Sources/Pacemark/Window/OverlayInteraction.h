// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

#include "Layout/PacemarkWidget.h"

namespace pacemark {

class AppModel;

// The editor canvas: the largest rectangle of the picture's aspect ratio that
// fits the area, centred across the longer side.
QRectF fitPreviewCanvas(QSizeF area, double aspectRatio);

// Where a layout's widgets lie on the canvas: the whole canvas for a layout
// of the canvas's shape, else the layout's shape fitted into it as the movie
// fits it (LayoutCanvas: across the width on the bottom edge, or centred).
QRectF previewLayoutArea(const QRectF& canvas, PacemarkLayoutAspect aspect);

// A widget's rectangle on the canvas: its clamped frame scaled to the
// layout's area on it (previewLayoutArea).
QRectF previewRect(const PacemarkWidget& widget, const QRectF& layoutArea);

// The square around the lower-right corner of the selected widget in which a
// press starts a resize (also where the resize handle is drawn).
QRectF resizeHandleRect(const QRectF& widgetRect);

// Turns one mouse gesture on the editor canvas into edits of the model: a
// press selects the topmost widget under the mouse (or starts a resize on the
// selected widget's handle, or a pan of the background on empty canvas), each
// drag writes the new frame or offsets into the model at once, and a release
// ends the gesture. Offsets are measured from where the gesture began, so a
// widget stopped at an edge follows the mouse again as soon as it comes back.
class OverlayInteraction {
public:
    enum class Mode { move, resize, backgroundMove };

    static constexpr double handleSize = 44;

    explicit OverlayInteraction(AppModel& model) : model_(model) {}

    // `canvas` is the current canvas in the view's coordinates.
    void mouseDown(QPointF point, const QRectF& canvas, bool canMoveBackground);
    void mouseDragged(QPointF point, const QRectF& canvas);
    void reset();

    std::optional<Mode> mode() const { return mode_; }

private:
    void startInteraction(const PacemarkWidget& widget, QPointF point, Mode mode);
    void startBackgroundInteraction(QPointF point);

    AppModel& model_;
    std::optional<Mode> mode_;
    std::optional<UUID> activeWidgetID_;
    std::optional<TelemetryWidgetFrame> startFrame_;
    double startBackgroundOffsetX_ = 0;
    double startBackgroundOffsetY_ = 0;
    std::optional<QPointF> startPoint_;
    bool editGesture_ = false;  // a layout edit gesture is open in the editor model
};

}  // namespace pacemark
