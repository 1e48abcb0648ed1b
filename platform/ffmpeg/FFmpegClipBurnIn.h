// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stop_token>

#include "Export/BurnInSettings.h"
#include "Export/ExportFrameRenderer.h"

namespace pacemark {

// One finished video to make: the clip, where the result goes, where the clip
// lies on the ride, and the encoder's quality.
struct ClipBurnInJob {
    std::filesystem::path clip;
    std::filesystem::path outputFile;  // BurnInSettings::outputPath unless the user chose
    ClipOverlayTiming timing;
    BurnInSettings settings;
};

// The overlay renderer of a clip, made once the clip's upright picture size is known.
using BurnInOverlayMaker =
    std::function<std::unique_ptr<const ExportFrameRenderer>(std::int64_t width, std::int64_t height)>;

// What the encoder of a finished video is, from the clip's bit depth.
struct BurnInEncoder {
    const char* codecName;  // libavcodec's encoder
    const char* preset;     // its speed preset
};

// Burns the overlay into a clip: the clip's video is decoded, every decoded
// picture gets the overlay of its own instant (timing.elapsedSeconds of the
// picture's presentation time after the first frame, so a variable frame rate
// stays as it was) composited in the clip's colour space, and the result is
// encoded as H.264 — HEVC Main 10 when the clip has more than 8 bits — into
// an MP4. Audio tracks and the camera's metadata track ("gpmd") are copied
// packet for packet; the container's and the tracks' metadata (creation date,
// location) and the picture's rotation are kept; other tracks (time codes,
// subtitles) are dropped. Pictures are composited in their stored
// orientation, so the overlay is turned to match it.
//
// Why not a MovieWriter: a writer is handed pictures at a fixed rate, while
// here the clip's own pictures and timestamps decide every instant.
//
// Safety as in TelemetryVideoExporter: the destination is checked first
// (ExportDestination, the clip as the input it must not replace), the video
// is written to a locked temporary file beside it and renamed into place
// only when complete; whatever fails or stops, nothing is left behind.
// `progress` receives fractions in (0, 1], the last exactly 1, on the calling
// thread; a stop request ends the work with TelemetryVideoExportCancelled.
// Failures (a clip that cannot be read or ends early, a full disk) are
// PacemarkErrors with Russian texts naming the clip.
class FFmpegClipBurnIn {
public:
    static void burnIn(const ClipBurnInJob& job, const BurnInOverlayMaker& overlays,
                       const std::function<void(double)>& progress, std::stop_token stopToken = {});

    // H.264 (libx264) for 8-bit clips, HEVC (libx265, Main 10) for deeper ones.
    static BurnInEncoder encoderFor(int bitDepth);
};

}  // namespace pacemark
