// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace pacemark::testing {

// One camera metadata sample to write: its bytes and its place in the movie.
struct TimedPayload {
    std::vector<std::uint8_t> bytes;
    double seconds = 0;
    double durationSeconds = 1.001;
};

// Writes an MP4 with `videoSeconds` of a test picture (`size` "WxH" at
// `frameRate`, "N" or "N/D") and a camera metadata track ("gpmd") of the
// payloads, through libavformat. `creationTime` (ISO 8601) goes to the movie
// header when given.
void writeCameraClip(const std::filesystem::path& path, double videoSeconds, const std::vector<TimedPayload>& payloads,
                     const std::string& creationTime = {}, const std::string& frameRate = "30000/1001",
                     const std::string& size = "64x48");

}  // namespace pacemark::testing
