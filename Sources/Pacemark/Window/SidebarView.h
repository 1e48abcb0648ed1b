// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

namespace pacemark {

class AppModel;

// The window's left column: header, actions, summary, render settings,
// overlay controls and status, top to bottom, scrolling when tall.
class SidebarView : public QWidget {
    Q_OBJECT

public:
    explicit SidebarView(AppModel& model, QWidget* parent = nullptr);

signals:
    void openTelemetryRequested();
    void openVideoRequested();
};

}  // namespace pacemark
