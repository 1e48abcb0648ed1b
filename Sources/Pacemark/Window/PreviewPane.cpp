// SPDX-License-Identifier: GPL-3.0-or-later
#include "PreviewPane.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QStyle>
#include <QVBoxLayout>

#include "ModelObserver.h"
#include "AppModel.h"
#include "EditorPreviewView.h"
#include "PreviewPainting.h"
#include "VideoBackgroundOnlyPreview.h"
#include "WindowStyle.h"

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
    auto* symbol = makeLabel(QStringLiteral("⤓"), 44, true, brandGreen().name());
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

    videoOnly_ = new VideoBackgroundOnlyPreview(model_.backgroundVideo());
    editor_ = new EditorPreviewView(model_, std::move(surfaces));
    for (auto* page : {invitation_, loading_, videoOnly_, static_cast<QWidget*>(editor_)}) pages_->addWidget(page);

    refreshOnChangesOf({&model_.loadedActivity(), &model_.backgroundVideo()}, this, [this] { refresh(); });
}

void PreviewPane::refresh() {
    if (model_.loadedActivity().activity()) {
        pages_->setCurrentWidget(editor_);
    } else if (model_.backgroundVideo().videoBackgroundImage()) {
        pages_->setCurrentWidget(videoOnly_);
    } else if (model_.loadedActivity().isLoading()) {
        pages_->setCurrentWidget(loading_);
    } else {
        pages_->setCurrentWidget(invitation_);
    }
}

void PreviewPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintPreviewBackdrop(painter, rect());
}

}  // namespace pacemark
