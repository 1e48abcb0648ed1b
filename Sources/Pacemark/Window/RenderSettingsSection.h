#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace pacemark {

class AppModel;

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

// Applies the resolution picker's tag "WIDTHxHEIGHT"; anything that does not
// split into exactly two integers changes nothing.
void applyResolutionTag(AppModel& model, const QString& tag);

}  // namespace pacemark
