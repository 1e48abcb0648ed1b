#include "PacemarkError.h"

#include <cerrno>
#include <filesystem>
#include <new>

namespace pacemark {
namespace {

std::string reasonText(int errorNumber) {
    switch (errorNumber) {
    case ENOENT: return "файл не найден";
    case EACCES:
    case EPERM: return "нет доступа";
    case EISDIR: return "это папка, а не файл";
    case ENOMEM:
    case EFBIG: return "файл слишком большой";
    default: return systemErrorReason(errorNumber);
    }
}

}  // namespace

std::string systemErrorReason(int errorNumber) {
    switch (errorNumber) {
    case ENOENT: return "нет такого файла или папки";
    case EACCES:
    case EPERM: return "нет доступа";
    case EISDIR: return "это папка, а не файл";
    case ENOTDIR: return "часть пути — не папка";
    case EROFS: return "файловая система доступна только для чтения";
    case ENOSPC: return "на диске нет места";
    case EDQUOT: return "превышена дисковая квота";
    case EFBIG: return "файл слишком большой";
    case ENAMETOOLONG: return "слишком длинное имя";
    case ENOMEM: return "не хватает памяти";
    case EMFILE:
    case ENFILE: return "открыто слишком много файлов";
    case EIO: return "ошибка ввода-вывода";
    default: return "системная ошибка (код " + std::to_string(errorNumber) + ")";
    }
}

std::string userFacingDescription(const std::exception& error) {
    if (const auto* ours = dynamic_cast<const PacemarkError*>(&error)) return ours->errorDescription();
    if (dynamic_cast<const std::bad_alloc*>(&error)) {
        return "Не хватает памяти для этой операции. Закройте другие программы или выберите меньший размер кадра.";
    }
    return std::string("Внутренняя ошибка: ") + error.what();
}

FileReadError::FileReadError(std::string path, int errorNumber)
    : FileReadError(std::move(path), errorNumber, reasonText(errorNumber)) {}

FileReadError::FileReadError(std::string path, int errorNumber, const std::string& reason)
    : PacemarkError("Не удалось прочитать файл «" + std::filesystem::path(path).filename().string() + "»: " + reason +
                    "."),
      path_(std::move(path)),
      errorNumber_(errorNumber) {}

FileReadError FileReadError::notRegularFile(std::string path, const std::string& kind) {
    return FileReadError(std::move(path), 0, "это " + kind + ", а не обычный файл");
}

}  // namespace pacemark
