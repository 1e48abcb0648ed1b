// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <vector>

class QLabel;

namespace pacemark {

class AppModel;

// The activity's summary: label and value per row.
class SummarySection : public QWidget {
    Q_OBJECT

public:
    explicit SummarySection(AppModel& model, QWidget* parent = nullptr);

private:
    void refresh();

    AppModel& model_;
    std::vector<QLabel*> values_;
};

}  // namespace pacemark
