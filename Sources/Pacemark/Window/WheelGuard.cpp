// SPDX-License-Identifier: GPL-3.0-or-later
#include "WheelGuard.h"

#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QScrollBar>
#include <QWheelEvent>

namespace pacemark {

WheelGuard::WheelGuard(QAbstractScrollArea* scrollArea) : QObject(scrollArea), scrollArea_(scrollArea) {}

void WheelGuard::guardControls(QWidget* root) {
    QList<QWidget*> controls;
    for (auto* combo : root->findChildren<QComboBox*>()) controls << combo;
    for (auto* slider : root->findChildren<QAbstractSlider*>()) {
        // Scroll bars of inner lists keep scrolling their own list.
        if (!qobject_cast<QScrollBar*>(slider)) controls << slider;
    }
    for (auto* spin : root->findChildren<QAbstractSpinBox*>()) controls << spin;
    for (auto* control : controls) {
        if (control->focusPolicy() == Qt::WheelFocus) control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(this);
    }
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel) return false;
    if (!qobject_cast<QWidget*>(watched)) return false;
    QApplication::sendEvent(scrollArea_->verticalScrollBar(), event);
    return true;
}

}  // namespace pacemark
