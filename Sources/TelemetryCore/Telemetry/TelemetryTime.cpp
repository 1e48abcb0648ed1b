// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetryTime.h"

#include <cstdint>
#include <cstdio>

namespace pacemark {

double secondsBetween(TelemetryTimestamp from, TelemetryTimestamp to) {
    return static_cast<double>((to - from).count()) / 1e6;
}

std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    // Howard Hinnant's days_from_civil.
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

namespace {

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {m <= 2 ? y + 1 : y, m, d};
}

bool isLeapYear(std::int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

unsigned daysInMonth(std::int64_t y, unsigned m) {
    static constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : days[m - 1];
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

bool readFixedDigits(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

std::string formatISO8601Milliseconds(TelemetryTimestamp timestamp) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(timestamp).time_since_epoch().count();
    std::int64_t days = ms / 86'400'000;
    std::int64_t rest = ms % 86'400'000;
    if (rest < 0) {
        rest += 86'400'000;
        days -= 1;
    }
    const CivilDate date = civilFromDays(days);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ",
                  static_cast<long long>(date.year), date.month, date.day,
                  static_cast<long long>(rest / 3'600'000), static_cast<long long>(rest / 60'000 % 60),
                  static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000));
    return buffer;
}

std::optional<TelemetryTimestamp> parseISO8601InternetDateTime(std::string_view text) {
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readFixedDigits(text, pos, 4, year) || !expect(text, pos, '-') || !readFixedDigits(text, pos, 2, month) ||
        !expect(text, pos, '-') || !readFixedDigits(text, pos, 2, day) || !expect(text, pos, 'T') ||
        !readFixedDigits(text, pos, 2, hour) || !expect(text, pos, ':') || !readFixedDigits(text, pos, 2, minute) ||
        !expect(text, pos, ':') || !readFixedDigits(text, pos, 2, second)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || static_cast<unsigned>(day) > daysInMonth(year, month) ||
        hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    std::int64_t micros = 0;
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        std::size_t digits = 0;
        std::int64_t scale = 100000;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            micros += (text[pos] - '0') * scale;  // digits past the sixth are floored away
            scale /= 10;
            ++pos;
            ++digits;
        }
        if (digits == 0) return std::nullopt;
    }
    if (pos >= text.size()) return std::nullopt;
    std::int64_t offsetSeconds = 0;
    if (text[pos] == 'Z') {
        ++pos;
    } else if (text[pos] == '+' || text[pos] == '-') {
        const int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int oh = 0, om = 0;
        if (!readFixedDigits(text, pos, 2, oh) || !expect(text, pos, ':') || !readFixedDigits(text, pos, 2, om) ||
            oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetSeconds = sign * (oh * 3600 + om * 60);
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
    const std::int64_t seconds =
        daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
        minute * 60 + second - offsetSeconds;
    return TelemetryTimestamp(std::chrono::microseconds(seconds * 1'000'000 + micros));
}

}  // namespace pacemark
