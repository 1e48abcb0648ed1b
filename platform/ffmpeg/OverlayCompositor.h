// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Rendering/PixelBuffer.h"

namespace pacemark {

// The Y'CbCr matrix of a picture.
enum class YUVMatrix { bt601, bt709, bt2020 };

// The transfer function of a picture: SDR (BT.709, sRGB and BT.601 are one
// curve for this purpose), or one of the HDR curves phones and cameras
// record 10-bit video with (PQ, HLG), whose pictures use BT.2020 primaries.
enum class YUVTransfer { sdr, pq, hlg };

// How a decoded clip stores its colour: the matrix, the range, the transfer,
// the bit depth and the chroma subsampling, all read from the stream.
struct YUVPictureFormat {
    YUVMatrix matrix = YUVMatrix::bt709;
    bool fullRange = false;  // 0…2^n − 1 instead of 16…235 (luma) and 16…240 (chroma), scaled to n bits
    int bitDepth = 8;        // 8 (one byte per sample) or 9…16 (two bytes, native order)
    int chromaShiftX = 1;    // log2 of the horizontal chroma subsampling (1 for 4:2:0 and 4:2:2)
    int chromaShiftY = 1;    // log2 of the vertical one (1 for 4:2:0)
    YUVTransfer transfer = YUVTransfer::sdr;

    bool operator==(const YUVPictureFormat&) const = default;
};

// Three planes of a picture in memory the caller owns (Y, Cb, Cr), with the
// distance between rows in bytes.
struct YUVPlanes {
    std::uint8_t* data[3] = {nullptr, nullptr, nullptr};
    std::ptrdiff_t bytesPerRow[3] = {0, 0, 0};
};

// Composites the renderer's overlay onto the decoded pictures of a clip, in
// the clip's own colour space, so the result is encoded without any
// conversion of the clip's pixels.
//
// setOverlay() converts an overlay picture (premultiplied sRGB BGRA in the
// upright orientation the viewer sees) once: it is turned into the clip's
// stored orientation, converted with the clip's matrix and range at its bit
// depth, and kept as "keep this share of the clip's sample, add this much"
// per sample, over the runs of samples the overlay covers. composite() then
// touches only those runs. Overlay pictures repeat for many clip frames (a
// ride records one sample a second), so the conversion is paid once per
// distinct picture and the per-frame cost is proportional to the covered area.
//
// Colours are blended as the clip stores them (gamma-encoded), which is how
// editors composite titles over video. In an HDR clip the overlay's white is
// the reference white of HDR video (203 cd/m², 75 % of the HLG signal), not
// the display's peak: its sRGB colours are taken to linear light, to BT.2020
// primaries, scaled to that white and encoded with the clip's curve. One
// thread at a time.
class OverlayCompositor {
public:
    // `width` × `height` is the clip's stored (coded) picture;
    // `clockwiseRotationDegrees` (0, 90, 180 or 270) is the turn that makes
    // it upright, so the overlay is (height × width) for 90 and 270.
    OverlayCompositor(YUVPictureFormat format, std::int64_t width, std::int64_t height, int clockwiseRotationDegrees);

    // The upright size setOverlay() expects.
    std::int64_t overlayWidth() const;
    std::int64_t overlayHeight() const;

    // Converts `overlay` (overlayWidth() × overlayHeight()) for the next composites.
    void setOverlay(PixelBufferView overlay);
    // Blends the converted overlay into `picture` (the clip's size and format).
    void composite(const YUVPlanes& picture) const;

    // Luma samples the current overlay covers (those composite() changes).
    std::int64_t coveredLumaSamples() const;

    // A share of the clip's sample and an addition, in 2^-shareBits units.
    static constexpr int shareBits = 14;

private:
    struct Run {
        std::int32_t row = 0;
        std::int32_t firstColumn = 0;
        std::int32_t columnCount = 0;
        std::size_t firstEntry = 0;  // into keep_/add_ (or the chroma ones)
    };
    struct PlaneRuns {
        std::vector<Run> runs;
        std::vector<std::uint16_t> keep;       // (1 − alpha) · 2^shareBits
        std::vector<std::uint32_t> add[2];     // premultiplied contribution · 2^shareBits (one per plane)
    };

    void uprightOverlay(PixelBufferView overlay);
    void convertLuma();
    void convertChroma();

    YUVPictureFormat format_;
    std::int64_t width_;
    std::int64_t height_;
    int rotation_;
    // The overlay turned into the stored orientation, as straight-indexed BGRA.
    std::vector<std::uint32_t> stored_;
    PlaneRuns luma_;
    PlaneRuns chroma_;
};

}  // namespace pacemark
