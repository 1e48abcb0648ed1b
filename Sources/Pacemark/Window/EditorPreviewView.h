#pragma once

#include <QImage>
#include <QWidget>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "OverlayInteraction.h"
#include "Rendering/DrawingSurface.h"
#include "Rendering/LayoutFrameRenderer.h"

namespace pacemark {

class AppModel;

// The editor canvas: the background video or still frame, the overlay at the
// preview instant laid out for the output size and drawn by the export
// renderer at the canvas's pixel size (the movie's own fonts and drawing), the
// selection outline and the resize handle. Mouse presses, drags and releases go to an
// OverlayInteraction, which writes every edit into the model.
class EditorPreviewView : public QWidget {
    Q_OBJECT

public:
    EditorPreviewView(AppModel& model, std::shared_ptr<const DrawingSurfaceFactory> surfaces,
                      QWidget* parent = nullptr);
    ~EditorPreviewView() override;

    // The canvas in this view's coordinates for its current size.
    QRectF canvasRect() const;
    // The overlay picture of the last paint (for tests and screenshots).
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
    // Redraws the overlay at the canvas's pixel size when the layout, activity,
    // output size, canvas size or the sample in force changed since the last paint.
    void updateOverlayImage(QSize pixelSize, double devicePixelRatio);
    void paintSelection(QPainter& painter, const QRectF& canvas) const;

    AppModel& model_;
    std::shared_ptr<const DrawingSurfaceFactory> surfaces_;
    OverlayInteraction interaction_;
    std::unique_ptr<LayoutFrameRenderer> renderer_;
    std::optional<std::size_t> renderedFrameKey_;
    QImage overlayImage_;  // the overlay at the canvas's pixel size
};

}  // namespace pacemark
