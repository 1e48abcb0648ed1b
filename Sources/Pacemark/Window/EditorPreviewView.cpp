#include "EditorPreviewView.h"

#include <QMouseEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QPainterPath>

#include <cmath>

#include "AppModel.h"
#include "PreviewPainting.h"
#include "ScaledDrawingSurface.h"
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
    for (auto signal : {&AppModel::activityChanged, &AppModel::overlayLayoutChanged, &AppModel::selectedWidgetIDChanged,
                        &AppModel::derivedValuesChanged, &AppModel::videoBackgroundImageChanged,
                        &AppModel::videoBackgroundPlayerChanged, &AppModel::videoBackgroundScaleChanged,
                        &AppModel::videoBackgroundOffsetXChanged, &AppModel::videoBackgroundOffsetYChanged,
                        &AppModel::widthChanged, &AppModel::heightChanged}) {
        connect(&model_, signal, this, repaint);
    }
    // A new player brings its own frame signal.
    const auto connectPlayer = [this] {
        if (const auto player = model_.videoBackgroundPlayer()) {
            connect(player.get(), &VideoBackgroundPlayer::frameChanged, this, &EditorPreviewView::playerFrameChanged,
                    Qt::UniqueConnection);
        }
    };
    connect(&model_, &AppModel::videoBackgroundPlayerChanged, this, connectPlayer);
    connectPlayer();
}

EditorPreviewView::~EditorPreviewView() = default;

QRectF EditorPreviewView::canvasRect() const {
    const double aspect =
        model_.height() > 0 ? static_cast<double>(model_.width()) / static_cast<double>(model_.height()) : 16.0 / 9.0;
    return fitPreviewCanvas(QSizeF(size()), aspect);
}

bool EditorPreviewView::hasBackground() const {
    return model_.videoBackgroundImage() != nullptr || model_.videoBackgroundPlayer() != nullptr;
}

void EditorPreviewView::updateOverlayImage(QSize pixelSize, double devicePixelRatio) {
    const auto activity = model_.activity();
    const std::int64_t width = model_.width();
    const std::int64_t height = model_.height();
    if (!activity || pixelSize.isEmpty() || !surfaces_ || model_.exportSession().settings().sizeError()) {
        renderer_.reset();
        overlayImage_ = QImage();
        return;
    }
    // The layout is laid out for the output size, so the preview shows the
    // movie's own arrangement, but drawn straight at the canvas's pixel size
    // through a scaling surface: a drag step costs a canvas-sized drawing, never
    // an output-sized frame.
    const bool rebuild = !renderer_ || &renderer_->activity() != activity.get() ||
                         renderer_->layout() != model_.overlayLayout() || renderer_->width() != width ||
                         renderer_->height() != height;
    if (rebuild) {
        renderer_ = std::make_unique<LayoutFrameRenderer>(activity, model_.overlayLayout(), width, height, nullptr);
        renderedFrameKey_.reset();
    }
    const double elapsed = model_.previewTelemetryElapsedSeconds();
    const std::size_t key = renderer_->frameKey(elapsed);
    if (renderedFrameKey_ == key && overlayImage_.size() == pixelSize) return;
    overlayImage_ = QImage(pixelSize, QImage::Format_ARGB32_Premultiplied);
    PixelBufferView view{overlayImage_.bits(), overlayImage_.width(), overlayImage_.height(),
                         static_cast<std::int64_t>(overlayImage_.bytesPerLine())};
    if (auto surface = surfaces_->makeSurface(view)) {
        ScaledDrawingSurface scaled(*surface, static_cast<double>(pixelSize.width()) / static_cast<double>(width));
        renderer_->drawFrame(elapsed, scaled);
    } else {
        overlayImage_.fill(Qt::transparent);
    }
    overlayImage_.setDevicePixelRatio(devicePixelRatio);
    renderedFrameKey_ = key;
}

void EditorPreviewView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF canvas = canvasRect();
    if (canvas.isEmpty()) return;
    paintVideoBackground(painter, canvas, currentBackgroundImage(model_), model_.videoBackgroundScale(),
                         model_.videoBackgroundOffsetX(), model_.videoBackgroundOffsetY());

    const double ratio = devicePixelRatioF();
    const QSize pixelSize(static_cast<int>(std::lround(canvas.width() * ratio)),
                          static_cast<int>(std::lround(canvas.height() * ratio)));
    updateOverlayImage(pixelSize, ratio);
    if (!overlayImage_.isNull()) painter.drawImage(canvas.topLeft(), overlayImage_);

    paintCanvasBorder(painter, canvas, 0.16);
    paintSelection(painter, canvas);
}

void EditorPreviewView::paintSelection(QPainter& painter, const QRectF& canvas) const {
    const auto selected = model_.selectedWidget();
    if (!selected) return;
    const QRectF rect = previewRect(*selected, canvas);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen outline(brandGreen(), 2);
    outline.setDashPattern({3, 2});  // 6 on, 4 off at a 2-point pen
    painter.setPen(outline);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect, 10, 10);
    painter.restore();
    paintResizeHandle(painter, rect, selected->accentHex);
}

bool EditorPreviewView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) return QWidget::event(event);
    auto* help = static_cast<QHelpEvent*>(event);
    const auto selected = model_.selectedWidget();
    const QRectF canvas = canvasRect();
    if (selected && !canvas.isEmpty() && resizeHandleRect(previewRect(*selected, canvas)).contains(help->pos())) {
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
