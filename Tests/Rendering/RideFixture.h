// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstddef>
#include <memory>
#include <numbers>
#include <vector>

#include "Telemetry/TelemetryActivity.h"

namespace pacemark::testing {

// A one-sample-per-second ride on a wobbly loop with every reading present:
// climbing and descending, speed, power, heart rate and cadence varying.
inline std::shared_ptr<const TelemetryActivity> makeRide(std::size_t sampleCount = 3600) {
    std::vector<TelemetrySample> samples;
    samples.reserve(sampleCount);
    const double n = static_cast<double>(sampleCount);
    for (std::size_t k = 0; k < sampleCount; ++k) {
        const double t = static_cast<double>(k);
        const double turn = 2 * std::numbers::pi * t / n;
        TelemetrySample s;
        s.elapsed = t;
        s.latitude = 45.9 + 0.030 * std::sin(turn) + 0.004 * std::sin(5 * turn);
        s.longitude = 6.8 + 0.045 * std::cos(turn) + 0.006 * std::cos(3 * turn);
        s.altitudeMeters = 1200 + 380 * std::sin(turn) + 40 * std::sin(7 * turn);
        s.speedMetersPerSecond = 9.5 + 3.0 * std::sin(3 * turn);
        s.powerWatts = static_cast<std::int64_t>(240 + 60 * std::sin(4 * turn));
        s.heartRateBPM = static_cast<std::int64_t>(148 + 12 * std::sin(2 * turn));
        s.cadenceRPM = static_cast<std::int64_t>(88 + 6 * std::cos(6 * turn));
        s.distanceMeters = 9.5 * t;
        samples.push_back(s);
    }
    return std::make_shared<const TelemetryActivity>(std::nullopt, std::move(samples));
}

}  // namespace pacemark::testing
