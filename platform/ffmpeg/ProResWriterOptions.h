// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pacemark {

// Tuning of the ProRes writer; the defaults are what exports use.
struct ProResWriterOptions {
    // Fixed quantiser (1 best ... 31), or 0 for the encoder's own per-slice
    // rate search. On rendered 1080p overlay frames the rate search settles on
    // quantiser 1 anyway (the same bytes: about 250 kB a frame, 82 dB PSNR of
    // the grey composite) but takes several times longer to get there, so the
    // writer asks for 1 directly.
    int quantiser = 1;
    // Bits of the coded alpha plane, 8 or 16. The renderer's alpha has 8
    // bits, so 8 is lossless, and it halves the alpha data: 10-45 % fewer
    // bytes per 1080p frame across the presets (cinematicHud 1177 -> 647 kB).
    int alphaBits = 8;
    int encoderThreads = 2;  // slice threads of the encoder
    int pictureBuffers = 3;  // pictures that may be in flight (drawn, queued, encoding)
    // Store a repeated frame once and point every repeat at it in the
    // sample table (QuickTimeProResWriter) instead of writing it again.
    bool compact = false;
    // Encode only the slices whose pixels changed since the previous
    // distinct picture and take the others from its coded frame (see
    // ProResSliceEncoder); the frames are byte for byte those of encoding
    // every picture whole. Only with a fixed quantiser.
    bool reuseSlices = true;
};

}  // namespace pacemark
