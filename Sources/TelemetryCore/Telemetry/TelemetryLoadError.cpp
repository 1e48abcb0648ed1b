// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetryLoadError.h"

namespace pacemark {

TelemetryLoadError::TelemetryLoadError(Case errorCase, std::string extension, const std::string& description)
    : PacemarkError(description), case_(errorCase), extension_(std::move(extension)) {}

TelemetryLoadError TelemetryLoadError::unsupportedExtension(std::string extension) {
    const std::string description = "Неподдерживаемое расширение файла телеметрии: ." + extension;
    return TelemetryLoadError(Case::unsupportedExtension, std::move(extension), description);
}

TelemetryLoadError TelemetryLoadError::emptyActivity() {
    return TelemetryLoadError(Case::emptyActivity, "", "В файле телеметрии нет пригодных точек.");
}

TelemetryLoadError TelemetryLoadError::tooManySamples(std::size_t budget) {
    return TelemetryLoadError(Case::tooManySamples, "",
                              "Файл телеметрии слишком велик: в нём больше " + std::to_string(budget) +
                                  " точек, столько не поместится в памяти.");
}

}  // namespace pacemark
