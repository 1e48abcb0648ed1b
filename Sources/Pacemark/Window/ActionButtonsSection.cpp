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

#include "BackgroundVideoModel.h"
#include "ExportSessionModel.h"
#include "LoadedActivityModel.h"
#include "ModelObserver.h"
#include "QtText.h"
#include "SidebarControls.h"

namespace pacemark {

namespace {

QString twoDecimals(double value) { return QString::number(value, 'f', 2); }

}  // namespace

ActionButtonsSection::ActionButtonsSection(const LoadedActivityModel& loadedActivity,
                                           ExportSessionModel& exportSession, BackgroundVideoModel& backgroundVideo,
                                           QWidget* parent)
    : QWidget(parent), loadedActivity_(loadedActivity), exportSession_(exportSession), backgroundVideo_(backgroundVideo) {
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
    burnIn_ = makeButton(QStringLiteral("Сделать MP4 с видео"), LineGlyph::film);
    burnIn_->setObjectName(QStringLiteral("burnIn"));
    row({burnIn_});
    connect(open_, &QPushButton::clicked, this, &ActionButtonsSection::openTelemetryRequested);
    connect(exportMovie_, &QPushButton::clicked, this, [this] { exportSession_.exportDefault(); });
    connect(saveAs_, &QPushButton::clicked, this, [this] {
        if (auto file = exportSession_.chooseExportFile()) exportSession_.exportMovie(*file);
    });
    connect(stop_, &QPushButton::clicked, this, [this] { exportSession_.cancelExport(); });
    connect(video_, &QPushButton::clicked, this, &ActionButtonsSection::openVideoRequested);
    connect(clearVideo_, &QPushButton::clicked, this, [this] { backgroundVideo_.clearVideoBackground(); });
    connect(burnIn_, &QPushButton::clicked, this, [this] { backgroundVideo_.burnInVideo(); });

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
    connect(playPause_, &QPushButton::clicked, this, [this] { backgroundVideo_.toggleVideoPreviewPlayback(); });
    connect(restart, &QPushButton::clicked, this, [this] { backgroundVideo_.restartVideoPreview(); });
    connect(resetTransform, &QPushButton::clicked, this, [this] { backgroundVideo_.resetVideoBackgroundTransform(); });
    connect(synchronize_, &QPushButton::clicked, this, [this] { backgroundVideo_.synchronizeVideoWithTelemetry(); });
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
                [this, minimum, maximum, setter](int position) { (backgroundVideo_.*setter)(sliderValue(position, minimum, maximum)); });
    };
    sliderRow(0, QStringLiteral("Масштаб"), scale_, scaleValue_, 0.5, 3.0, &BackgroundVideoModel::setVideoBackgroundScale);
    sliderRow(1, QStringLiteral("X"), offsetX_, offsetXValue_, -1, 1, &BackgroundVideoModel::setVideoBackgroundOffsetX);
    sliderRow(2, QStringLiteral("Y"), offsetY_, offsetYValue_, -1, 1, &BackgroundVideoModel::setVideoBackgroundOffsetY);
    videoColumn->addLayout(sliders);
    column->addWidget(videoControls_);

    refreshOnChangesOf({&loadedActivity_, &exportSession_, &backgroundVideo_}, this,
                       [this] { refresh(); });
}

void ActionButtonsSection::refresh() {
    const bool busy = loadedActivity_.isLoading() || exportSession_.isExporting();
    const bool hasActivity = loadedActivity_.activity() != nullptr;
    open_->setEnabled(!busy);
    exportMovie_->setEnabled(hasActivity && !busy);
    saveAs_->setEnabled(hasActivity && !busy);
    stop_->setVisible(exportSession_.isExporting());
    video_->setEnabled(!backgroundVideo_.isLoadingVideo() && !exportSession_.isExporting());
    clearVideo_->setVisible(backgroundVideo_.videoBackgroundImage() != nullptr || backgroundVideo_.isLoadingVideo());
    clearVideo_->setEnabled(!exportSession_.isExporting());
    const bool hasVideo = backgroundVideo_.videoBackgroundFile().has_value() && !backgroundVideo_.isLoadingVideo();
    burnIn_->setVisible(hasVideo);
    burnIn_->setEnabled(hasActivity && hasVideo && !busy);

    videoControls_->setVisible(backgroundVideo_.videoBackgroundPlayer() != nullptr);
    const bool playing = backgroundVideo_.isVideoPreviewPlaying();
    playPause_->setText(playing ? QStringLiteral("Пауза") : QStringLiteral("Плей"));
    playPause_->setIcon(lightIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay, this));
    synchronize_->setEnabled(hasActivity && !backgroundVideo_.isSynchronizingVideo());
    const double rate = backgroundVideo_.videoClipRate();
    clipRate_->setVisible(rate != 1);
    clipRate_->setText(QStringLiteral("Скорость клипа: ×") + QString::number(rate, 'f', 1));
    const auto setSlider = [](QSlider* slider, QLabel* label, double value, double minimum, double maximum) {
        const QSignalBlocker blocker(slider);
        slider->setValue(sliderPosition(value, minimum, maximum));
        label->setText(twoDecimals(value));
    };
    setSlider(scale_, scaleValue_, backgroundVideo_.videoBackgroundScale(), 0.5, 3.0);
    setSlider(offsetX_, offsetXValue_, backgroundVideo_.videoBackgroundOffsetX(), -1, 1);
    setSlider(offsetY_, offsetYValue_, backgroundVideo_.videoBackgroundOffsetY(), -1, 1);
}

}  // namespace pacemark
