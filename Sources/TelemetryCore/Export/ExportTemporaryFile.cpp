// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/ExportTemporaryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Export/ExportDestination.h"
#include "Export/TelemetryVideoExportError.h"
#include "Layout/UUID.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;

// Whether `path` still names the file open at `descriptor`: a cleaner may
// have removed the name between our creating the file and locking it.
bool namesOpenFile(const fs::path& path, int descriptor) {
    struct stat atPath {};
    struct stat open {};
    return ::stat(path.c_str(), &atPath) == 0 && ::fstat(descriptor, &open) == 0 && atPath.st_dev == open.st_dev &&
           atPath.st_ino == open.st_ino;
}

}  // namespace

fs::path ExportTemporaryFile::nameFor(const fs::path& destination) {
    std::string extension = destination.extension().string();
    extension = extension.empty() ? "mov" : extension.substr(1);
    return destination.parent_path() /
           (destination.stem().string() + "." + UUID::random().uuidString() + ".tmp." + extension);
}

bool ExportTemporaryFile::isTemporaryName(std::string_view name) {
    // "<base>.<36-character UUID>.tmp.<ext>", base and ext non-empty, ext without dots.
    const std::size_t tmp = name.rfind(".tmp.");
    if (tmp == std::string_view::npos || tmp < 38 || tmp + 5 >= name.size()) return false;
    if (name.find('.', tmp + 5) != std::string_view::npos) return false;
    if (name[tmp - 37] != '.') return false;
    const std::string_view uuid = name.substr(tmp - 36, 36);
    for (std::size_t i = 0; i < uuid.size(); ++i) {
        const char c = uuid[i];
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

ExportTemporaryFile::ExportTemporaryFile(const fs::path& destination) {
    // A fresh name is created exclusively and then locked; should a cleaner
    // take the name in between, it is tried again with another.
    int lastError = 0;
    for (int attempt = 0; attempt < 8; ++attempt) {
        path_ = nameFor(destination);
        const int descriptor = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor < 0) {
            lastError = errno;
            if (lastError == EEXIST) continue;
            break;
        }
        if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && namesOpenFile(path_, descriptor)) {
            descriptor_ = descriptor;
            return;
        }
        lastError = errno == 0 ? EAGAIN : errno;
        ::close(descriptor);
    }
    throw exportFileError("создать временный файл", path_, std::error_code(lastError, std::generic_category()));
}

ExportTemporaryFile::~ExportTemporaryFile() {
    // Removed while still locked, so no cleaner can mistake it for a leftover
    // in between; the check makes sure the name is still ours.
    if (!moved_ && namesOpenFile(path_, descriptor_)) ::unlink(path_.c_str());
    ::close(descriptor_);
}

void ExportTemporaryFile::moveInto(const fs::path& destination, std::error_code& error) {
    if (const auto refusal = ExportDestination::replacementError(destination)) throw PacemarkError(*refusal);
    fs::rename(path_, destination, error);
    if (!error) moved_ = true;
}

std::size_t ExportTemporaryFile::removeStale(const fs::path& folder) noexcept {
    std::size_t removed = 0;
    try {
        std::error_code error;
        for (fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, error), end;
             !error && entry != end; entry.increment(error)) {
            const fs::path path = entry->path();
            if (!isTemporaryName(path.filename().string())) continue;
            const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
            if (descriptor < 0) continue;
            struct stat status {};
            // Only regular files, and only when no running export holds the lock.
            if (::fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
                ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && namesOpenFile(path, descriptor) &&
                ::unlink(path.c_str()) == 0) {
                ++removed;
            }
            ::close(descriptor);
        }
    } catch (...) {
        // Cleaning up is a courtesy: a folder that cannot be listed is left as it is.
    }
    return removed;
}

}  // namespace pacemark
