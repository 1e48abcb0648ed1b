#pragma once

#include <QWidget>

#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;

namespace pacemark {

class AppModel;

// Calls `refresh` now and whenever the model publishes a change. Sections
// re-read everything they show; the controls' own signals are blocked while
// they are set, so a refresh never writes back into the model.
void refreshOnModelChanges(QWidget* section, AppModel& model, const std::function<void()>& refresh);

// Open, export, save-as and stop; the background-video buttons and, while a
// player exists, its playback and transform controls; the export progress.
class ActionButtonsSection : public QWidget {
    Q_OBJECT

public:
    explicit ActionButtonsSection(AppModel& model, QWidget* parent = nullptr);

signals:
    void openTelemetryRequested();
    void openVideoRequested();

private:
    void refresh();

    AppModel& model_;
    QPushButton* open_;
    QPushButton* exportMovie_;
    QPushButton* saveAs_;
    QPushButton* stop_;
    QPushButton* video_;
    QPushButton* clearVideo_;
    QWidget* videoControls_;
    QPushButton* playPause_;
    QPushButton* synchronize_;
    QSlider* scale_;
    QSlider* offsetX_;
    QSlider* offsetY_;
    QLabel* scaleValue_;
    QLabel* offsetXValue_;
    QLabel* offsetYValue_;
    QWidget* progressRow_;
    QProgressBar* progress_;
    QLabel* progressText_;
};

// The activity's summary: label and value per row.
class SummarySection : public QWidget {
    Q_OBJECT

public:
    explicit SummarySection(AppModel& model, QWidget* parent = nullptr);

private:
    void refresh();

    AppModel& model_;
    std::vector<QLabel*> values_;
};

// Resolution, frame rate and codec pickers, and the export segment.
class RenderSettingsSection : public QWidget {
    Q_OBJECT

public:
    explicit RenderSettingsSection(AppModel& model, QWidget* parent = nullptr);

private:
    void refresh();

    AppModel& model_;
    QComboBox* resolution_;
    QComboBox* framesPerSecond_;
    QComboBox* codec_;
    QWidget* segment_;
    QLabel* rangeLabel_;
    QSlider* startSlider_;
    QSlider* endSlider_;
    QLineEdit* startField_;
    QLineEdit* endField_;
};

// The loading notice, "Показать MOV" and the status line.
class StatusSection : public QWidget {
    Q_OBJECT

public:
    explicit StatusSection(AppModel& model, QWidget* parent = nullptr);

private:
    void refresh();

    AppModel& model_;
    QWidget* loadingRow_;
    QPushButton* reveal_;
    QLabel* status_;
};

// Applies the resolution picker's tag "WIDTHxHEIGHT"; anything that does not
// split into exactly two integers changes nothing.
void applyResolutionTag(AppModel& model, const QString& tag);

}  // namespace pacemark
