// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

#include <memory>

#include "Rendering/DrawingSurface.h"

class QAbstractButton;
class QMessageBox;
class QScrollArea;

namespace pacemark {

class AppModel;
class PreviewPane;
class SidebarView;

// The window's content: the sidebar on the left (a scrolling column over a
// fixed status footer) and the preview on the right. Nothing here scrolls the
// sidebar: it moves only when the user scrolls it.
// It hosts the two open dialogs, accepts dropped files and shows the model's
// error message as an alert; everything else lives in the views it holds.
class ContentView : public QWidget {
    Q_OBJECT

public:
    ContentView(AppModel& model, std::shared_ptr<const DrawingSurfaceFactory> surfaces, QWidget* parent = nullptr);

    SidebarView* sidebar() const { return sidebar_; }
    PreviewPane* preview() const { return preview_; }
    // The alert while it is shown, else null.
    QMessageBox* errorAlert() const { return alert_; }

    void openTelemetryDialog();
    void openVideoDialog();
    // What a drop on the window does: the local files go to the model's
    // routing; true when at least one was accepted.
    bool dropURLs(const QList<QUrl>& urls);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Asks about unsaved layout edits first; "Отмена" keeps the window open.
    void closeEvent(QCloseEvent* event) override;

private:
    void showErrorIfNeeded();
    void setDropTargeted(bool targeted);
    // Widens the sidebar to what its visible rows need (the video controls'
    // button row is the widest), so nothing in it is clipped.
    void fitSidebarWidth();

    AppModel& model_;
    SidebarView* sidebar_;
    QScrollArea* sidebarScroll_;
    QWidget* sidebarColumn_;
    PreviewPane* preview_;
    QWidget* dropHighlight_;
    QMessageBox* alert_ = nullptr;
    // The alert's offered action, if any.
    QAbstractButton* alertAction_ = nullptr;
};

}  // namespace pacemark
