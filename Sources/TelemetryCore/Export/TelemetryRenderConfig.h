// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "Layout/PacemarkWidget.h"
#include "Export/TelemetryExportSettings.h"

namespace pacemark {

// Everything an export needs besides the activity, frozen when it starts: the
// export settings (size, rate, codec, and their rules), where the movie goes,
// the segment and the layout.
struct TelemetryRenderConfig : TelemetryExportSettings {
    std::filesystem::path outputFile;
    double startOffsetSeconds;  // >= 0, never NaN
    std::optional<double> durationSeconds;  // absent: to the end of the activity
    PacemarkLayout layout;

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

    bool operator==(const TelemetryRenderConfig&) const = default;
};

}  // namespace pacemark
