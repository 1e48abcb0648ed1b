// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "Layout/PacemarkWidget.h"
#include "OverlayInteraction.h"
#include "Rendering/DrawingSurface.h"
#include "Telemetry/TelemetryMotion.h"

namespace pacemark {

class AppModel;

// The editor canvas: the background video or still frame, the overlay at the
// preview instant as widget previews (WidgetPreview: the export's routines
// with the preview's sizes, in view points of the canvas, drawn at its pixel
// size), the selection outline and the resize handle. Mouse presses, drags and
// releases go to an OverlayInteraction, which writes every edit into the model.
class EditorPreviewView : public QWidget {
    Q_OBJECT

public:
    EditorPreviewView(AppModel& model, std::shared_ptr<const DrawingSurfaceFactory> surfaces,
                      QWidget* parent = nullptr);
    ~EditorPreviewView() override;

    // The canvas in this view's coordinates for its current size.
    QRectF canvasRect() const;
    // The overlay picture of the last paint, canvas-sized (for tests and screenshots).
    const QImage& overlayImage() const { return overlayImage_; }

protected:
    // Hovering the selected widget's resize handle shows "Изменить размер".
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void playerFrameChanged() { update(); }
    bool hasBackground() const;
    // Redraws the overlay when the layout, activity, canvas size or the sample
    // in force changed since the last paint.
    void updateOverlayImage(const QRectF& canvas, double devicePixelRatio);
    void paintSelection(QPainter& painter, const QRectF& canvas) const;

    // What the overlay image shows: equal keys draw equal pictures.
    struct OverlayKey {
        const TelemetryActivity* activity = nullptr;
        PacemarkLayout layout;
        TelemetryMotion motion;
        std::size_t frameKey = 0;  // the motion's: equal keys show equal readings
        QSize pixelSize;
        bool operator==(const OverlayKey&) const = default;
    };

    AppModel& model_;
    std::shared_ptr<const DrawingSurfaceFactory> surfaces_;
    OverlayInteraction interaction_;
    std::optional<OverlayKey> overlayKey_;
    QImage overlayImage_;  // the overlay at the canvas's pixel size
};

}  // namespace pacemark
