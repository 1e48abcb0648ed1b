// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace pacemark {

class ExportSessionModel;
class LoadedActivityModel;

// Resolution, frame rate, codec and motion pickers, and the export segment.
class RenderSettingsSection : public QWidget {
    Q_OBJECT

public:
    RenderSettingsSection(const LoadedActivityModel& loadedActivity, ExportSessionModel& exportSession,
                          QWidget* parent = nullptr);

private:
    void refresh();

    const LoadedActivityModel& loadedActivity_;
    ExportSessionModel& exportSession_;
    QComboBox* resolution_;
    QComboBox* frameRate_;
    QComboBox* codec_;
    QComboBox* motion_;
    QCheckBox* smoothValues_;
    QWidget* segment_;
    QLabel* rangeLabel_;
    QSlider* startSlider_;
    QSlider* endSlider_;
    QLineEdit* startField_;
    QLineEdit* endField_;
};

// Applies the resolution picker's tag "WIDTHxHEIGHT"; anything that does not
// split into exactly two integers changes nothing.
void applyResolutionTag(ExportSessionModel& exportSession, const QString& tag);

// The motion picker's entries: stepping, then smooth motion at each offered
// rate, with the number it stores (-1 for stepping, else the rate).
std::vector<std::pair<QString, int>> motionChoices();

}  // namespace pacemark
