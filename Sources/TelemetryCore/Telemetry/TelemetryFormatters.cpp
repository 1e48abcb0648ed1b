// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetryFormatters.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace pacemark::TelemetryFormatters {

std::string fixed(double value, int precision) {
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    if (result.ec != std::errc{}) return std::string(missing);
    return std::string(buffer, result.ptr);
}

std::string elapsed(double seconds) {
    if (!std::isfinite(seconds)) return "00:00";
    const double rounded = std::round(seconds);
    const auto s = rounded > 0 ? static_cast<long long>(std::min(rounded, 9.0e15)) : 0LL;
    const long long h = s / 3600;
    const long long m = (s - 3600 * h) / 60;
    const long long sec = s % 60;
    char buffer[64];
    if (s >= 3600) {
        std::snprintf(buffer, sizeof buffer, "%lld:%02lld:%02lld", h, m, sec);
    } else {
        std::snprintf(buffer, sizeof buffer, "%02lld:%02lld", m, sec);
    }
    return buffer;
}

std::string distance(std::optional<double> meters) {
    if (!meters || !std::isfinite(*meters)) return std::string(missing);
    if (*meters >= 1000) return fixed(*meters / 1000, 1) + " км";
    return fixed(*meters, 0) + " м";
}

std::string speedKPH(std::optional<double> metersPerSecond) {
    if (!metersPerSecond || !std::isfinite(*metersPerSecond)) return std::string(missing);
    return fixed(*metersPerSecond * 3.6, 1);
}

std::string integer(std::optional<std::int64_t> value, std::string_view unit) {
    if (!value || *value < 1) return std::string(missing);
    return std::to_string(*value) + " " + std::string(unit);
}

std::string elevation(std::optional<double> meters) {
    if (!meters || !std::isfinite(*meters)) return std::string(missing);
    return fixed(*meters, 0) + " м";
}

std::string gradeText(double percent) {
    const double v = std::fabs(percent) < 0.05 ? 0.0 : percent;
    return fixed(v, std::fabs(v) >= 10 ? 0 : 1);
}

std::string gradePercent(std::optional<double> percent, bool includeUnit) {
    if (!percent || !std::isfinite(*percent)) return std::string(missing);
    std::string text = gradeText(*percent);
    if (includeUnit) text += " %";
    return text;
}

}  // namespace pacemark::TelemetryFormatters
