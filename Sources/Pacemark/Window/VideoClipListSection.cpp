// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoClipListSection.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

#include "ExportSessionModel.h"
#include "LoadedActivityModel.h"
#include "ModelObserver.h"
#include "SidebarControls.h"
#include "VideoClipListModel.h"

namespace pacemark {

namespace {

// At most this many rows in view; a longer list scrolls within itself.
constexpr int visibleRows = 6;

QString rowText(const VideoClipEntry& clip) {
    return clip.name() + QStringLiteral(" · ") + clip.lengthText() + QStringLiteral(" · старт ") + clip.startText() +
           QLatin1Char('\n') + clip.placementText();
}

}  // namespace

VideoClipListSection::VideoClipListSection(const LoadedActivityModel& loadedActivity,
                                           const ExportSessionModel& exportSession, VideoClipListModel& clips,
                                           QWidget* parent)
    : QWidget(parent), loadedActivity_(loadedActivity), exportSession_(exportSession), clips_(clips) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    list_ = new QListWidget;
    list_->setObjectName(QStringLiteral("videoClipList"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setWordWrap(true);
    list_->setTextElideMode(Qt::ElideMiddle);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column->addWidget(list_);
    exportClips_ = makeButton(QStringLiteral("Сделать MOV для клипов"), LineGlyph::film);
    column->addWidget(exportClips_);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) clips_.chooseClip(static_cast<std::size_t>(row));
    });
    connect(exportClips_, &QPushButton::clicked, this, [this] { clips_.exportClipOverlays(); });
    refreshOnChangesOf({&loadedActivity_, &exportSession_, &clips_}, this, [this] { refresh(); });
}

void VideoClipListSection::refresh() {
    const auto& clips = clips_.clips();
    setVisible(clips.size() > 1);
    {
        const QSignalBlocker blocker(list_);
        while (list_->count() > static_cast<int>(clips.size())) delete list_->takeItem(list_->count() - 1);
        for (std::size_t index = 0; index < clips.size(); ++index) {
            const int row = static_cast<int>(index);
            if (row >= list_->count()) list_->addItem(new QListWidgetItem);
            auto* item = list_->item(row);
            item->setText(rowText(clips[index]));
            // The whole message, which the row may cut short.
            const auto& placement = clips[index].placement;
            item->setToolTip(placement ? QString::fromStdString(placement->message) : clips[index].placementText());
        }
        const auto chosen = clips_.chosenIndex();
        list_->setCurrentRow(chosen ? static_cast<int>(*chosen) : -1);
    }
    int height = 2 * list_->frameWidth() + 2;
    for (int row = 0; row < std::min(list_->count(), visibleRows); ++row) {
        height += list_->sizeHintForRow(row) + 2 * list_->spacing();
    }
    list_->setFixedHeight(height);
    // Like the video button, the choice waits while an export runs.
    list_->setEnabled(!exportSession_.isExporting());
    exportClips_->setEnabled(clips_.canExportClipOverlays());
}

}  // namespace pacemark
