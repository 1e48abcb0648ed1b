#pragma once

#include "Export/TelemetryExportSettings.h"
#include "HEVCAlphaStreamEncoder.h"

namespace pacemark::testing {

// The encoder settings an export of this size and rate opens the HEVC writer with.
inline HEVCAlphaEncoderSettings exportEncoderSettings(std::int64_t width, std::int64_t height,
                                                      std::int64_t framesPerSecond) {
    const TelemetryExportSettings settings{width, height, framesPerSecond, TelemetryVideoCodec::hevcWithAlpha};
    return HEVCAlphaEncoderSettings::fromMovieWriterSettings(settings.writerSettings("unused.mov"));
}

}  // namespace pacemark::testing
