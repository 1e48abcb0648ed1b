// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetryWidgetKind.h"

#include <cmath>
#include <utility>

#include "Telemetry/TelemetryActivity.h"
#include "Telemetry/TelemetryFormatters.h"

namespace pacemark {
namespace {

using Kind = TelemetryWidgetKind;

// One row per kind, carrying its kind so that the order is checked below.
// The last column says whether the cinematic style draws the kind's gauge arc.
struct KindInfo {
    Kind::Value kind;
    std::string_view rawValue;
    std::string_view title;
    std::string_view shortTitle;
    std::string_view unit;
    TelemetryWidgetFrame defaultFrame;
    bool cinematicArc;
};

constexpr std::array<KindInfo, Kind::caseCount> kKinds = {{
    {Kind::speed, "speed", "Скорость", "СКОР", "КМ/Ч", {0.04, 0.70, 0.15, 0.15}, true},
    {Kind::power, "power", "Мощность", "МОЩ", "Вт", {0.21, 0.70, 0.12, 0.11}, true},
    {Kind::heartRate, "heartRate", "Пульс", "ПУЛЬС", "УД/МИН", {0.35, 0.70, 0.14, 0.11}, true},
    {Kind::cadence, "cadence", "Каденс", "КАД", "ОБ/МИН", {0.51, 0.70, 0.12, 0.11}, true},
    {Kind::distance, "distance", "Дистанция", "ДИСТ", "КМ", {0.21, 0.83, 0.14, 0.10}, false},
    {Kind::elapsedTime, "elapsedTime", "Время", "ВРЕМЯ", "", {0.37, 0.83, 0.14, 0.10}, false},
    {Kind::altitude, "altitude", "Высота", "ВЫС", "М", {0.53, 0.83, 0.12, 0.10}, false},
    {Kind::gradient, "gradient", "Уклон", "УКЛОН", "%", {0.67, 0.83, 0.12, 0.10}, false},
    {Kind::gpsCoordinates, "gpsCoordinates", "GPS координаты", "GPS", "", {0.67, 0.83, 0.24, 0.12}, false},
    {Kind::route, "route", "Трек", "ТРЕК", "", {0.04, 0.84, 0.15, 0.10}, false},
    {Kind::progress, "progress", "Прогресс", "ПРОГР", "", {0.04, 0.955, 0.30, 0.02}, false},
}};

// Row k describes kind k. A missing row leaves an empty one at the end (the
// first kind again, no name), so a kind without its row does not compile.
constexpr bool rowsInKindOrder() {
    for (std::size_t k = 0; k < kKinds.size(); ++k) {
        if (static_cast<std::size_t>(kKinds[k].kind) != k || kKinds[k].rawValue.empty()) return false;
    }
    return true;
}
static_assert(rowsInKindOrder(), "one row per widget kind, in the order of the kind's values");

template <std::size_t... k>
constexpr std::array<Kind, sizeof...(k)> kindsInOrder(std::index_sequence<k...>) {
    return {Kind(static_cast<Kind::Value>(k))...};
}

bool isUsable(const std::optional<double>& value) { return value && std::isfinite(*value); }

std::string fixedOrMissing(const std::optional<double>& value, double scale, int precision) {
    if (!isUsable(value)) return std::string(TelemetryFormatters::missing);
    return TelemetryFormatters::fixed(*value * scale, precision);
}

std::string integerOrMissing(const std::optional<std::int64_t>& value) {
    return value ? std::to_string(*value) : std::string(TelemetryFormatters::missing);
}

// Not finite or at most 0 gives 0; above 1 gives 1.
double clampFraction(double raw) {
    if (!std::isfinite(raw) || raw <= 0) return 0;
    return raw > 1 ? 1 : raw;
}

}  // namespace

const std::array<TelemetryWidgetKind, TelemetryWidgetKind::caseCount>& TelemetryWidgetKind::allCases() {
    static constexpr auto cases = kindsInOrder(std::make_index_sequence<caseCount>());
    return cases;
}

std::optional<TelemetryWidgetKind> TelemetryWidgetKind::fromRawValue(std::string_view raw) {
    for (auto kind : allCases()) {
        if (kind.rawValue() == raw) return kind;
    }
    return std::nullopt;
}

std::string_view TelemetryWidgetKind::rawValue() const { return kKinds[value_].rawValue; }
std::string_view TelemetryWidgetKind::title() const { return kKinds[value_].title; }
std::string_view TelemetryWidgetKind::shortTitle() const { return kKinds[value_].shortTitle; }
std::string_view TelemetryWidgetKind::unit() const { return kKinds[value_].unit; }
TelemetryWidgetFrame TelemetryWidgetKind::defaultFrame() const { return kKinds[value_].defaultFrame; }
bool TelemetryWidgetKind::drawsCinematicArc() const { return kKinds[value_].cinematicArc; }

std::string TelemetryWidgetKind::formattedValue(const TelemetrySample& sample, const TelemetryActivity& activity) const {
    switch (value_) {
    case speed: return fixedOrMissing(sample.speedMetersPerSecond, 3.6, 1);
    case power: return integerOrMissing(sample.powerWatts);
    case heartRate: return integerOrMissing(sample.heartRateBPM);
    case cadence: return integerOrMissing(sample.cadenceRPM);
    case distance: return fixedOrMissing(sample.distanceMeters, 1.0 / 1000.0, 1);
    case elapsedTime: {
        // The ride's clock as recorded: the time of the sample in force, so
        // an interpolated instant between two samples (smooth motion) shows
        // the earlier one's time, as stepping does, rather than a rounded
        // instant that would tick at every half second.
        if (activity.samples.empty() || !std::isfinite(sample.elapsed)) return TelemetryFormatters::elapsed(sample.elapsed);
        return TelemetryFormatters::elapsed(activity.sample(sample.elapsed).elapsed);
    }
    case altitude: return fixedOrMissing(sample.altitudeMeters, 1.0, 0);
    case gradient:
        if (!isUsable(sample.gradePercent)) return std::string(TelemetryFormatters::missing);
        return TelemetryFormatters::gradeText(*sample.gradePercent);
    case gpsCoordinates:
        if (!isUsable(sample.latitude) || !isUsable(sample.longitude)) {
            return std::string(TelemetryFormatters::missing);
        }
        return TelemetryFormatters::fixed(*sample.latitude, 6) + ", " + TelemetryFormatters::fixed(*sample.longitude, 6);
    case route: return "";
    case progress: {
        const double duration = activity.durationSeconds();
        const double f = duration > 0 ? sample.elapsed / duration : 0.0;
        double percent = 0;
        if (f > 1) {
            percent = 100;
        } else if (f > 0) {
            percent = f * 100;
        }  // f <= 0 and NaN stay at 0
        return std::to_string(static_cast<long long>(std::round(percent))) + "%";
    }
    }
    return "";
}

double TelemetryWidgetKind::gaugeProgress(const TelemetrySample& sample, const TelemetryActivity& activity) const {
    switch (value_) {
    case speed: return sample.speedMetersPerSecond ? clampFraction(*sample.speedMetersPerSecond * 3.6 / 80) : 0;
    case power: return sample.powerWatts ? clampFraction(static_cast<double>(*sample.powerWatts) / 600) : 0;
    case heartRate: return sample.heartRateBPM ? clampFraction(static_cast<double>(*sample.heartRateBPM) / 205) : 0;
    case cadence: return sample.cadenceRPM ? clampFraction(static_cast<double>(*sample.cadenceRPM) / 140) : 0;
    case distance: {
        const auto total = activity.summary.totalDistanceMeters;
        if (!sample.distanceMeters || !total || !(*total > 0)) return 0;
        return clampFraction(*sample.distanceMeters / *total);
    }
    case elapsedTime: {
        const double duration = activity.durationSeconds();
        return duration > 0 ? clampFraction(sample.elapsed / duration) : 0;
    }
    case altitude: return sample.altitudeMeters ? clampFraction(std::fabs(*sample.altitudeMeters) / 2500) : 0;
    case gradient: return sample.gradePercent ? clampFraction(std::fabs(*sample.gradePercent) / 22) : 0;
    case gpsCoordinates:
    case route:
    case progress: return 0;
    }
    return 0;
}

CoordinateLines TelemetryWidgetKind::coordinateLines(const TelemetrySample& sample) const {
    if (!isUsable(sample.latitude) || !isUsable(sample.longitude)) return {"LAT --", "LON --"};
    return {"LAT " + TelemetryFormatters::fixed(*sample.latitude, 6),
            "LON " + TelemetryFormatters::fixed(*sample.longitude, 6)};
}

}  // namespace pacemark
