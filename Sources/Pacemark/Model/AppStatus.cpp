// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppStatus.h"

#include "PublishedValue.h"

namespace pacemark {

AppStatus::AppStatus(QObject* parent) : QObject(parent), statusText_(QStringLiteral("Выбери FIT или GPX файл.")) {}

void AppStatus::setStatusText(const QString& text) {
    publish(this, statusText_, text, &AppStatus::statusTextChanged);
}

void AppStatus::setErrorMessage(std::optional<QString> message) {
    errorActionText_.clear();
    errorAction_ = nullptr;
    publish(this, errorMessage_, std::move(message), &AppStatus::errorMessageChanged);
}

void AppStatus::setErrorMessage(const QString& message, const QString& actionText, std::function<void()> action) {
    // Set before publishing, so the alert that opens on the signal sees the button.
    errorActionText_ = actionText;
    errorAction_ = std::move(action);
    const bool same = errorMessage_ == message;
    errorMessage_ = message;
    // The button may change even when the text does not.
    if (!same || !actionText.isEmpty()) emit errorMessageChanged();
}

void AppStatus::runErrorAction() {
    auto action = std::move(errorAction_);
    setErrorMessage(std::nullopt);
    if (action) action();
}

}  // namespace pacemark
