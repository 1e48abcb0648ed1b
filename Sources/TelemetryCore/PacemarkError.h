// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pacemark {

// Base of every error the system shows to the user. The description is
// Russian UTF-8 text, returned by errorDescription() and by what().
class PacemarkError : public std::runtime_error {
public:
    explicit PacemarkError(const std::string& description) : std::runtime_error(description) {}
    std::string errorDescription() const { return what(); }
};

// The reason for a failed system call (an errno value) in Russian, for
// messages that name what failed: "нет доступа", "на диске нет места"…
// The one table of such reasons: every path (export, pictures, layouts,
// movie checks, FFmpeg's errno codes) words them through it.
std::string systemErrorReason(int errorNumber);

// What the user reads when memory ran out, whatever ran out of it
// (std::bad_alloc, ENOMEM from the system, a library's out-of-memory code).
std::string outOfMemoryDescription();

// "Не удалось <action> «<file name>»: <reason>." for a file operation that
// failed with `errorNumber`, or outOfMemoryDescription() for ENOMEM.
std::string fileFailureDescription(std::string_view action, const std::filesystem::path& path, int errorNumber);

// Our own text for any failure that reaches the user: the description of a
// PacemarkError, outOfMemoryDescription() for std::bad_alloc, the system's
// reason for a std::filesystem or other system error, and
// "Внутренняя ошибка: …" for anything else.
std::string userFacingDescription(const std::exception& error);

// A file could not be read (missing, unreadable, a folder, an I/O failure).
class FileReadError : public PacemarkError {
public:
    FileReadError(std::string path, int errorNumber);
    // Not a regular file (a named pipe, a device, a socket): refused before it
    // is opened for reading, since reading one can block for ever or never
    // end. `kind` names it in Russian; errorNumber() is 0.
    static FileReadError notRegularFile(std::string path, const std::string& kind);
    const std::string& path() const { return path_; }
    int errorNumber() const { return errorNumber_; }

private:
    FileReadError(std::string path, int errorNumber, const std::string& reason);

    std::string path_;
    int errorNumber_;
};

}  // namespace pacemark
