// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <filesystem>

namespace pacemark {

// Opens a regular file for reading and fills `status`. Anything else is
// refused with FileReadError without ever blocking: a folder (EISDIR), and a
// named pipe, a device or a socket (FileReadError::notRegularFile), whose
// plain open can block for ever (a pipe without a writer) and whose reading
// may never end. The caller owns and closes the returned descriptor.
int openRegularFileForReading(const std::filesystem::path& path, struct stat& status);

}  // namespace pacemark
