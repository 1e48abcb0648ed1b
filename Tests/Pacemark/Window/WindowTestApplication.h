#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace pacemark::testing {

// The one QApplication of the window tests (the offscreen platform is set by
// CTest), made on first use.
inline QApplication& application() {
    static int argc = 1;
    static char name[] = "PacemarkWindowTests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = qApp ? qApp : new QApplication(argc, argv);
    return *app;
}

// A left-button mouse event of `type` at `point` in `widget`'s coordinates.
inline void sendMouse(QWidget* widget, QEvent::Type type, QPointF point, Qt::MouseButtons buttons) {
    QMouseEvent event(type, point, widget->mapToGlobal(point), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Press at `from`, one move to `to`, release there.
inline void drag(QWidget* widget, QPointF from, QPointF to) {
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, to, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

}  // namespace pacemark::testing
