// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <vector>

class QLabel;

namespace pacemark {

class BackgroundVideoModel;
class LoadedActivityModel;

// The activity's summary: label and value per row.
class SummarySection : public QWidget {
    Q_OBJECT

public:
    SummarySection(const LoadedActivityModel& loadedActivity, const BackgroundVideoModel& backgroundVideo,
                   QWidget* parent = nullptr);

private:
    void refresh();

    const LoadedActivityModel& loadedActivity_;
    const BackgroundVideoModel& backgroundVideo_;
    std::vector<QLabel*> values_;
};

}  // namespace pacemark
