// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "Layout/PacemarkLayoutFileError.h"
#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"

namespace pacemark {

// A layout as kept in a `.pacemark-layout` file: the widgets in drawing order
// and the preset the layout started from. The file is JSON:
//
//   {"version": 1, "preset": "compactRace", "aspect": {"width": 16, "height": 9}, "widgets": [
//     {"id": "E621E1F8-C36C-495A-93FC-0C247A3E6E5F", "kind": "speed", "style": "glass",
//      "frame": {"x": 0.04, "y": 0.7, "width": 0.15, "height": 0.15},
//      "accentColor": "#35D05B", "labelColor": "#A8A8A8", "valueColor": "#FFFFFF",
//      "caption": "", "visible": true}]}
//
// Kinds, styles and presets by their case names; colours as "#RRGGBB"; frame
// fields normalized to the picture, each within 0...1; "aspect" the shape of
// the picture the frames were arranged on (PacemarkLayoutAspect), two whole
// numbers from 1 to maxAspectTerm. Every field is required except "visible"
// (true when absent: no command of the editor hides a widget) and "aspect"
// (16:9 when absent: files from before it was written were all 16:9). Reading is strict: any other field, type, value or
// version is refused with PacemarkLayoutFileError naming the field, and a
// refused file yields nothing, so a caller never applies half a layout.
// Within those bounds a value gets what the editor does to it: the frame is
// clamped (TelemetryWidgetFrame::clamped) and the caption cut
// (PacemarkWidget::limitedCaption). So a layout the editor produced reads
// back equal (operator==, ids included) to what was written, and a caller
// can tell unsaved changes by comparing the current layout with the last
// one written or read.
//
// Plain value; every function is safe on any thread.
struct PacemarkLayoutFile {
    static constexpr std::int64_t formatVersion = 1;
    // Without the dot, lower case, as TelemetryFileLoader::fileExtension gives it.
    static constexpr std::string_view fileExtension = "pacemark-layout";
    // Hundreds of widgets fit in a few dozen kilobytes; anything this large
    // is not a layout and is refused before it is parsed.
    static constexpr std::uintmax_t maxFileSizeBytes = std::uintmax_t{1} << 20;
    // The format needs four levels (file, widget list, widget, frame).
    static constexpr std::size_t maxNestingDepth = 16;
    // Larger terms describe no real picture (a side is at most 16384 pixels).
    static constexpr std::int64_t maxAspectTerm = 16384;

    PacemarkPreset basePreset = PacemarkPreset::compactRace;
    PacemarkLayout layout;

    // The preset's layout with fresh widget ids, as the editor applies it.
    static PacemarkLayoutFile fromPreset(PacemarkPreset preset);

    // Parses the bytes of a layout file. Fails with PacemarkLayoutFileError.
    static PacemarkLayoutFile parse(std::string_view bytes);
    // Reads and parses a file. Fails with FileReadError (missing, no access,
    // a folder) or PacemarkLayoutFileError (too large, or refused by parse),
    // whose text names the file.
    static PacemarkLayoutFile read(const std::filesystem::path& path);

    // The file's text: indented JSON, fields in the order above, UTF-8.
    std::string serialized() const;
    // Writes serialized() to a temporary file beside `path`, flushed to disk,
    // and moves it over `path`, so an existing file is replaced only by a
    // complete one. A layout that parse() would refuse (repeated ids, a frame
    // outside the picture) is not written. Fails with PacemarkLayoutFileError
    // (writeFailed, or the refusal's case told as a failure to save), or with
    // PacemarkError when `path` is a folder or not a regular file (a device
    // is never replaced: ExportDestination::replacementError).
    void write(const std::filesystem::path& path) const;

    // Whether the file name ends in ".pacemark-layout" (any letter case), the
    // rule for routing an opened or dropped file to the layout reader.
    static bool hasLayoutExtension(const std::filesystem::path& path);

    bool operator==(const PacemarkLayoutFile&) const = default;
};

}  // namespace pacemark
