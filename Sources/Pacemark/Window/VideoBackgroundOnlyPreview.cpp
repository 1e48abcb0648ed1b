#include "VideoBackgroundOnlyPreview.h"

#include <QPainter>

#include "AppModel.h"
#include "OverlayInteraction.h"
#include "PreviewPainting.h"

namespace pacemark {

VideoBackgroundOnlyPreview::VideoBackgroundOnlyPreview(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    for (auto signal : {&AppModel::videoBackgroundImageChanged, &AppModel::videoBackgroundPlayerChanged,
                        &AppModel::videoBackgroundScaleChanged, &AppModel::videoBackgroundOffsetXChanged,
                        &AppModel::videoBackgroundOffsetYChanged}) {
        connect(&model_, signal, this, [this] { update(); });
    }
    connect(&model_, &AppModel::videoBackgroundPlayerChanged, this, [this] {
        if (const auto player = model_.videoBackgroundPlayer()) {
            connect(player.get(), &VideoBackgroundPlayer::frameChanged, this,
                    &VideoBackgroundOnlyPreview::playerFrameChanged, Qt::UniqueConnection);
        }
    });
}

void VideoBackgroundOnlyPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRectF canvas = fitPreviewCanvas(QSizeF(size()), 16.0 / 9.0);
    if (canvas.isEmpty()) return;
    paintVideoBackground(painter, canvas, currentBackgroundImage(model_), model_.videoBackgroundScale(),
                         model_.videoBackgroundOffsetX(), model_.videoBackgroundOffsetY());
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
