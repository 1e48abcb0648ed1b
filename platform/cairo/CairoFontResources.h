// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "CairoHandles.h"
#include "Rendering/DrawingSurface.h"

namespace pacemark {

// The four Inter files (Medium, SemiBold, Bold, ExtraBold) in a private
// fontconfig configuration that knows no other font, and the drawing of one
// line of text with them. Shared by every surface of a factory and usable
// from several threads: Pango font maps and contexts are not shared between
// threads, so each thread keeps its own over this configuration.
class CairoFontResources {
public:
    // Throws DrawingFontError when a font file is missing or unreadable.
    explicit CairoFontResources(const std::filesystem::path& fontFolder);
    CairoFontResources(const CairoFontResources&) = delete;
    CairoFontResources& operator=(const CairoFontResources&) = delete;

    // Draws `text` as one line (line breaks shown as spaces) at the top of
    // `rect`, as DrawingSurface::drawText describes; leaves cr's path and
    // state as they were.
    void drawLine(cairo_t* cr, std::string_view text, DrawingRect rect, DrawingFont font, DrawingColor color,
                  DrawingTextAlignment alignment) const;

private:
    // This thread's Pango context over the configuration, or nullptr.
    PangoContext* threadContext() const;

    cairo::FontConfigHandle config_;
    std::uint64_t id_ = 0;  // tells the thread contexts of two factories apart
};

}  // namespace pacemark
