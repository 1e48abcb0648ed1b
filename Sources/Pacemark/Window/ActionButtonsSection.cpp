// SPDX-License-Identifier: GPL-3.0-or-later
#include "ActionButtonsSection.h"

#include <QHBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "AppModel.h"
#include "ModelObserver.h"
#include "QtText.h"
#include "SidebarControls.h"

namespace pacemark {

namespace {

QString twoDecimals(double value) { return QString::number(value, 'f', 2); }

}  // namespace

ActionButtonsSection::ActionButtonsSection(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    const auto row = [column](std::initializer_list<QWidget*> items) {
        auto* line = new QHBoxLayout;
        for (auto* item : items) line->addWidget(item);
        column->addLayout(line);
    };
    open_ = makeButton(QStringLiteral("Открыть FIT/GPX"), QStyle::SP_DirOpenIcon, this);
    exportMovie_ = makeButton(QStringLiteral("Сделать MOV"), LineGlyph::film);
    exportMovie_->setObjectName(QStringLiteral("prominent"));
    saveAs_ = makeButton(QStringLiteral("Сохранить как"), LineGlyph::save);
    stop_ = makeButton(QStringLiteral("Стоп"), QStyle::SP_MediaStop, this);
    stop_->setObjectName(QStringLiteral("destructive"));
    video_ = makeButton(QStringLiteral("Видео-подложка"), LineGlyph::video);
    clearVideo_ = makeButton(QStringLiteral("Убрать"), QStyle::SP_DialogCloseButton, this);
    row({open_, exportMovie_});
    row({saveAs_, stop_});
    row({video_, clearVideo_});
    connect(open_, &QPushButton::clicked, this, &ActionButtonsSection::openTelemetryRequested);
    connect(exportMovie_, &QPushButton::clicked, this, [this] { model_.exportSession().exportDefault(); });
    connect(saveAs_, &QPushButton::clicked, this, [this] {
        if (auto file = model_.exportSession().chooseExportFile()) model_.exportSession().exportMovie(*file);
    });
    connect(stop_, &QPushButton::clicked, this, [this] { model_.exportSession().cancelExport(); });
    connect(video_, &QPushButton::clicked, this, &ActionButtonsSection::openVideoRequested);
    connect(clearVideo_, &QPushButton::clicked, this, [this] { model_.backgroundVideo().clearVideoBackground(); });

    // Background video controls.
    videoControls_ = new QWidget;
    auto* videoColumn = new QVBoxLayout(videoControls_);
    videoColumn->setContentsMargins(0, 4, 0, 4);
    playPause_ = makeButton(QStringLiteral("Плей"), QStyle::SP_MediaPlay, this);
    playPause_->setObjectName(QStringLiteral("prominent"));
    auto* restart = makeButton(QStringLiteral("Сначала"), QStyle::SP_MediaSkipBackward, this);
    auto* resetTransform = makeButton(QStringLiteral("Сброс"), QStyle::SP_BrowserReload, this);
    synchronize_ = makeButton(QStringLiteral("Синхр."), LineGlyph::synchronize);
    auto* buttons = new QHBoxLayout;
    for (auto* button : {playPause_, restart, resetTransform, synchronize_}) buttons->addWidget(button);
    videoColumn->addLayout(buttons);
    // A timelapse or variable-speed clip advances the ride faster than itself.
    clipRate_ = new QLabel;
    videoColumn->addWidget(clipRate_);
    connect(playPause_, &QPushButton::clicked, this, [this] { model_.backgroundVideo().toggleVideoPreviewPlayback(); });
    connect(restart, &QPushButton::clicked, this, [this] { model_.backgroundVideo().restartVideoPreview(); });
    connect(resetTransform, &QPushButton::clicked, this, [this] { model_.backgroundVideo().resetVideoBackgroundTransform(); });
    connect(synchronize_, &QPushButton::clicked, this, [this] { model_.backgroundVideo().synchronizeVideoWithTelemetry(); });
    auto* sliders = new QGridLayout;
    const auto sliderRow = [&](int index, const QString& title, QSlider*& slider, QLabel*& value, double minimum,
                               double maximum, void (BackgroundVideoModel::*setter)(double)) {
        slider = makeSlider();
        value = new QLabel;
        value->setMinimumWidth(40);
        sliders->addWidget(new QLabel(title), index, 0);
        sliders->addWidget(slider, index, 1);
        sliders->addWidget(value, index, 2);
        connect(slider, &QSlider::valueChanged, this,
                [this, minimum, maximum, setter](int position) { (model_.backgroundVideo().*setter)(sliderValue(position, minimum, maximum)); });
    };
    sliderRow(0, QStringLiteral("Масштаб"), scale_, scaleValue_, 0.5, 3.0, &BackgroundVideoModel::setVideoBackgroundScale);
    sliderRow(1, QStringLiteral("X"), offsetX_, offsetXValue_, -1, 1, &BackgroundVideoModel::setVideoBackgroundOffsetX);
    sliderRow(2, QStringLiteral("Y"), offsetY_, offsetYValue_, -1, 1, &BackgroundVideoModel::setVideoBackgroundOffsetY);
    videoColumn->addLayout(sliders);
    column->addWidget(videoControls_);

    refreshOnChangesOf({&model_.loadedActivity(), &model_.exportSession(), &model_.backgroundVideo()}, this,
                       [this] { refresh(); });
}

void ActionButtonsSection::refresh() {
    const bool busy = model_.loadedActivity().isLoading() || model_.exportSession().isExporting();
    const bool hasActivity = model_.loadedActivity().activity() != nullptr;
    open_->setEnabled(!busy);
    exportMovie_->setEnabled(hasActivity && !busy);
    saveAs_->setEnabled(hasActivity && !busy);
    stop_->setVisible(model_.exportSession().isExporting());
    video_->setEnabled(!model_.backgroundVideo().isLoadingVideo() && !model_.exportSession().isExporting());
    clearVideo_->setVisible(model_.backgroundVideo().videoBackgroundImage() != nullptr || model_.backgroundVideo().isLoadingVideo());
    clearVideo_->setEnabled(!model_.exportSession().isExporting());

    videoControls_->setVisible(model_.backgroundVideo().videoBackgroundPlayer() != nullptr);
    const bool playing = model_.backgroundVideo().isVideoPreviewPlaying();
    playPause_->setText(playing ? QStringLiteral("Пауза") : QStringLiteral("Плей"));
    playPause_->setIcon(lightIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay, this));
    synchronize_->setEnabled(hasActivity && !model_.backgroundVideo().isSynchronizingVideo());
    const double rate = model_.backgroundVideo().videoClipRate();
    clipRate_->setVisible(rate != 1);
    clipRate_->setText(QStringLiteral("Скорость клипа: ×") + QString::number(rate, 'f', 1));
    const auto setSlider = [](QSlider* slider, QLabel* label, double value, double minimum, double maximum) {
        const QSignalBlocker blocker(slider);
        slider->setValue(sliderPosition(value, minimum, maximum));
        label->setText(twoDecimals(value));
    };
    setSlider(scale_, scaleValue_, model_.backgroundVideo().videoBackgroundScale(), 0.5, 3.0);
    setSlider(offsetX_, offsetXValue_, model_.backgroundVideo().videoBackgroundOffsetX(), -1, 1);
    setSlider(offsetY_, offsetYValue_, model_.backgroundVideo().videoBackgroundOffsetY(), -1, 1);
}

}  // namespace pacemark
