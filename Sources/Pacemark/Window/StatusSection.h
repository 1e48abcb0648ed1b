// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pacemark {

class AppModel;

// The window's footer, fixed under the scrolling sidebar: the loading notice,
// the export progress, "Показать MOV", the status line and the quiet note that
// the background video is shown at a lower rate. Every row keeps its place
// while hidden, so the footer's height never changes and nothing above it
// moves when a status arrives.
class StatusSection : public QWidget {
    Q_OBJECT

public:
    static constexpr const char* videoLagNote = "видео не успевает, показываю реже";

    explicit StatusSection(AppModel& model, QWidget* parent = nullptr);

private:
    void refresh();
    void observePlayer();
    void videoFellBehind(bool behind);

    AppModel& model_;
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
