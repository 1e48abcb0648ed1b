#include "AppStatus.h"

#include "PublishedValue.h"

namespace pacemark {

AppStatus::AppStatus(QObject* parent) : QObject(parent), statusText_(QStringLiteral("Выбери FIT или GPX файл.")) {}

void AppStatus::setStatusText(const QString& text) {
    publish(this, statusText_, text, &AppStatus::statusTextChanged);
}

void AppStatus::setErrorMessage(std::optional<QString> message) {
    publish(this, errorMessage_, std::move(message), &AppStatus::errorMessageChanged);
}

}  // namespace pacemark
