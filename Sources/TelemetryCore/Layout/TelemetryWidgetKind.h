#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "TelemetryWidgetFrame.h"

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

    constexpr TelemetryWidgetKind(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static const std::array<TelemetryWidgetKind, 11>& allCases();
    // Accepts exactly the case names ("speed", not "Speed").
    static std::optional<TelemetryWidgetKind> fromRawValue(std::string_view raw);

    std::string_view rawValue() const;
    std::string_view id() const { return rawValue(); }
    std::string_view title() const;
    std::string_view shortTitle() const;
    std::string_view unit() const;
    TelemetryWidgetFrame defaultFrame() const;

    // The value text drawn by every renderer ("36.0", "250", "01:05", "--").
    std::string formattedValue(const TelemetrySample& sample, const TelemetryActivity& activity) const;
    // Gauge fill in 0...1.
    double gaugeProgress(const TelemetrySample& sample, const TelemetryActivity& activity) const;
    CoordinateLines coordinateLines(const TelemetrySample& sample) const;

private:
    Value value_;
};

// How a widget's panel looks.
class TelemetryWidgetPanelStyle {
public:
    enum Value : std::uint8_t { clean, glass, broadcast, pill, sticker, outline, dial, cinematic };

    constexpr TelemetryWidgetPanelStyle(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static const std::array<TelemetryWidgetPanelStyle, 8>& allCases();
    static std::optional<TelemetryWidgetPanelStyle> fromRawValue(std::string_view raw);

    std::string_view rawValue() const;
    std::string_view id() const { return rawValue(); }
    std::string_view title() const;

private:
    Value value_;
};

}  // namespace pacemark
