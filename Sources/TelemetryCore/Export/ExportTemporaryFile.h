// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

namespace pacemark {

// The temporary movie of one running export, beside its destination and
// named after it: "<base>.<UUID>.tmp.<ext>" (ext "mov" when the destination
// has none).
//
// While the export runs the file is held under an exclusive lock (flock) on
// a descriptor of our own. The kernel drops the lock when the process ends,
// however it ends (kill -9, a closed terminal, a power cut leave the file
// but not the lock), so an unlocked file of this name is the leftover of a
// dead export: removeStale() deletes those and never a running export's.
//
// The movie writer opens and truncates the same path; the lock belongs to
// the file itself and stays. Not copyable; one thread at a time.
class ExportTemporaryFile {
public:
    // Creates the file, empty and locked, in the destination's folder (which
    // must exist). Throws PacemarkError when it cannot be created.
    explicit ExportTemporaryFile(const std::filesystem::path& destination);
    // Removes the file unless it was moved into place, then drops the lock.
    ~ExportTemporaryFile();
    ExportTemporaryFile(const ExportTemporaryFile&) = delete;
    ExportTemporaryFile& operator=(const ExportTemporaryFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Renames the finished file over `destination` (atomically replacing an
    // old one). The lock travels with the file until this object dies.
    // Throws PacemarkError, leaving the destination alone, when it is a
    // folder or not a regular file (ExportDestination::replacementError):
    // a device node is never replaced, whoever asked.
    void moveInto(const std::filesystem::path& destination, std::error_code& error);

    // A fresh name of this form for `destination`.
    static std::filesystem::path nameFor(const std::filesystem::path& destination);
    // Whether a file name has this form ("ride-telemetry.<UUID>.tmp.mov").
    static bool isTemporaryName(std::string_view fileName);

    // Deletes the temporary files of dead exports in `folder` and returns how
    // many went. Files of running exports (locked), other files and anything
    // that cannot be read or removed are left alone; never throws. Every
    // export calls it for its destination's folder; the window may call it
    // at start for a folder it is about to export into.
    static std::size_t removeStale(const std::filesystem::path& folder) noexcept;

private:
    std::filesystem::path path_;
    int descriptor_ = -1;
    bool moved_ = false;
};

}  // namespace pacemark
