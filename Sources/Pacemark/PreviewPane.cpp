#include "PreviewPane.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QStyle>
#include <QVBoxLayout>

#include "AppModel.h"
#include "AppModelVideoServices.h"
#include "EditorPreviewView.h"
#include "PreviewPainting.h"

namespace pacemark {

namespace {

QLabel* makeLabel(const QString& text, int pointSize, bool bold, const QString& color) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(color));
    return label;
}

QWidget* centredColumn(std::initializer_list<QWidget*> items) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addStretch();
    for (auto* item : items) column->addWidget(item, 0, Qt::AlignHCenter);
    column->addStretch();
    column->setSpacing(12);
    return page;
}

}  // namespace

PreviewPane::PreviewPane(AppModel& model, std::shared_ptr<const DrawingSurfaceFactory> surfaces, QWidget* parent)
    : QWidget(parent), model_(model) {
    setMinimumWidth(720);
    // The pages sit inset on the backdrop.
    auto* inset = new QVBoxLayout(this);
    inset->setContentsMargins(42, 42, 42, 42);
    auto* pageHost = new QWidget;
    inset->addWidget(pageHost);
    pages_ = new QStackedLayout(pageHost);

    auto* chooseButton = new QPushButton(style()->standardIcon(QStyle::SP_DirOpenIcon), QStringLiteral("Выбрать файл"));
    chooseButton->setObjectName(QStringLiteral("prominent"));
    chooseButton->setDefault(true);
    connect(chooseButton, &QPushButton::clicked, this, &PreviewPane::openTelemetryRequested);
    auto* symbol = makeLabel(QStringLiteral("⤓"), 44, true, QStringLiteral("#35D05B"));
    invitation_ = centredColumn({symbol, makeLabel(QStringLiteral("FIT / GPX"), 22, true, QStringLiteral("white")),
                                 makeLabel(QStringLiteral("Перетащи FIT / GPX или MP4 / MOV"), 12, false,
                                           QStringLiteral("#A0A4AA")),
                                 chooseButton});

    auto* spinner = new QProgressBar;
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedWidth(160);
    loading_ = centredColumn({spinner, makeLabel(QStringLiteral("Загружаю FIT / GPX"), 13, false,
                                                 QStringLiteral("white"))});

    videoOnly_ = new VideoBackgroundOnlyPreview(model_);
    editor_ = new EditorPreviewView(model_, std::move(surfaces));
    for (auto* page : {invitation_, loading_, videoOnly_, static_cast<QWidget*>(editor_)}) pages_->addWidget(page);

    for (auto signal : {&AppModel::activityChanged, &AppModel::videoBackgroundImageChanged, &AppModel::isLoadingChanged}) {
        connect(&model_, signal, this, &PreviewPane::refresh);
    }
    refresh();
}

void PreviewPane::refresh() {
    if (model_.activity()) {
        pages_->setCurrentWidget(editor_);
    } else if (model_.videoBackgroundImage()) {
        pages_->setCurrentWidget(videoOnly_);
    } else if (model_.isLoading()) {
        pages_->setCurrentWidget(loading_);
    } else {
        pages_->setCurrentWidget(invitation_);
    }
}

void PreviewPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintPreviewBackdrop(painter, rect());
}

VideoBackgroundOnlyPreview::VideoBackgroundOnlyPreview(AppModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    for (auto signal : {&AppModel::videoBackgroundImageChanged, &AppModel::videoBackgroundPlayerChanged,
                        &AppModel::videoBackgroundScaleChanged, &AppModel::videoBackgroundOffsetXChanged,
                        &AppModel::videoBackgroundOffsetYChanged}) {
        connect(&model_, signal, this, [this] { update(); });
    }
    connect(&model_, &AppModel::videoBackgroundPlayerChanged, this, [this] {
        if (auto* player = dynamic_cast<PreviewVideoBackgroundPlayer*>(model_.videoBackgroundPlayer().get())) {
            connect(&player->previewPlayer(), &VideoPreviewPlayer::frameChanged, this, [this] { update(); },
                    Qt::UniqueConnection);
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
