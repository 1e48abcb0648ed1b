// SPDX-License-Identifier: GPL-3.0-or-later
#include "EditorPreviewView.h"

#include <QMouseEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QPainterPath>

#include <cmath>

#include "ModelObserver.h"
#include "AppModel.h"
#include "PreviewPainting.h"
#include "ScaledDrawingSurface.h"
#include "WidgetPreview.h"
#include "WindowStyle.h"

namespace pacemark {

namespace {

void paintResizeHandle(QPainter& painter, const QRectF& widgetRect, std::uint32_t accentHex) {
    const QRectF hit = resizeHandleRect(widgetRect);
    const QRectF box(hit.center().x() - 14, hit.center().y() - 14, 28, 28);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Soft shadow below the box.
    painter.setPen(Qt::NoPen);
    for (int ring = 3; ring >= 1; --ring) {
        painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.35f / 3));
        painter.drawRoundedRect(box.translated(0, 3).adjusted(-ring, -ring, ring, ring), 8 + ring, 8 + ring);
    }
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.86f));
    painter.setPen(QPen(qColorFromHex(accentHex), 2));
    painter.drawRoundedRect(box, 8, 8);
    const auto corner = [&](double near, double far, const QColor& color, double width) {
        QPainterPath path;
        path.moveTo(box.x() + near * 28, box.y() + far * 28);
        path.lineTo(box.x() + far * 28, box.y() + far * 28);
        path.lineTo(box.x() + far * 28, box.y() + near * 28);
        painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    };
    corner(0.34, 0.66, qColorFromHex(accentHex), 2.4);
    corner(0.44, 0.56, QColor::fromRgbF(1, 1, 1, 0.85f), 1.8);
    painter.restore();
}

}  // namespace

EditorPreviewView::EditorPreviewView(AppModel& model, std::shared_ptr<const DrawingSurfaceFactory> surfaces,
                                     QWidget* parent)
    : QWidget(parent), model_(model), surfaces_(std::move(surfaces)), interaction_(model) {
    setMouseTracking(false);
    setMinimumSize(320, 180);
    setToolTip(QString());
    const auto repaint = [this] { update(); };
    refreshOnChangesOf({&model_.loadedActivity(), &model_.layoutEditor(), &model_.backgroundVideo(),
                        &model_.exportSession(), &model_},
                       this, repaint);
    // A new player brings its own frame signal.
    const auto connectPlayer = [this] {
        if (const auto player = model_.backgroundVideo().videoBackgroundPlayer()) {
            connect(player.get(), &VideoBackgroundPlayer::frameChanged, this, &EditorPreviewView::playerFrameChanged,
                    Qt::UniqueConnection);
        }
    };
    connect(&model_.backgroundVideo(), &BackgroundVideoModel::videoBackgroundPlayerChanged, this, connectPlayer);
    connectPlayer();
}

EditorPreviewView::~EditorPreviewView() = default;

QRectF EditorPreviewView::canvasRect() const {
    const double aspect =
        model_.exportSession().settings().height > 0 ? static_cast<double>(model_.exportSession().settings().width) / static_cast<double>(model_.exportSession().settings().height) : 16.0 / 9.0;
    return fitPreviewCanvas(QSizeF(size()), aspect);
}

bool EditorPreviewView::hasBackground() const {
    return model_.backgroundVideo().videoBackgroundImage() != nullptr || model_.backgroundVideo().videoBackgroundPlayer() != nullptr;
}

void EditorPreviewView::updateOverlayImage(const QRectF& canvas, double devicePixelRatio) {
    const auto activity = model_.loadedActivity().activity();
    // The widgets are laid out on the canvas in whole view points and drawn at
    // its pixel size: a drag step costs a canvas-sized drawing whatever the
    // output size.
    const auto pointsWide = static_cast<std::int64_t>(std::lround(canvas.width()));
    const auto pointsHigh = static_cast<std::int64_t>(std::lround(canvas.height()));
    const QSize pixelSize(static_cast<int>(std::lround(static_cast<double>(pointsWide) * devicePixelRatio)),
                          static_cast<int>(std::lround(static_cast<double>(pointsHigh) * devicePixelRatio)));
    if (!activity || pixelSize.isEmpty() || !surfaces_) {
        overlayKey_.reset();
        overlayImage_ = QImage();
        return;
    }
    const double elapsed = model_.previewTelemetryElapsedSeconds();
    const TelemetryMotion& motion = model_.exportSession().settings().motion;
    OverlayKey key{activity.get(), model_.layoutEditor().overlayLayout(), motion, motion.frameKey(*activity, elapsed),
                   pixelSize};
    if (overlayKey_ == key) return;
    overlayImage_ = QImage(pixelSize, QImage::Format_ARGB32_Premultiplied);
    overlayImage_.fill(Qt::transparent);
    PixelBufferView view{overlayImage_.bits(), overlayImage_.width(), overlayImage_.height(),
                         static_cast<std::int64_t>(overlayImage_.bytesPerLine())};
    if (auto surface = surfaces_->makeSurface(view)) {
        ScaledDrawingSurface scaled(*surface, devicePixelRatio);
        drawOverlayPreview(scaled, *activity, key.layout, elapsed, pointsWide, pointsHigh, motion);
    }
    overlayImage_.setDevicePixelRatio(devicePixelRatio);
    overlayKey_ = std::move(key);
}

void EditorPreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF canvas = canvasRect();
    if (canvas.isEmpty()) return;
    paintVideoBackground(painter, canvas, currentBackgroundImage(model_.backgroundVideo()), model_.backgroundVideo().videoBackgroundScale(),
                         model_.backgroundVideo().videoBackgroundOffsetX(), model_.backgroundVideo().videoBackgroundOffsetY());
    updateOverlayImage(canvas, devicePixelRatioF());
    if (!overlayImage_.isNull()) painter.drawImage(canvas.topLeft(), overlayImage_);
    paintCanvasBorder(painter, canvas, 0.16);
    paintSelection(painter, canvas);
}

void EditorPreviewView::paintSelection(QPainter& painter, const QRectF& canvas) const {
    const auto selected = model_.layoutEditor().selectedWidget();
    const auto activity = model_.loadedActivity().activity();
    if (!selected || !activity) return;
    const QRectF rect = previewRect(*selected, previewLayoutArea(canvas, model_.layoutEditor().overlayLayout().aspect));
    const TelemetrySample sample;
    WidgetPreview(*activity, sample, *selected, true).paintSelection(painter, rect);
    paintResizeHandle(painter, rect, selected->accentHex);
}

bool EditorPreviewView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const auto selected = model_.layoutEditor().selectedWidget();
    const QRectF canvas = canvasRect();
    const QRectF area = previewLayoutArea(canvas, model_.layoutEditor().overlayLayout().aspect);
    if (selected && !canvas.isEmpty() && resizeHandleRect(previewRect(*selected, area)).contains(help->pos())) {
        QToolTip::showText(help->globalPos(), QStringLiteral("Изменить размер"), this);
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
}

void EditorPreviewView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    interaction_.mouseDown(event->position(), canvasRect(), hasBackground());
    event->accept();
}

void EditorPreviewView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    interaction_.mouseDragged(event->position(), canvasRect());
    event->accept();
}

void EditorPreviewView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    interaction_.reset();
    event->accept();
}

}  // namespace pacemark
