// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestRides.h"

#include <cmath>
#include <vector>

namespace pacemark::testing {

std::shared_ptr<const TelemetryActivity> rideOfSeconds(int seconds) {
    std::vector<TelemetrySample> samples;
    for (int s = 0; s <= seconds; ++s) {
        TelemetrySample sample;
        sample.elapsed = s;
        sample.latitude = 55.75 + 0.001 * s;
        sample.longitude = 37.62 + 0.0015 * std::sin(s / 5.0);
        sample.altitudeMeters = 150 + s % 13;
        sample.speedMetersPerSecond = 7 + s % 5;
        sample.heartRateBPM = 140 + s % 9;
        sample.cadenceRPM = 88;
        sample.powerWatts = 210 + 3 * s;
        samples.push_back(sample);
    }
    return std::make_shared<const TelemetryActivity>(std::nullopt, std::move(samples));
}

}  // namespace pacemark::testing
