// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace pacemark {

// Absolute wall-clock time of a sample: UTC, microsecond resolution (FIT gives
// whole seconds, GPX may give fractions down to 100 ns, which are floored).
using TelemetryTimestamp = std::chrono::sys_time<std::chrono::microseconds>;

// Seconds from `from` to `to` (negative when `to` is earlier).
double secondsBetween(TelemetryTimestamp from, TelemetryTimestamp to);

// "2013-02-06T12:11:14.000Z": UTC, milliseconds floored.
std::string formatISO8601Milliseconds(TelemetryTimestamp timestamp);

// An internet date-time "YYYY-MM-DDTHH:MM:SS[.fraction](Z|+HH:MM|-HH:MM)",
// with or without fractional seconds. The whole text must match; a time
// without a zone designator is rejected.
std::optional<TelemetryTimestamp> parseISO8601InternetDateTime(std::string_view text);

// Reads exactly `count` decimal digits at `pos` into `value` and moves `pos`
// past them; false (with `pos` unchanged) when they are not all there.
bool readFixedDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value);

// Days since 1970-01-01 for a proleptic Gregorian date (no validation).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day);

}  // namespace pacemark
