#include "PacemarkError.h"

#include <cerrno>
#include <filesystem>

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
    default: return "ошибка ввода-вывода (код " + std::to_string(errorNumber) + ")";
    }
}

}  // namespace

FileReadError::FileReadError(std::string path, int errorNumber)
    : PacemarkError("Не удалось прочитать файл «" + std::filesystem::path(path).filename().string() +
                    "»: " + reasonText(errorNumber) + "."),
      path_(std::move(path)),
      errorNumber_(errorNumber) {}

}  // namespace pacemark
