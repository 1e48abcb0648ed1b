// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "TelemetryReading.h"
#include "TelemetryTime.h"

namespace pacemark {

// One point of a recorded activity. `elapsed` is always present; every other
// reading is optional, and absent is distinct from zero. Readings keep their
// absence inside the value (TelemetryReading), so a sample takes 88 bytes.
struct TelemetrySample {
    double elapsed = 0;
    TelemetryReading<TelemetryTimestamp> timestamp;
    TelemetryReading<double> latitude;
    TelemetryReading<double> longitude;
    TelemetryReading<double> altitudeMeters;
    TelemetryReading<double> distanceMeters;
    TelemetryReading<double> gradePercent;
    TelemetryReading<double> speedMetersPerSecond;
    TelemetryReading<std::int64_t> heartRateBPM;
    TelemetryReading<std::int64_t> cadenceRPM;
    TelemetryReading<std::int64_t> powerWatts;

    bool operator==(const TelemetrySample&) const = default;
};

// The most samples a file may decode to: about 1 GiB of samples, 138 days at
// one point per second. A larger file is refused while it is decoded
// (TelemetryLoadError::tooManySamples), before memory runs out.
inline constexpr std::size_t telemetrySampleBudget = 12'000'000;

// Aggregate statistics of an activity's normalized samples.
struct TelemetrySummary {
    double durationSeconds = 0;
    std::optional<double> totalDistanceMeters;
    std::optional<double> averageSpeedMetersPerSecond;
    std::optional<double> maxSpeedMetersPerSecond;
    std::optional<std::int64_t> averageHeartRateBPM;
    std::optional<std::int64_t> maxHeartRateBPM;
    std::optional<std::int64_t> averageCadenceRPM;
    std::optional<std::int64_t> maxCadenceRPM;
    std::optional<std::int64_t> averagePowerWatts;
    std::optional<std::int64_t> maxPowerWatts;
    std::optional<double> elevationGainMeters;
    std::optional<double> maxGradePercent;

    bool operator==(const TelemetrySummary&) const = default;
};

}  // namespace pacemark
