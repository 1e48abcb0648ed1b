// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

#include "TelemetryActivity.h"

namespace pacemark {

enum class TelemetryMotionMode {
    // The sample in force: values change once per recorded sample.
    steps,
    // Values glide between samples (TelemetryActivity::interpolatedSample),
    // updated `updatesPerSecond` times a second.
    smooth,
};

// How the values of a movie move over time: which readings a frame at an
// activity time shows, and which frames are therefore identical. Frames
// between two updates repeat, so an exporter that reuses repeated frames
// renders and encodes only one frame per update. The export settings own
// the choices offered, the defaults and their texts.
struct TelemetryMotion {
    // `updatesPerSecond` value that draws every frame's own instant.
    static constexpr std::int64_t everyFrame = 0;

    TelemetryMotionMode mode = TelemetryMotionMode::steps;
    // Smooth mode only: updates per second of activity time, or everyFrame
    // (the export settings' default is theirs to choose).
    std::int64_t updatesPerSecond = everyFrame;
    TelemetryValueSmoothing smoothing = TelemetryValueSmoothing::none;

    bool isSmooth() const { return mode == TelemetryMotionMode::smooth; }

    // The activity time whose readings a frame at `elapsed` shows: clamped
    // to the activity like sample(at); in smooth mode floored to the last
    // update at or before it (updates fall on multiples of 1 / updatesPerSecond).
    double drawnSeconds(const TelemetryActivity& activity, double elapsed) const;
    // What a frame at `elapsed` shows: the sample in force (steps) or the
    // interpolated readings at drawnSeconds (smooth), with the smoothing.
    TelemetrySample sample(const TelemetryActivity& activity, double elapsed) const;
    // Equal for two instants only when they show the same readings: the
    // sample's index (steps), the update's number, or the drawn instant
    // itself when every frame is drawn.
    std::size_t frameKey(const TelemetryActivity& activity, double elapsed) const;

    bool operator==(const TelemetryMotion&) const = default;
};

}  // namespace pacemark
