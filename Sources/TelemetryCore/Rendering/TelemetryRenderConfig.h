#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "Layout/PacemarkWidget.h"
#include "TelemetryVideoCodec.h"

namespace pacemark {

// Everything an export needs besides the activity, frozen when it starts.
struct TelemetryRenderConfig {
    std::filesystem::path outputURL;
    std::int64_t width;
    std::int64_t height;
    std::int64_t framesPerSecond;
    TelemetryVideoCodec codec;
    double startOffsetSeconds;  // >= 0, never NaN
    std::optional<double> durationSeconds;  // absent: to the end of the activity
    PacemarkLayout layout;

    // Stores the values unchanged except a negative or NaN start offset, which becomes 0.
    TelemetryRenderConfig(std::filesystem::path outputURL, std::int64_t width, std::int64_t height,
                          std::int64_t framesPerSecond, TelemetryVideoCodec codec, double startOffsetSeconds,
                          std::optional<double> durationSeconds, PacemarkLayout layout)
        : outputURL(std::move(outputURL)),
          width(width),
          height(height),
          framesPerSecond(framesPerSecond),
          codec(codec),
          startOffsetSeconds(startOffsetSeconds >= 0 ? startOffsetSeconds : 0.0),
          durationSeconds(durationSeconds),
          layout(std::move(layout)) {}

    bool operator==(const TelemetryRenderConfig&) const = default;
};

}  // namespace pacemark
