#pragma once

#include <cstdint>
#include <optional>

#include "TelemetryTime.h"

namespace pacemark {

// One point of a recorded activity. `elapsed` is always present; every other
// reading is optional, and absent is distinct from zero.
struct TelemetrySample {
    double elapsed = 0;
    std::optional<TelemetryTimestamp> timestamp;
    std::optional<double> latitude;
    std::optional<double> longitude;
    std::optional<double> altitudeMeters;
    std::optional<double> distanceMeters;
    std::optional<double> gradePercent;
    std::optional<double> speedMetersPerSecond;
    std::optional<std::int64_t> heartRateBPM;
    std::optional<std::int64_t> cadenceRPM;
    std::optional<std::int64_t> powerWatts;

    bool operator==(const TelemetrySample&) const = default;
};

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
