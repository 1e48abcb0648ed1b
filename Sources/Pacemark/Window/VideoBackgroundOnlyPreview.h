// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

namespace pacemark {

class BackgroundVideoModel;

// The background video before any telemetry: its picture on the canvas and a
// hint to add the ride. No mouse interaction.
class VideoBackgroundOnlyPreview : public QWidget {
    Q_OBJECT

public:
    explicit VideoBackgroundOnlyPreview(BackgroundVideoModel& video, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void playerFrameChanged() { update(); }

    BackgroundVideoModel& video_;
};

}  // namespace pacemark
