// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "TelemetryWidgetFrame.h"
#include "TelemetryWidgetPanelStyle.h"

namespace pacemark {

struct TelemetrySample;
class TelemetryActivity;

// The two lines of a coordinate widget, e.g. "LAT 45.123456" / "LON 7.654321".
struct CoordinateLines {
    std::string latitude;
    std::string longitude;
    bool operator==(const CoordinateLines&) const = default;
};

// What a widget shows. Used like an enumeration (`TelemetryWidgetKind::speed`,
// switch statements) with the per-kind texts and rules as members.
class TelemetryWidgetKind {
public:
    enum Value : std::uint8_t {
        speed,
        power,
        heartRate,
        cadence,
        distance,
        elapsedTime,
        altitude,
        gradient,
        gpsCoordinates,
        route,
        progress,
    };
    // One more than the last case: a new kind goes last and moves this with it.
    // The table of kinds in the .cpp has exactly this many rows, in this order
    // (checked when it compiles).
    static constexpr std::size_t caseCount = std::size_t{progress} + 1;

    constexpr TelemetryWidgetKind(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static const std::array<TelemetryWidgetKind, caseCount>& allCases();
    // Accepts exactly the case names ("speed", not "Speed").
    static std::optional<TelemetryWidgetKind> fromRawValue(std::string_view raw);

    std::string_view rawValue() const;
    std::string_view id() const { return rawValue(); }
    std::string_view title() const;
    std::string_view shortTitle() const;
    std::string_view unit() const;
    TelemetryWidgetFrame defaultFrame() const;
    // Whether the cinematic style draws a gauge arc beside the value (the
    // kinds whose gauge reads as a dial: speed, power, heart rate, cadence).
    bool drawsCinematicArc() const;

    // The value text drawn by every renderer ("36.0", "250", "01:05", "--").
    std::string formattedValue(const TelemetrySample& sample, const TelemetryActivity& activity) const;
    // Gauge fill in 0...1.
    double gaugeProgress(const TelemetrySample& sample, const TelemetryActivity& activity) const;
    CoordinateLines coordinateLines(const TelemetrySample& sample) const;

private:
    Value value_;
};

}  // namespace pacemark
