// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <memory>

#include "Rendering/DrawingSurface.h"

class QStackedLayout;

namespace pacemark {

class AppModel;
class EditorPreviewView;
class VideoBackgroundOnlyPreview;

// The right side of the window: the dark backdrop and, inset on it, the first
// that applies of the editor (an activity is loaded), the background video
// alone (a background but no activity yet), the loading notice, or the
// invitation to drop or choose a file.
class PreviewPane : public QWidget {
    Q_OBJECT

public:
    PreviewPane(AppModel& model, std::shared_ptr<const DrawingSurfaceFactory> surfaces, QWidget* parent = nullptr);

    EditorPreviewView* editor() const { return editor_; }

signals:
    // "Выбрать файл" of the invitation.
    void openTelemetryRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    AppModel& model_;
    QStackedLayout* pages_;
    QWidget* invitation_;
    QWidget* loading_;
    QWidget* videoOnly_;
    EditorPreviewView* editor_;
};

}  // namespace pacemark
