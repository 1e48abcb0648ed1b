// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QAbstractScrollArea;
class QWidget;

namespace pacemark {

// Keeps a wheel turn over a closed picker, a slider or a spin box inside a
// scrolling column from ever changing its value, focused or not: the turn
// scrolls the column instead. A turn of the wheel while scrolling a long
// sidebar otherwise lands on whatever control passes under the pointer (or
// the one last clicked) and silently applies a preset, a codec or a frame
// value. Clicks and the keyboard still change the controls; the open list of
// a picker scrolls as usual (it is a separate window, not guarded).
class WheelGuard : public QObject {
    Q_OBJECT

public:
    explicit WheelGuard(QAbstractScrollArea* scrollArea);

    // Guards every combo box, slider and spin box below `root`; each one also
    // stops taking focus from the wheel.
    void guardControls(QWidget* root);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractScrollArea* scrollArea_;
};

}  // namespace pacemark
