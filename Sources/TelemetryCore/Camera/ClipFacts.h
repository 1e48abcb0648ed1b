// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "Camera/GPMFReader.h"
#include "Telemetry/FrameRate.h"

// What a movie reader reports about a clip, in the core's own terms (the
// core never sees the movie library).
namespace pacemark {

// The facts a clip export needs of the clip's video track.
struct ClipFacts {
    FrameRate frameRate;  // unknown (0/1) when the movie states none
    std::int64_t frameCount = 0;
    // Upright (rotation applied), pixel aspect applied.
    std::int64_t displayWidth = 0;
    std::int64_t displayHeight = 0;
    // Of the video track; NaN when the movie states none.
    double durationSeconds = std::numeric_limits<double>::quiet_NaN();
    bool operator==(const ClipFacts&) const = default;
};

// The camera's timed metadata track (sample entry "gpmd"): every sample's
// bytes and its place on the movie's clock (seconds from the video track's start).
struct CameraMetadataTrack {
    struct Sample {
        std::vector<std::uint8_t> bytes;
        double movieSeconds = 0;
        double durationSeconds = 0;
    };
    std::vector<Sample> samples;

    // Views of the samples for GPMFReader::readGPS; valid while this track lives.
    std::vector<GPMFPayload> payloads() const {
        std::vector<GPMFPayload> result;
        result.reserve(samples.size());
        for (const auto& sample : samples) result.push_back({sample.bytes, sample.movieSeconds, sample.durationSeconds});
        return result;
    }
};

}  // namespace pacemark
