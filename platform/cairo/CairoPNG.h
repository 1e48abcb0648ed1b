// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "PacemarkError.h"
#include "Rendering/DrawingGeometry.h"
#include "Rendering/PixelBuffer.h"

namespace pacemark {

// A PNG file could not be read or written.
class PNGFileError : public PacemarkError {
public:
    using PacemarkError::PacemarkError;
};

// A picture that owns its pixels: BGRA premultiplied, rows packed tightly.
struct OwnedPixelBuffer {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> bytes;

    OwnedPixelBuffer() = default;
    OwnedPixelBuffer(std::int64_t pixelWidth, std::int64_t pixelHeight)
        : width(pixelWidth),
          height(pixelHeight),
          bytes(static_cast<std::size_t>(pixelWidth > 0 && pixelHeight > 0 ? pixelWidth * pixelHeight * 4 : 0), 0) {}

    PixelBufferView view() { return {bytes.data(), width, height, width * 4}; }
};

// Writes the picture as an 8-bit RGBA PNG (straight alpha in the file),
// through a temporary file beside `file` that is renamed over it when
// complete: an old picture stays whole until the new one is. Throws
// PNGFileError with the Russian reason, and refuses a `file` that is a folder
// or not a regular file (ExportDestination::replacementError).
void writePNGFile(const PixelBufferView& pixels, const std::filesystem::path& file);
// Reads any PNG into premultiplied BGRA.
OwnedPixelBuffer readPNGFile(const std::filesystem::path& file);

// Draws `source` over `target` (source over), scaled with smoothing so that
// it covers the rectangle entirely (cropped evenly when the shapes differ)
// and clipped to it.
void drawPictureToFill(const OwnedPixelBuffer& source, const PixelBufferView& target, DrawingRect rect);

}  // namespace pacemark
