// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "Camera/GPMFReader.h"
#include "Telemetry/TelemetryTime.h"

// The clip's clock: which UTC instant a moment of the movie shows, derived
// from the GPS the camera recorded in the movie. Samples without a fix or
// with a poor precision take no part.
namespace pacemark {

// A movie time and the UTC instant it shows.
struct ClipClockKnot {
    double movieSeconds = 0;
    TelemetryTimestamp utc;
    bool operator==(const ClipClockKnot&) const = default;
};

enum class ClipClockSource {
    gps9,        // the receiver's own time of every fix
    gps5Stamps,  // one stamp per payload, several of them stale
};

class ClipClock {
public:
    // The receiver stamps a GPS5 payload up to this long after its first fix
    // (1.40 s measured on one camera, none on others): the estimate sits in
    // the middle of that range and the uncertainty covers it.
    static constexpr double gps5StampLagSeconds = 1.4;
    // Rates this close to 1 are a normal clip whose movie runs in real time.
    static constexpr double normalRateTolerance = 0.02;
    // Rates from GPS5 stamps this close (relatively) to a whole number are that number.
    static constexpr double stampRateTolerance = 0.015;

    // Nothing when no sample or stamp has a usable fix.
    static std::optional<ClipClock> fromCameraGPS(const CameraGPS& gps);

    ClipClockSource source() const { return source_; }
    // Ride seconds per movie second over the clip: 1 for a normal clip,
    // about 10 for a 10× timelapse.
    double rate() const { return rate_; }
    // The rate changes along the clip (variable-speed recording).
    bool isVariable() const { return knots_.size() > 2; }
    // How far utcAt() may be off.
    double uncertaintySeconds() const { return uncertaintySeconds_; }
    // Linear between knots; beyond the ends along the nearest segment (at
    // rate() for a single knot).
    TelemetryTimestamp utcAt(double movieSeconds) const;
    const std::vector<ClipClockKnot>& knots() const { return knots_; }

private:
    ClipClockSource source_ = ClipClockSource::gps9;
    std::vector<ClipClockKnot> knots_;
    double rate_ = 1;
    double uncertaintySeconds_ = 0;
};

}  // namespace pacemark
