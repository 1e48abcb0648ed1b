// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace pacemark {

// Where the overlay of a clip is on the ride: the ride's elapsed seconds at
// the clip's first frame (negative when the clip starts before the ride) and
// ride seconds per clip second (10 for a 10× timelapse). The overlay export
// and the burn-in both show the ride at these instants.
struct ClipOverlayTiming {
    double startSeconds = 0;
    double rate = 1;

    // The ride instant of a picture presented `clipSeconds` after the clip's first frame.
    double elapsedSeconds(double clipSeconds) const { return startSeconds + rate * clipSeconds; }
    bool operator==(const ClipOverlayTiming&) const = default;
};

// The rules of a finished video (the overlay burnt into the rider's clip):
// its quality scale, its name, and where it goes. The one owner of these; the
// command-line tool and the window validate through it.
struct BurnInSettings {
    // Constant-quality factor of the video encoder: 0 is lossless, 51 the
    // coarsest; 18 looks like the source to most eyes at a size upload sites
    // take.
    static constexpr std::int64_t defaultQuality = 18;
    static constexpr std::int64_t bestQuality = 0;
    static constexpr std::int64_t coarsestQuality = 51;

    std::int64_t quality = defaultQuality;

    bool operator==(const BurnInSettings&) const = default;

    // Russian text when the quality is outside bestQuality…coarsestQuality, none otherwise.
    std::optional<std::string> qualityError() const;
    // The refusal of a quality, naming what was given as the user wrote it.
    static std::string qualityRefusal(const std::string& given);

    // "<clip name without extension>-pacemark.mp4" ("GX010042.MP4" gives
    // "GX010042-pacemark.mp4").
    static std::string outputFileName(const std::filesystem::path& clip);
    // That name beside the clip, or in `folder` when one is given.
    static std::filesystem::path outputPath(const std::filesystem::path& clip,
                                            const std::optional<std::filesystem::path>& folder = std::nullopt);
};

}  // namespace pacemark
