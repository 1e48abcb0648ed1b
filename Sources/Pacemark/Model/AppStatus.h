// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <functional>
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
    // Any new message (or none) also drops the alert's action.
    void setErrorMessage(std::optional<QString> message);
    // An error alert with a second button besides "ОК": `actionText` names it,
    // `action` runs when it is chosen.
    void setErrorMessage(const QString& message, const QString& actionText, std::function<void()> action);

    // Empty when the alert offers nothing but "ОК".
    QString errorActionText() const { return errorActionText_; }
    // Runs the offered action once and dismisses the alert; nothing without one.
    void runErrorAction();

signals:
    void statusTextChanged();
    void errorMessageChanged();

private:
    QString statusText_;
    std::optional<QString> errorMessage_;
    QString errorActionText_;
    std::function<void()> errorAction_;
};

}  // namespace pacemark
