// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <ostream>
#include <span>

namespace pacemark::cli {

// The check every command that writes a file makes before any work: the
// core's rule (ExportDestination: no name, a folder, a device or other file
// that is not a regular file, one of `inputs`, a name too long) is a usage
// error (status 2). An existing read-only file is replaced only with
// --force (`force`), and then a note on `err` says so; without it, a usage
// error says how to ask.
void checkDestination(const std::filesystem::path& output, std::span<const std::filesystem::path> inputs, bool force,
                      std::ostream& err);

}  // namespace pacemark::cli
