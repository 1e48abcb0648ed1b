// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoBackgroundOnlyPreview.h"

#include <QPainter>

#include "BackgroundVideoModel.h"
#include "ModelObserver.h"
#include "OverlayInteraction.h"
#include "PreviewPainting.h"

namespace pacemark {

VideoBackgroundOnlyPreview::VideoBackgroundOnlyPreview(BackgroundVideoModel& video, QWidget* parent)
    : QWidget(parent), video_(video) {
    refreshOnChangesOf({&video_}, this, [this] { update(); });
    connect(&video_, &BackgroundVideoModel::videoBackgroundPlayerChanged, this, [this] {
        if (const auto player = video_.videoBackgroundPlayer()) {
            connect(player.get(), &VideoBackgroundPlayer::frameChanged, this,
                    &VideoBackgroundOnlyPreview::playerFrameChanged, Qt::UniqueConnection);
        }
    });
}

void VideoBackgroundOnlyPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF canvas = fitPreviewCanvas(QSizeF(size()), 16.0 / 9.0);
    if (canvas.isEmpty()) return;
    paintVideoBackground(painter, canvas, currentBackgroundImage(video_), video_.videoBackgroundScale(),
                         video_.videoBackgroundOffsetX(), video_.videoBackgroundOffsetY());
    paintCanvasBorder(painter, canvas, 0.2);

    // The hint: a symbol over one line of text on a dark rounded plate.
    QFont symbolFont = font();
    symbolFont.setPointSize(32);
    QFont textFont = font();
    textFont.setPointSize(16);
    textFont.setWeight(QFont::DemiBold);
    const QString text = QStringLiteral("Теперь добавь FIT / GPX");
    const QFontMetricsF symbolMetrics(symbolFont);
    const QFontMetricsF textMetrics(textFont);
    const double contentWidth = textMetrics.horizontalAdvance(text);
    const double contentHeight = symbolMetrics.height() + 8 + textMetrics.height();
    const QRectF plate(canvas.center().x() - contentWidth / 2 - 24, canvas.center().y() - contentHeight / 2 - 18,
                       contentWidth + 48, contentHeight + 36);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.44f));
    painter.drawRoundedRect(plate, 16, 16);
    painter.setPen(Qt::white);
    painter.setFont(symbolFont);
    painter.drawText(QRectF(plate.x(), plate.y() + 18, plate.width(), symbolMetrics.height()), Qt::AlignCenter,
                     QStringLiteral("⤓"));
    painter.setFont(textFont);
    painter.drawText(QRectF(plate.x(), plate.y() + 18 + symbolMetrics.height() + 8, plate.width(), textMetrics.height()),
                     Qt::AlignCenter, text);
}

}  // namespace pacemark
