// SPDX-License-Identifier: GPL-3.0-or-later
// Arbitrary bytes into the layout file reader: it must either return a layout
// or throw PacemarkLayoutFileError, never crash, recurse without bound or hit
// undefined behaviour. What it returns must keep the editor's bounds and read
// back unchanged after being written.
//
// The reader pulls in the core's file reading, so the whole core is built in.
// fuzz-seeds: pacemark-layout
// Layout files are small; a size near the reader's nesting and field checks
// keeps the rate high.
// fuzz-options: -max_len=16384

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Layout/PacemarkLayoutFile.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using pacemark::PacemarkLayoutFile;
    using pacemark::TelemetryWidgetFrame;
    PacemarkLayoutFile file;
    try {
        file = PacemarkLayoutFile::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const pacemark::PacemarkLayoutFileError& error) {
        require(!error.errorDescription().empty());
        return 0;
    }
    for (const auto& widget : file.layout.widgets) {
        const TelemetryWidgetFrame& frame = widget.frame;
        require(frame == frame.clamped());
        require(frame.width >= TelemetryWidgetFrame::minWidth && frame.width <= TelemetryWidgetFrame::maxWidth);
        require(frame.x >= 0 && frame.x + frame.width <= 1 + 1e-12);
        require(frame.y >= 0 && frame.y + frame.height <= 1 + 1e-12);
        require(widget.titleOverride == pacemark::PacemarkWidget::limitedCaption(widget.titleOverride));
        require(widget.accentHex <= 0xFFFFFF && widget.labelColorHex <= 0xFFFFFF && widget.valueColorHex <= 0xFFFFFF);
    }
    // Whatever was accepted is written and read back as the same value.
    require(PacemarkLayoutFile::parse(file.serialized()) == file);
    return 0;
}
