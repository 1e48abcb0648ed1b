// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "PacemarkError.h"
#include "Telemetry/FrameRate.h"

namespace pacemark {

// One way in which a movie's alpha is not well formed for editors, told in
// Russian ("Альфа-канал среза: нет завершающего кода серии ...").
struct MovieCheckFinding {
    std::string message;

    bool operator==(const MovieCheckFinding&) const = default;
};

// Checks the video track of an HEVC movie with an alpha layer: the whole
// sample entry box (header included) and every sample in decoding order.
// Returns nothing when the track is well formed.
using HEVCAlphaTrackChecker = std::function<std::vector<MovieCheckFinding>(
    std::span<const std::uint8_t> sampleEntry, const std::vector<std::span<const std::uint8_t>>& samples)>;

// The frame rate an HEVC track's own parameter sets state (their timing
// information), from the whole sample entry box; none when they state none.
using HEVCTrackFrameRateReader = std::function<std::optional<FrameRate>(std::span<const std::uint8_t> sampleEntry)>;

// A file that cannot be checked at all: unreadable, not a QuickTime movie,
// no video track, a broken sample table, or a codec the checker does not know.
class MovieCheckError : public PacemarkError {
public:
    using PacemarkError::PacemarkError;
};

}  // namespace pacemark
