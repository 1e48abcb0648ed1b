// SPDX-License-Identifier: GPL-3.0-or-later
#include "RegularFileOpening.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "PacemarkError.h"

namespace pacemark {
namespace {

void requireRegularFile(const std::filesystem::path& path, mode_t mode) {
    if (S_ISREG(mode)) return;
    if (S_ISDIR(mode)) throw FileReadError(path.string(), EISDIR);
    if (S_ISFIFO(mode)) throw FileReadError::notRegularFile(path.string(), "именованный канал");
    if (S_ISSOCK(mode)) throw FileReadError::notRegularFile(path.string(), "сокет");
    throw FileReadError::notRegularFile(path.string(), "устройство");
}

}  // namespace

int openRegularFileForReading(const std::filesystem::path& path, struct stat& status) {
    // Judged before opening: opening a named pipe without a writer blocks.
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0) throw FileReadError(path.string(), errno);
    requireRegularFile(path, named.st_mode);
    // The path may have been replaced since: O_NONBLOCK keeps the open from
    // blocking on a pipe, which the second look then refuses.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) throw FileReadError(path.string(), errno);
    try {
        if (::fstat(descriptor, &status) != 0) throw FileReadError(path.string(), errno);
        requireRegularFile(path, status.st_mode);
        const int flags = ::fcntl(descriptor, F_GETFL);
        if (flags < 0 || ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            throw FileReadError(path.string(), errno);
        }
    } catch (...) {
        ::close(descriptor);
        throw;
    }
    return descriptor;
}

}  // namespace pacemark
