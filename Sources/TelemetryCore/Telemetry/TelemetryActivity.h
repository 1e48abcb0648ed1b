// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "TelemetrySample.h"

namespace pacemark {

// Which readings a lookup evens out. A centred moving average over the
// samples within `TelemetryActivity::smoothingHalfWindowSeconds` on either
// side calms speed and power, whose last digit otherwise flickers from one
// sample to the next; the other readings are steady enough as recorded.
enum class TelemetryValueSmoothing { none, speedAndPower };

struct TelemetryTrackPoint {
    double latitude = 0;
    double longitude = 0;
    bool operator==(const TelemetryTrackPoint&) const = default;
};

// A normalized, time-ordered series of samples with its thinned route and
// summary, as the constructor builds them from raw samples. The members are
// plain data: the application and the exporter share an activity as
// `shared_ptr<const TelemetryActivity>`, and only tests assemble one by hand.
class TelemetryActivity {
public:
    static constexpr std::size_t routeMaxPoints = 2000;
    // Samples further apart than this (a pause, a lost signal) are not
    // interpolated between: the earlier one holds, then the values jump.
    static constexpr double interpolationGapLimitSeconds = 5.0;
    // The moving average of TelemetryValueSmoothing::speedAndPower takes the
    // samples this close on each side, at most this many of them per side.
    static constexpr double smoothingHalfWindowSeconds = 2.0;
    static constexpr std::size_t smoothingMaximumNeighbours = 8;

    TelemetryActivity() = default;
    TelemetryActivity(std::optional<std::filesystem::path> sourceFile, std::vector<TelemetrySample> samples);

    std::optional<std::filesystem::path> sourceFile;
    std::vector<TelemetrySample> samples;
    std::vector<TelemetryTrackPoint> trackPoints;
    TelemetrySummary summary;
    // The recording's local time minus UTC, when the file says (FIT activity
    // message); synchronization reads a camera's local-time dates with it.
    std::optional<std::int64_t> localTimeOffsetSeconds;

    double durationSeconds() const { return summary.durationSeconds; }

    // The sample in force at `at` seconds of the activity: the last one at or
    // before it, the first one for earlier times. No interpolation.
    TelemetrySample sample(double at) const;
    // Index of that sample (0 for an empty activity). Frames that share an
    // index show the same values.
    std::size_t sampleIndex(double at) const;
    // The same sample with its speed and power averaged per `smoothing`.
    TelemetrySample sample(double at, TelemetryValueSmoothing smoothing) const;

    // The readings at `at` itself, between the two samples around it. The
    // time is clamped like sample(at) and becomes the result's `elapsed`;
    // the timestamp is the earlier sample's. Speed, power, distance,
    // altitude, gradient and position move linearly from the earlier sample
    // to the later one; heart rate and cadence too, rounded to whole numbers
    // (power is a whole number of watts as well). A reading absent on either
    // side, samples more than interpolationGapLimitSeconds apart, a time
    // before the first sample and the last sample itself give the earlier
    // sample's reading as sample(at) does: absent stays absent, a pause holds.
    // At a sample's own time the readings are that sample's.
    TelemetrySample interpolatedSample(double at,
                                       TelemetryValueSmoothing smoothing = TelemetryValueSmoothing::none) const;

    bool operator==(const TelemetryActivity&) const = default;

    // The steps of construction, exposed for testing.
    static std::vector<TelemetrySample> normalized(std::vector<TelemetrySample> raw);
    static std::vector<TelemetrySample> addingGrade(std::vector<TelemetrySample> samples);
    static std::vector<TelemetryTrackPoint> routePoints(std::span<const TelemetrySample> samples,
                                                        std::int64_t maxPoints);
    static TelemetrySummary summarize(std::span<const TelemetrySample> samples);
    static double haversineMeters(double lat1, double lon1, double lat2, double lon2);
};

// Mean rounded to the nearest integer, halves away from zero; absent for an
// empty list.
std::optional<std::int64_t> roundedAverage(std::span<const std::int64_t> values);

}  // namespace pacemark
