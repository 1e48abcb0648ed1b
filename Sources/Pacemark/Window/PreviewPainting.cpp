// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreviewPainting.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <memory>

#include "BackgroundVideoModel.h"

namespace pacemark {

void paintPreviewBackdrop(QPainter& painter, const QRectF& area) {
    QLinearGradient gradient(area.topLeft(), area.bottomLeft());
    gradient.setColorAt(0, QColor::fromRgbF(0.09f, 0.10f, 0.12f));
    gradient.setColorAt(1, QColor::fromRgbF(0.03f, 0.04f, 0.05f));
    painter.fillRect(area, gradient);

    constexpr int square = 22;
    painter.save();
    painter.setOpacity(0.12);
    for (int y = 0; y <= area.height(); y += square) {
        for (int x = 0; x <= area.width(); x += square) {
            const bool black = ((x / square) + (y / square)) % 2 == 1;
            painter.fillRect(QRectF(area.x() + x, area.y() + y, square, square), black ? Qt::black : Qt::white);
        }
    }
    painter.restore();
}

namespace {

// Wraps pixels that a shared pointer keeps alive in a QImage without copying.
template <typename Holder>
QImage wrapPixels(std::shared_ptr<Holder> holder, const std::uint8_t* pixels, std::int64_t width,
                  std::int64_t height) {
    if (!holder || width <= 0 || height <= 0) return {};
    auto* keeper = new std::shared_ptr<Holder>(std::move(holder));
    return QImage(
        pixels, static_cast<int>(width), static_cast<int>(height), static_cast<qsizetype>(width * 4),
        QImage::Format_ARGB32_Premultiplied,
        [](void* info) { delete static_cast<std::shared_ptr<Holder>*>(info); }, keeper);
}

}  // namespace

QImage currentBackgroundImage(const BackgroundVideoModel& video) {
    if (const auto player = video.videoBackgroundPlayer()) {
        if (const VideoBackgroundFrame frame = player->currentFrame(); !frame.isEmpty()) {
            return wrapPixels(frame.owner, frame.pixels, frame.width, frame.height);
        }
    }
    if (auto image = video.videoBackgroundImage()) {
        const auto* pixels = image->pixels.data();
        return wrapPixels(image, pixels, image->width, image->height);
    }
    return {};
}

void paintVideoBackground(QPainter& painter, const QRectF& canvas, const QImage& image, double scale,
                          double offsetX, double offsetY) {
    if (image.isNull() || canvas.isEmpty()) return;
    const QSizeF frameSize(canvas.width() * scale, canvas.height() * scale);
    const QPointF centre(canvas.x() + canvas.width() * (0.5 + offsetX), canvas.y() + canvas.height() * (0.5 + offsetY));
    const QRectF frame(centre.x() - frameSize.width() / 2, centre.y() - frameSize.height() / 2, frameSize.width(),
                       frameSize.height());
    // Aspect fill: crop the source to the frame's aspect ratio.
    QRectF source(0, 0, image.width(), image.height());
    const double frameAspect = frame.width() / frame.height();
    if (source.width() / source.height() > frameAspect) {
        const double width = source.height() * frameAspect;
        source = QRectF((image.width() - width) / 2, 0, width, image.height());
    } else {
        const double height = source.width() / frameAspect;
        source = QRectF(0, (image.height() - height) / 2, image.width(), height);
    }
    painter.save();
    painter.setClipRect(canvas, Qt::IntersectClip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(frame, image, source);
    painter.restore();
}

void paintCanvasBorder(QPainter& painter, const QRectF& canvas, double opacity) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, static_cast<float>(opacity)), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(canvas.adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    painter.restore();
}

}  // namespace pacemark
