// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;

namespace pacemark {

class LayoutEditorModel;
class ColorButton;

// The preset, the colours of all widgets, the widget list with add and
// remove, and the editor of the selected widget (kind, panel style, caption,
// colours, position and size).
class OverlayControlsSection : public QWidget {
    Q_OBJECT

public:
    explicit OverlayControlsSection(LayoutEditorModel& layoutEditor, QWidget* parent = nullptr);

private:
    void refresh();

    LayoutEditorModel& layoutEditor_;
    QComboBox* preset_;
    ColorButton* allAccent_;
    ColorButton* allLabel_;
    ColorButton* allValue_;
    QListWidget* widgetList_;
    QPushButton* remove_;
    QPushButton* undo_;
    QPushButton* redo_;
    QWidget* editor_;
    QComboBox* kind_;
    QComboBox* panelStyle_;
    QLineEdit* caption_;
    ColorButton* accent_;
    ColorButton* label_;
    ColorButton* value_;
    QSlider* frameSliders_[4];
    QLabel* frameValues_[4];
};

}  // namespace pacemark
