// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pacemark {

class AppStatus;
class BackgroundVideoModel;
class ExportSessionModel;
class LoadedActivityModel;

// The window's footer, fixed under the scrolling sidebar: the loading notice,
// the export progress, "Показать MOV", the status line and the quiet note that
// the background video is shown at a lower rate. Every row keeps its place
// while hidden, so the footer's height never changes and nothing above it
// moves when a status arrives.
class StatusSection : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* videoLagNote = "видео не успевает, показываю реже";

    StatusSection(const LoadedActivityModel& loadedActivity, ExportSessionModel& exportSession,
                  const BackgroundVideoModel& backgroundVideo, const AppStatus& status, QWidget* parent = nullptr);

private:
    void refresh();
    void observePlayer();
    void videoFellBehind(bool behind);

    const LoadedActivityModel& loadedActivity_;
    ExportSessionModel& exportSession_;
    const BackgroundVideoModel& backgroundVideo_;
    const AppStatus& appStatus_;
    QWidget* loadingRow_;
    QWidget* progressRow_;
    QProgressBar* progress_;
    QLabel* progressText_;
    QPushButton* reveal_;
    QLabel* status_;
    QLabel* videoLag_;
    bool videoBehind_ = false;
};

}  // namespace pacemark
