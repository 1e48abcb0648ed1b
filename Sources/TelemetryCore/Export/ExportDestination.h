// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace pacemark {

// Where a file the user asked for (a movie, a picture, a layout file) may be
// written: the one rule for the command-line tool, the window and the
// writers themselves, checked before any work.
//
// Every writer puts its file together under a temporary name beside the
// destination and renames it into place. So a destination is refused when
// - it has no name, or is a folder;
// - it exists and is not a regular file: a device (/dev/null, /dev/full), a
//   FIFO or a socket. The rename would replace the node itself (as root, in
//   /dev), and writing into it instead would vanish, fail or hang;
// - it is one of the files the work reads (`inputs`): the same file by
//   device and inode, however it is spelled (relative names, "..", symbolic
//   and hard links). A ride cannot be recorded again;
// - the temporary name beside it would be longer than the folder allows;
// - the system cannot resolve it (a loop of symbolic links, no access).
// Links are followed, as opening the file would follow them. A destination
// that does not exist yet has nothing to compare and is accepted (whether
// its folder can be written is the caller's next check).
class ExportDestination {
public:
    // Russian text saying why nothing may be written at `output`, none when
    // it may.
    static std::optional<std::string> error(const std::filesystem::path& output,
                                            std::span<const std::filesystem::path> inputs = {});

    // The part of error() that concerns what is at `output` now: text when
    // it exists and is a folder or not a regular file. Writers call it right
    // before they rename a finished temporary file into place, whoever
    // called them.
    static std::optional<std::string> replacementError(const std::filesystem::path& output);

    // Whether `output` is an existing regular file that is read-only for
    // this user: no write permission bit is set (which holds even for root,
    // whom the system lets write anything), or the system refuses to open it
    // for writing. The rename would replace it all the same, so callers ask
    // the user first.
    static bool isReadOnly(const std::filesystem::path& output);
    // "«name» доступен только для чтения." for such a file.
    static std::string readOnlyText(const std::filesystem::path& output);
};

}  // namespace pacemark
