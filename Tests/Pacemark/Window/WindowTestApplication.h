#pragma once

#include <QApplication>

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

}  // namespace pacemark::testing
