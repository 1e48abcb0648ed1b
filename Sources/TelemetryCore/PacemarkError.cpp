// SPDX-License-Identifier: GPL-3.0-or-later
#include "PacemarkError.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

namespace pacemark {
namespace {

struct SystemErrorText {
    int errorNumber;
    const char* reason;
};

// Every errno a file operation, a memory request or a library built on them
// can plausibly give the system, with its Russian reason. Values that are
// aliases on some system (EAGAIN and EWOULDBLOCK, ENOTSUP and EOPNOTSUPP)
// appear once: the check below refuses a second row for a value.
constexpr SystemErrorText kSystemErrorTexts[] = {
    {ENOENT, "папка или файл не найдены"},
    {EACCES, "нет доступа"},
    {EPERM, "нет доступа"},
    {EROFS, "диск доступен только для чтения"},
    {ENOSPC, "на диске нет места"},
    {EDQUOT, "превышена дисковая квота"},
    {EFBIG, "файл слишком большой"},
    {ENOTDIR, "часть пути не является папкой"},
    {EISDIR, "по этому пути находится папка"},
    {EEXIST, "файл уже существует"},
    {ENOTEMPTY, "папка не пуста"},
    {EXDEV, "файл нельзя переместить на другой диск"},
    {ENAMETOOLONG, "слишком длинное имя файла или путь"},
    {ELOOP, "символические ссылки в пути замкнуты в петлю"},
    {ENOMEM, "не хватает памяти"},
    {EMFILE, "открыто слишком много файлов"},
    {ENFILE, "открыто слишком много файлов"},
    {EIO, "ошибка ввода-вывода"},
    {EBUSY, "файл или устройство заняты"},
    {ETXTBSY, "файл занят работающей программой"},
    {ENXIO, "устройство недоступно"},
    {ENODEV, "устройство не поддерживает эту операцию"},
    {ENOTSUP, "операция не поддерживается этой файловой системой"},
    {EINVAL, "недопустимый аргумент"},
    {EOVERFLOW, "значение слишком велико"},
    {ERANGE, "значение вне допустимого диапазона"},
    {ESPIPE, "это не обычный файл, а канал или устройство"},
    {EPIPE, "канал закрыт с другой стороны"},
    {EAGAIN, "ресурс временно недоступен"},
    {EINTR, "операция прервана"},
    {EBADF, "файл не открыт"},
    {EMLINK, "слишком много ссылок на файл"},
    {ESTALE, "сетевой файл больше недоступен"},
    {ETIMEDOUT, "истекло время ожидания"},
    {ENOLCK, "нет свободных блокировок файлов"},
    {ECANCELED, "операция отменена"},
    {EILSEQ, "недопустимая последовательность байтов"},
    {ENOEXEC, "неверный формат исполняемого файла"},
    {EDOM, "аргумент вне области определения"},
};

constexpr bool everyErrorNumberHasOneRow() {
    for (std::size_t i = 0; i < std::size(kSystemErrorTexts); ++i) {
        for (std::size_t j = i + 1; j < std::size(kSystemErrorTexts); ++j) {
            if (kSystemErrorTexts[i].errorNumber == kSystemErrorTexts[j].errorNumber) return false;
        }
    }
    return true;
}
static_assert(everyErrorNumberHasOneRow(), "an errno value (or its alias) appears twice");

// Reading a telemetry file words a few reasons for what the user did.
std::string readReasonText(int errorNumber) {
    switch (errorNumber) {
    case ENOENT: return "файл не найден";
    case EISDIR: return "это папка, а не файл";
    default: return systemErrorReason(errorNumber);
    }
}

std::string displayName(const std::filesystem::path& path) {
    return path.filename().empty() ? path.string() : path.filename().string();
}

}  // namespace

std::string systemErrorReason(int errorNumber) {
    for (const SystemErrorText& row : kSystemErrorTexts) {
        if (row.errorNumber == errorNumber) return row.reason;
    }
    return "системная ошибка (код " + std::to_string(errorNumber) + ")";
}

std::string outOfMemoryDescription() {
    return "Не хватает памяти для этой операции. Закройте другие программы или выберите меньший размер кадра.";
}

std::string fileFailureDescription(std::string_view action, const std::filesystem::path& path, int errorNumber) {
    if (errorNumber == ENOMEM) return outOfMemoryDescription();
    return "Не удалось " + std::string(action) + " «" + displayName(path) + "»: " + systemErrorReason(errorNumber) +
           ".";
}

std::string userFacingDescription(const std::exception& error) {
    if (const auto* ours = dynamic_cast<const PacemarkError*>(&error)) return ours->errorDescription();
    if (dynamic_cast<const std::bad_alloc*>(&error)) return outOfMemoryDescription();
    if (const auto* file = dynamic_cast<const std::filesystem::filesystem_error*>(&error)) {
        const int errorNumber = file->code().value();
        if (errorNumber == ENOMEM) return outOfMemoryDescription();
        const std::string name = displayName(file->path1());
        return "Ошибка файловой системы" + (name.empty() ? std::string() : " с «" + name + "»") + ": " +
               systemErrorReason(errorNumber) + ".";
    }
    if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
        const std::error_category& category = system->code().category();
        if (category == std::generic_category() || category == std::system_category()) {
            if (system->code().value() == ENOMEM) return outOfMemoryDescription();
            return "Системная ошибка: " + systemErrorReason(system->code().value()) + ".";
        }
    }
    return std::string("Внутренняя ошибка: ") + error.what();
}

FileReadError::FileReadError(std::string path, int errorNumber)
    : FileReadError(std::move(path), errorNumber, readReasonText(errorNumber)) {}

FileReadError::FileReadError(std::string path, int errorNumber, const std::string& reason)
    : PacemarkError(errorNumber == ENOMEM ? outOfMemoryDescription()
                                          : "Не удалось прочитать файл «" + std::filesystem::path(path).filename().string() +
                                                "»: " + reason + "."),
      path_(std::move(path)),
      errorNumber_(errorNumber) {}

FileReadError FileReadError::notRegularFile(std::string path, const std::string& kind) {
    return FileReadError(std::move(path), 0, "это " + kind + ", а не обычный файл");
}

}  // namespace pacemark
