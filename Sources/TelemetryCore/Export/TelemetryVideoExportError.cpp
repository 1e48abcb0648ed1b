#include "Export/TelemetryVideoExportError.h"

#include <cerrno>

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

std::string exportFileErrorReason(int errorNumber) {
    switch (errorNumber) {
    case ENOENT: return "папка или файл не найдены";
    case EACCES:
    case EPERM: return "нет доступа";
    case EROFS: return "диск доступен только для чтения";
    case ENOSPC:
    case EDQUOT: return "на диске нет места";
    case EFBIG: return "файл слишком большой";
    case ENOTDIR: return "часть пути не является папкой";
    case EISDIR: return "по этому пути находится папка";
    case EEXIST: return "файл уже существует";
    case EXDEV: return "файл нельзя переместить на другой диск";
    case EIO: return "ошибка ввода-вывода";
    default: return "ошибка ввода-вывода (код " + std::to_string(errorNumber) + ")";
    }
}

PacemarkError exportFileError(const std::string& action, const std::filesystem::path& path, std::error_code code) {
    const std::string name = path.filename().empty() ? path.string() : path.filename().string();
    return PacemarkError("Не удалось " + action + " «" + name + "»: " + exportFileErrorReason(code.value()) + ".");
}

}  // namespace pacemark
