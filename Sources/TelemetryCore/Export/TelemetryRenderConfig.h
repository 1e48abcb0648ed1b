// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "Layout/PacemarkWidget.h"
#include "Video/ClipRideKnot.h"
#include "Export/TelemetryExportSettings.h"

namespace pacemark {

// The timing of an overlay made for one camera clip: the movie has exactly
// the clip's frames, and its clock runs at the clip's clock rate (ride
// seconds per movie second: 1 for a normal clip, about 10 for a 10×
// timelapse), or follows a variable-speed clip's clock piece by piece.
struct TelemetryClipTiming {
    std::int64_t frameCount = 1;            // >= 1
    double rideSecondsPerMovieSecond = 1;   // > 0 and finite
    // A variable-speed clip: the ride instant of every movie time is on the
    // line through these knots (at least two, increasing movie times), and
    // the start and rate above only describe the clip as a whole. Empty for
    // a clip that runs at one rate.
    std::vector<ClipRideKnot> rideKnots;

    bool operator==(const TelemetryClipTiming&) const = default;
};

// Everything an export needs besides the activity, frozen when it starts: the
// export settings (size, rate, codec, and their rules), where the movie goes,
// the segment and the layout.
struct TelemetryRenderConfig : TelemetryExportSettings {
    std::filesystem::path outputFile;
    // >= 0 and never NaN for an ordinary export; a clip overlay keeps the
    // sign (a clip that starts before the ride), finite.
    double startOffsetSeconds;
    std::optional<double> durationSeconds;  // absent: to the end of the activity
    PacemarkLayout layout;
    // Present for a clip overlay (forClip); the frame count and the clock
    // rate then come from here instead of the segment.
    std::optional<TelemetryClipTiming> clipTiming;

    TelemetryRenderConfig(std::filesystem::path outputFile, const TelemetryExportSettings& settings,
                          double startOffsetSeconds, std::optional<double> durationSeconds, PacemarkLayout layout)
        : TelemetryRenderConfig(std::move(outputFile), settings.width, settings.height, settings.frameRate,
                                settings.codec, startOffsetSeconds, durationSeconds, std::move(layout)) {
        motion = settings.motion;
    }
    // Stores the values unchanged except a negative or NaN start offset, which becomes 0.
    TelemetryRenderConfig(std::filesystem::path outputFile, std::int64_t width, std::int64_t height,
                          FrameRate frameRate, TelemetryVideoCodec codec, double startOffsetSeconds,
                          std::optional<double> durationSeconds, PacemarkLayout layout)
        : TelemetryExportSettings{width, height, frameRate, codec},
          outputFile(std::move(outputFile)),
          startOffsetSeconds(startOffsetSeconds >= 0 ? startOffsetSeconds : 0.0),
          durationSeconds(durationSeconds),
          layout(std::move(layout)) {}

    // The overlay of a clip whose first frame shows the ride at
    // `startSeconds` (kept as it is, negative included; a value that is not
    // finite becomes 0) and which runs `timing.frameCount` frames at the
    // settings' rate. Its duration is the ride time the clip covers. A frame
    // count below 1 becomes 1 and a rate that is not positive and finite
    // becomes 1.
    static TelemetryRenderConfig forClip(std::filesystem::path outputFile, const TelemetryExportSettings& settings,
                                         double startSeconds, TelemetryClipTiming timing, PacemarkLayout layout) {
        timing.frameCount = timing.frameCount >= 1 ? timing.frameCount : 1;
        const double rate = timing.rideSecondsPerMovieSecond;
        timing.rideSecondsPerMovieSecond = rate > 0 && std::isfinite(rate) ? rate : 1.0;
        if (timing.rideKnots.size() < 2) timing.rideKnots.clear();
        TelemetryRenderConfig config(std::move(outputFile), settings, 0.0, std::nullopt, std::move(layout));
        config.startOffsetSeconds = std::isfinite(startSeconds) ? startSeconds : 0.0;
        config.durationSeconds = timing.rideSecondsPerMovieSecond * config.timingFrameRate().seconds(timing.frameCount);
        config.clipTiming = timing;
        return config;
    }

    bool operator==(const TelemetryRenderConfig&) const = default;
};

}  // namespace pacemark
