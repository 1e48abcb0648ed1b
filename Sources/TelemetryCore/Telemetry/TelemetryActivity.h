#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "TelemetrySample.h"

namespace pacemark {

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

    TelemetryActivity() = default;
    TelemetryActivity(std::optional<std::filesystem::path> sourceURL, std::vector<TelemetrySample> samples);

    std::optional<std::filesystem::path> sourceURL;
    std::vector<TelemetrySample> samples;
    std::vector<TelemetryTrackPoint> trackPoints;
    TelemetrySummary summary;

    double durationSeconds() const { return summary.durationSeconds; }

    // The sample in force at `at` seconds of the activity: the last one at or
    // before it, the first one for earlier times. No interpolation.
    TelemetrySample sample(double at) const;
    // Index of that sample (0 for an empty activity). Frames that share an
    // index show the same values.
    std::size_t sampleIndex(double at) const;

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
