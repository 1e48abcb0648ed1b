// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "Telemetry/TelemetryActivity.h"

namespace pacemark::bench {

// A synthetic ride of `seconds` at one sample per second with every reading
// present: a wandering route, rolling altitude and changing metrics, so every
// second shows new values as a real recording does.
inline std::shared_ptr<const TelemetryActivity> syntheticRide(int seconds) {
    std::vector<TelemetrySample> samples;
    samples.reserve(static_cast<std::size_t>(seconds) + 1);
    for (int s = 0; s <= seconds; ++s) {
        TelemetrySample sample;
        sample.elapsed = s;
        const double phase = s / 600.0;
        sample.latitude = 55.75 + 0.02 * std::sin(phase);
        sample.longitude = 37.62 + 0.03 * std::cos(phase * 0.7);
        sample.altitudeMeters = 150 + 40 * std::sin(s / 300.0);
        sample.speedMetersPerSecond = 8 + 3 * std::sin(s / 45.0);
        sample.heartRateBPM = 130 + s % 30;
        sample.cadenceRPM = 85 + s % 11;
        sample.powerWatts = 200 + (s * 7) % 120;
        samples.push_back(sample);
    }
    return std::make_shared<const TelemetryActivity>(std::nullopt, std::move(samples));
}

}  // namespace pacemark::bench
