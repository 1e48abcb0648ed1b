// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Camera/ClipFacts.h"
#include "Export/TelemetryRenderConfig.h"
#include "Layout/PacemarkWidget.h"
#include "Telemetry/TelemetryActivity.h"
#include "Video/VideoSynchronization.h"

namespace pacemark {

// One clip as the movie reader saw it (platform/ffmpeg readClip gives the
// synchronization input and the facts), or why it could not be read.
struct ClipOverlayInput {
    std::filesystem::path file;
    ClipSynchronizationInput synchronization;
    ClipFacts facts;
    // The reader's Russian error; the clip then gets no overlay.
    std::optional<std::string> readError;
};

// What the user chose for every overlay of the run.
struct ClipOverlayOptions {
    // Codec and motion. The size and rate come from each clip; the size
    // comes from here instead when `usesSettingsSize` is set.
    TelemetryExportSettings settings;
    bool usesSettingsSize = false;
    // Where the overlays go; absent: each beside its clip.
    std::optional<std::filesystem::path> outputFolder;
    PacemarkLayout layout;
};

// The overlay of one clip: how the clip was placed on the ride and either
// the render config of its overlay or the Russian reason it has none.
struct ClipOverlay {
    std::filesystem::path clip;
    ClipFacts facts;
    ClipPlacement placement;
    // Set exactly when `error` is not. Its movie: the clip's frame rate and
    // frame count, the clip's display size (or the settings' size), the
    // first frame showing the ride at placement.startSeconds (negative for a
    // clip that starts before the ride), placement.rate ride seconds per
    // movie second (a variable-speed clip: its clock, placement.rideKnots),
    // written to outputFile(clip, …).
    std::optional<TelemetryRenderConfig> config;
    std::optional<std::string> error;

    bool hasOverlay() const { return config.has_value(); }
};

// Turns a ride and the clips filmed on it into one overlay per clip: the one
// place where a clip's placement and facts become an export (the command
// line, the window and burn-in all start from here). Pure and thread-agnostic.
//
// Order: the clips as given, except that the chapters of one recording
// (ClipChapter) are taken together in chapter order, where the first of them
// was given. Placement: VideoSynchronization::placeClip for every clip; a
// chapter after the first that has no clock of its own (not placed by the
// camera's GPS) follows the previous chapter when that one was placed
// (VideoSynchronization::placeAfterPreviousChapter); a clip that cannot be
// read is not placed and its placement's message is the reader's error. A
// clip that cannot be read, placed or exported at its facts gets an error
// and the others go on.
struct ClipOverlayPlan {
    std::vector<ClipOverlay> overlays;

    static ClipOverlayPlan make(const TelemetryActivity& activity, std::span<const ClipOverlayInput> clips,
                                const ClipOverlayOptions& options);

    // "<clip name without extension>-telemetry.<the codec's container>" in
    // `outputFolder`, or beside the clip.
    static std::filesystem::path outputFile(const std::filesystem::path& clip, TelemetryVideoCodec codec,
                                            const std::optional<std::filesystem::path>& outputFolder);

    // The clip's frames: the count the movie states, else its duration at
    // its rate; none when neither is known.
    static std::optional<std::int64_t> clipFrameCount(const ClipFacts& facts);
};

}  // namespace pacemark
