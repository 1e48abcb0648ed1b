// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/ExportDestination.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Export/ExportTemporaryFile.h"
#include "PacemarkError.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;

std::string quotedName(const fs::path& path) { return "«" + path.string() + "»"; }

// A path the system could not resolve (a loop of links, no access on the way).
std::string unresolvedError(const fs::path& output, int errorNumber) {
    if (errorNumber == ENOMEM) return outOfMemoryDescription();
    return "Нельзя сохранить в " + quotedName(output) + ": " + systemErrorReason(errorNumber) + ".";
}

// What kind of file that is not a regular file the user named.
const char* kindOf(mode_t mode) {
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "устройство";
    if (S_ISFIFO(mode)) return "именованный канал";
    if (S_ISSOCK(mode)) return "сокет";
    return "особый файл";
}

std::optional<std::string> kindError(const fs::path& output, const struct stat& status) {
    if (S_ISDIR(status.st_mode)) return quotedName(output) + " — это папка; укажите имя файла.";
    if (!S_ISREG(status.st_mode)) {
        return quotedName(output) + " — не обычный файл, а " + kindOf(status.st_mode) +
               ": сохранить туда нельзя. Укажите имя обычного файла.";
    }
    return std::nullopt;
}

// The folder the temporary file would be made in, or the nearest existing
// one above it (missing folders are created by the writers).
fs::path nearestExistingFolder(const fs::path& output) {
    fs::path folder = output.parent_path();
    if (folder.empty()) return ".";
    std::error_code error;
    while (!folder.empty() && !fs::exists(folder, error) && folder.has_relative_path()) folder = folder.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

std::optional<std::string> lengthError(const fs::path& output) {
    const fs::path temporary = ExportTemporaryFile::nameFor(output);
    const fs::path folder = nearestExistingFolder(output);
    const long folderNameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t nameMax = folderNameMax > 0 ? static_cast<std::size_t>(folderNameMax) : NAME_MAX;
    const std::size_t nameBytes = temporary.filename().string().size();
    if (nameBytes > nameMax) {
        const std::size_t added = nameBytes - output.filename().string().size();
        return "Имя файла " + quotedName(output.filename()) + " слишком длинное: с суффиксом временного файла (ещё " +
               std::to_string(added) + " байт) оно длиннее " + std::to_string(nameMax) +
               " байт, допустимых в этой папке. Сократите его хотя бы на " + std::to_string(nameBytes - nameMax) +
               " байт.";
    }
    std::error_code error;
    const fs::path absolute = fs::absolute(temporary, error);
    if (!error && absolute.string().size() >= PATH_MAX) {
        return "Путь " + quotedName(output) + " слишком длинный: вместе с временным файлом он длиннее " +
               std::to_string(PATH_MAX - 1) + " байт. Выберите папку ближе к корню или имя короче.";
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> ExportDestination::error(const fs::path& output, std::span<const fs::path> inputs) {
    if (output.empty()) return "Не указано имя файла для сохранения.";
    // The file the writers would reach: folders that do not exist yet are
    // created, so "new/../ride.fit" is "ride.fit" although "new" is missing.
    std::error_code resolveError;
    const fs::path resolved = fs::weakly_canonical(output, resolveError);
    if (resolveError && resolveError.value() != ENOENT && resolveError.value() != ENOTDIR) {
        return unresolvedError(output, resolveError.value());
    }
    struct stat status {};
    if (::stat((resolveError ? output : resolved).c_str(), &status) == 0) {
        if (auto error = kindError(output, status)) return error;
        for (const fs::path& input : inputs) {
            struct stat read {};
            if (::stat(input.c_str(), &read) == 0 && read.st_dev == status.st_dev && read.st_ino == status.st_ino) {
                const bool sameName = input.lexically_normal() == output.lexically_normal();
                return "Нельзя сохранить в " + quotedName(output) + ": это " +
                       (sameName ? std::string("входной файл") : "входной файл " + quotedName(input)) +
                       ", он был бы потерян. Укажите другое имя.";
            }
        }
    } else if (errno != ENOENT && errno != ENOTDIR) {
        // Nothing there is fine (missing folders are created; a file on the
        // way is the folder check's); anything else is said as it is.
        return unresolvedError(output, errno);
    }
    if (output.filename().empty()) return "Не указано имя файла в " + quotedName(output) + ".";
    return lengthError(output);
}

std::optional<std::string> ExportDestination::replacementError(const fs::path& output) {
    struct stat status {};
    if (::stat(output.c_str(), &status) != 0) return std::nullopt;
    return kindError(output, status);
}

bool ExportDestination::isReadOnly(const fs::path& output) {
    struct stat status {};
    if (::stat(output.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    return ::faccessat(AT_FDCWD, output.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

std::string ExportDestination::readOnlyText(const fs::path& output) {
    return quotedName(output) + " доступен только для чтения.";
}

}  // namespace pacemark
