#pragma once

#include <QObject>

class QAbstractScrollArea;
class QWidget;

namespace pacemark {

// Keeps a wheel turn over a closed picker or a slider inside a scrolling
// column from changing its value: unless the control has keyboard focus, the
// turn scrolls the column instead. A turn of the wheel while scrolling a long
// sidebar otherwise lands on whatever control passes under the pointer and
// silently applies a preset, a codec or a frame value.
class WheelGuard : public QObject {
    Q_OBJECT

public:
    explicit WheelGuard(QAbstractScrollArea* scrollArea);

    // Guards every combo box, slider and spin box below `root`; each one also
    // stops taking focus from the wheel, so only a click or Tab arms it.
    void guardControls(QWidget* root);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractScrollArea* scrollArea_;
};

}  // namespace pacemark
