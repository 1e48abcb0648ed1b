#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace pacemark {

// What the window tells the user: the one-line status and the error shown in
// an alert. Every sub-model of the application reports through it; the last
// report wins. Main thread only.
class AppStatus : public QObject {
    Q_OBJECT

public:
    explicit AppStatus(QObject* parent = nullptr);

    QString statusText() const { return statusText_; }
    std::optional<QString> errorMessage() const { return errorMessage_; }

    void setStatusText(const QString& text);
    // The alert clears it when dismissed.
    void setErrorMessage(std::optional<QString> message);

signals:
    void statusTextChanged();
    void errorMessageChanged();

private:
    QString statusText_;
    std::optional<QString> errorMessage_;
};

}  // namespace pacemark
