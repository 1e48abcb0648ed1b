// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/TelemetryVideoExportError.h"

namespace pacemark {

TelemetryVideoExportError TelemetryVideoExportError::writerFailed(std::string message) {
    return {Case::writerFailed, message};
}

TelemetryVideoExportError TelemetryVideoExportError::cannotCreateWriter() {
    return {Case::cannotCreateWriter, "Не удалось создать видеозапись."};
}

TelemetryVideoExportError TelemetryVideoExportError::cannotAddVideoInput() {
    return {Case::cannotAddVideoInput, "Не удалось добавить видеодорожку."};
}

TelemetryVideoExportError TelemetryVideoExportError::cannotCreatePixelBuffer() {
    return {Case::cannotCreatePixelBuffer, "Не удалось создать буфер видеокадра."};
}

PacemarkError exportFileError(const std::string& action, const std::filesystem::path& path, std::error_code code) {
    return PacemarkError(fileFailureDescription(action, path, code.value()));
}

}  // namespace pacemark
