// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;

namespace pacemark {

class BackgroundVideoModel;
class ExportSessionModel;
class LoadedActivityModel;

// Open, export, save-as and stop; the background-video buttons (with the
// finished video of the clip) and, while a
// player exists, its playback and transform controls; the export progress.
class ActionButtonsSection : public QWidget {
    Q_OBJECT

public:
    ActionButtonsSection(const LoadedActivityModel& loadedActivity, ExportSessionModel& exportSession,
                         BackgroundVideoModel& backgroundVideo, QWidget* parent = nullptr);

signals:
    void openTelemetryRequested();
    void openVideoRequested();

private:
    void refresh();

    const LoadedActivityModel& loadedActivity_;
    ExportSessionModel& exportSession_;
    BackgroundVideoModel& backgroundVideo_;
    QPushButton* open_;
    QPushButton* exportMovie_;
    QPushButton* saveAs_;
    QPushButton* stop_;
    QPushButton* video_;
    QPushButton* clearVideo_;
    QPushButton* burnIn_;
    QWidget* videoControls_;
    QPushButton* playPause_;
    QPushButton* synchronize_;
    QLabel* clipRate_;
    QSlider* scale_;
    QSlider* offsetX_;
    QSlider* offsetY_;
    QLabel* scaleValue_;
    QLabel* offsetXValue_;
    QLabel* offsetYValue_;
};

}  // namespace pacemark
