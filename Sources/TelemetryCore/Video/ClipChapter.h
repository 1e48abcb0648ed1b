// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <compare>
#include <filesystem>
#include <optional>
#include <string>

namespace pacemark {

// A camera splits a long recording into chapter files and says so only in
// their names. Two naming schemes are read (letters in either case):
// - "G" + kind + chapter + recording: GX011234.MP4, GX021234.MP4 … (kinds X,
//   H and L: HEVC, AVC and the low-resolution proxy), chapters 01–99;
// - GOPR1234.MP4 for the first chapter, then GP011234.MP4, GP021234.MP4 …
// A file of another name is a recording of its own.
struct ClipChapter {
    // The same for every chapter of one recording and only for those: the
    // folder, the scheme and kind, the recording number and the extension
    // (a proxy GL011234.LRV is not a chapter of GX011234.MP4).
    std::string recording;
    // The chapter's place in its recording: 0 for GOPRnnnn, otherwise the
    // two-digit chapter number.
    int number = 0;

    bool operator==(const ClipChapter&) const = default;

    // The chapter `file` names, none when its name is not a chapter's.
    static std::optional<ClipChapter> fromFileName(const std::filesystem::path& file);
};

}  // namespace pacemark
