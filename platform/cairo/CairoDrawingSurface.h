// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "PacemarkError.h"
#include "Rendering/DrawingSurface.h"

namespace pacemark {

// The Inter font files could not be loaded.
class DrawingFontError : public PacemarkError {
public:
    explicit DrawingFontError(const std::filesystem::path& file);
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
};

class CairoFontResources;
struct ShadowMaskCache;

// Makes cairo surfaces over caller memory (ARGB32 premultiplied, i.e. B, G,
// R, A bytes on little-endian machines). Text uses only the four Inter files
// loaded here (Medium, SemiBold, Bold, ExtraBold), never the system's fonts.
// Shareable between threads; each thread keeps its own Pango font map, and
// all surfaces share a bounded cache of blurred shadow masks.
class CairoDrawingSurfaceFactory final : public DrawingSurfaceFactory {
public:
    // Where the fonts-inter package installs its files.
    static std::filesystem::path defaultFontFolder();

    // Throws DrawingFontError when a font file is missing or unreadable.
    explicit CairoDrawingSurfaceFactory(const std::filesystem::path& fontFolder = defaultFontFolder());
    ~CairoDrawingSurfaceFactory() override;

    // nullptr for an invalid view, a row length that is not a whole number of
    // 4-byte words, or a size cairo cannot address (above 32767 pixels).
    std::unique_ptr<DrawingSurface> makeSurface(PixelBufferView pixels) const override;

private:
    std::shared_ptr<const CairoFontResources> fonts_;
    std::shared_ptr<ShadowMaskCache> shadows_;
};

}  // namespace pacemark
