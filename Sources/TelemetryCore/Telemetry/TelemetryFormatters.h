// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pacemark::TelemetryFormatters {

// "--" stands for a missing value in every text below. Numbers always use "."
// as the decimal separator, whatever the locale.
inline constexpr std::string_view missing = "--";

// printf("%.*f")-style fixed notation without locale, e.g. fixed(36.04, 1) == "36.0".
std::string fixed(double value, int precision);

// Elapsed time: "MM:SS" below an hour, "H:MM:SS" from an hour on.
std::string elapsed(double seconds);
// "12.3 км" from 1000 m on, "850 м" below.
std::string distance(std::optional<double> meters);
// km/h with one decimal, no unit: 10 m/s gives "36.0".
std::string speedKPH(std::optional<double> metersPerSecond);
// "250 Вт"; values below 1 show "--".
std::string integer(std::optional<std::int64_t> value, std::string_view unit);
// "412 м".
std::string elevation(std::optional<double> meters);
// "12", "4.5", "0.0" with " %" appended when `includeUnit` is set.
std::string gradePercent(std::optional<double> percent, bool includeUnit);

// The grade text without unit shared by the formatter and the gradient widget.
std::string gradeText(double percent);

}  // namespace pacemark::TelemetryFormatters
