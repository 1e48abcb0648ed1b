#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace pacemark {

class AppModel;

// The loading notice, "Показать MOV" and the status line.
class StatusSection : public QWidget {
    Q_OBJECT

public:
    explicit StatusSection(AppModel& model, QWidget* parent = nullptr);

private:
    void refresh();

    AppModel& model_;
    QWidget* loadingRow_;
    QPushButton* reveal_;
    QLabel* status_;
};

}  // namespace pacemark
