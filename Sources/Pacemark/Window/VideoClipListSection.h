// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QListWidget;
class QPushButton;

namespace pacemark {

class ExportSessionModel;
class LoadedActivityModel;
class VideoClipListModel;

// The background clips when several are open: one row per clip (name,
// length, start in the ride, how it was placed), the chosen one selected;
// choosing a row makes that clip the background. "Сделать MOV для клипов"
// exports one overlay per clip. Hidden while at most one clip is open.
class VideoClipListSection : public QWidget {
    Q_OBJECT

public:
    VideoClipListSection(const LoadedActivityModel& loadedActivity, const ExportSessionModel& exportSession,
                         VideoClipListModel& clips, QWidget* parent = nullptr);

private:
    void refresh();

    const LoadedActivityModel& loadedActivity_;
    const ExportSessionModel& exportSession_;
    VideoClipListModel& clips_;
    QListWidget* list_;
    QPushButton* exportClips_;
};

}  // namespace pacemark
