// SPDX-License-Identifier: GPL-3.0-or-later
#include "StatusSection.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "AppStatus.h"
#include "BackgroundVideoModel.h"
#include "ExportSessionModel.h"
#include "LoadedActivityModel.h"
#include "ModelObserver.h"
#include "QtText.h"
#include "SidebarControls.h"

namespace pacemark {
namespace {

// Hidden rows keep their height, so showing one moves nothing.
void keepPlaceWhenHidden(QWidget* widget) {
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

}  // namespace

StatusSection::StatusSection(const LoadedActivityModel& loadedActivity, ExportSessionModel& exportSession,
                             const BackgroundVideoModel& backgroundVideo, const AppStatus& status, QWidget* parent)
    : QWidget(parent),
      loadedActivity_(loadedActivity),
      exportSession_(exportSession),
      backgroundVideo_(backgroundVideo),
      appStatus_(status) {
    setObjectName(QStringLiteral("statusFooter"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(18, 8, 18, 12);
    column->setSpacing(6);

    loadingRow_ = new QWidget;
    auto* loadingLine = new QHBoxLayout(loadingRow_);
    loadingLine->setContentsMargins(0, 0, 0, 0);
    auto* spinner = new QProgressBar;
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedSize(48, 8);
    loadingLine->addWidget(spinner);
    loadingLine->addWidget(new QLabel(QStringLiteral("Загружаю файл...")));
    loadingLine->addStretch();

    progressRow_ = new QWidget;
    progressRow_->setObjectName(QStringLiteral("exportProgressRow"));
    auto* progressLine = new QHBoxLayout(progressRow_);
    progressLine->setContentsMargins(0, 0, 0, 0);
    progress_ = new QProgressBar;
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progressText_ = new QLabel;
    progressLine->addWidget(progress_, 1);
    progressLine->addWidget(progressText_);

    // Loading and exporting never overlap in one row's place: both share a line.
    auto* busyLine = new QHBoxLayout;
    busyLine->addWidget(loadingRow_, 1);
    busyLine->addWidget(progressRow_, 3);
    column->addLayout(busyLine);

    reveal_ = makeButton(QStringLiteral("Показать MOV"), QStyle::SP_DirIcon, this);
    connect(reveal_, &QPushButton::clicked, this, [this] { exportSession_.revealLastOutput(); });
    status_ = secondaryLabel(QString());
    status_->setObjectName(QStringLiteral("statusText"));
    // Two lines at most, so a long status never grows the footer.
    status_->setFixedHeight(status_->fontMetrics().lineSpacing() * 2 + 2);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* statusLine = new QHBoxLayout;
    statusLine->addWidget(status_, 1);
    statusLine->addWidget(reveal_, 0, Qt::AlignTop);
    column->addLayout(statusLine);

    videoLag_ = secondaryLabel(QString::fromUtf8(videoLagNote));
    videoLag_->setObjectName(QStringLiteral("videoLagNote"));
    videoLag_->setWordWrap(false);
    column->addWidget(videoLag_);
    for (auto* row : {loadingRow_, progressRow_, static_cast<QWidget*>(reveal_), static_cast<QWidget*>(videoLag_)}) {
        keepPlaceWhenHidden(row);
    }

    connect(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundPlayerChanged, this,
            &StatusSection::observePlayer);
    observePlayer();
    refreshOnChangesOf({&loadedActivity_, &exportSession_, &appStatus_, &backgroundVideo_},
                       this, [this] { refresh(); });
}

void StatusSection::observePlayer() {
    videoBehind_ = false;
    if (const auto player = backgroundVideo_.videoBackgroundPlayer()) {
        connect(player.get(), &VideoBackgroundPlayer::fallingBehindChanged, this, &StatusSection::videoFellBehind,
                Qt::UniqueConnection);
    }
    refresh();
}

void StatusSection::videoFellBehind(bool behind) {
    videoBehind_ = behind;
    refresh();
}

void StatusSection::refresh() {
    loadingRow_->setVisible(loadedActivity_.isLoading());
    progressRow_->setVisible(exportSession_.isExporting());
    progress_->setValue(static_cast<int>(std::lround(std::clamp(exportSession_.exportProgress(), 0.0, 1.0) * 1000)));
    const auto percent = [](double fraction) { return QString::number(std::lround(fraction * 100)) + QStringLiteral("%"); };
    // A batch over clips shows the clip's own progress before the whole batch's.
    if (const auto batch = exportSession_.clipBatchProgress()) {
        progressText_->setText(QStringLiteral("клип %1 из %2: ").arg(batch->index + 1).arg(batch->count) +
                               percent(batch->clipProgress) + QStringLiteral(" · всего ") +
                               percent(exportSession_.exportProgress()));
    } else {
        progressText_->setText(percent(exportSession_.exportProgress()));
    }
    reveal_->setVisible(exportSession_.lastOutputFile().has_value());
    reveal_->setEnabled(!loadedActivity_.isLoading() && !exportSession_.isExporting());
    status_->setText(appStatus_.statusText());
    videoLag_->setVisible(videoBehind_ && backgroundVideo_.isVideoPreviewPlaying());
}

}  // namespace pacemark
