// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <type_traits>

#include "TelemetryTime.h"

namespace pacemark {

// The value that marks "absent" inside a reading's own storage: NaN for
// numbers (a NaN reading is no reading), the lowest value for counts and
// times (never a real heart rate or a real instant).
template <class T>
struct TelemetryReadingAbsence;

template <>
struct TelemetryReadingAbsence<double> {
    static constexpr double marker() { return std::numeric_limits<double>::quiet_NaN(); }
    static constexpr bool isMarker(double value) { return value != value; }
};

template <>
struct TelemetryReadingAbsence<std::int64_t> {
    static constexpr std::int64_t marker() { return std::numeric_limits<std::int64_t>::min(); }
    static constexpr bool isMarker(std::int64_t value) { return value == marker(); }
};

template <>
struct TelemetryReadingAbsence<TelemetryTimestamp> {
    static constexpr TelemetryTimestamp marker() { return TelemetryTimestamp::min(); }
    static constexpr bool isMarker(TelemetryTimestamp value) { return value == marker(); }
};

// An optional reading of a sample in the space of the value alone: the
// interface of std::optional<T> (presence test, *, value_or, reset,
// comparison with std::nullopt, conversion to and from std::optional<T>),
// half its size. A long ride holds millions of samples with a dozen
// readings each, so this halves the memory of a loaded activity.
//
// Absent is distinct from zero, as with std::optional; assigning NaN (for
// numbers) or the lowest count or time makes the reading absent.
template <class T>
class TelemetryReading {
public:
    using value_type = T;

    constexpr TelemetryReading() noexcept : value_(Absence::marker()) {}
    constexpr TelemetryReading(std::nullopt_t) noexcept : value_(Absence::marker()) {}
    template <class U>
        requires std::is_convertible_v<U, T> && (!std::is_same_v<std::remove_cvref_t<U>, TelemetryReading>)
    constexpr TelemetryReading(U&& value) noexcept : value_(static_cast<T>(std::forward<U>(value))) {}
    template <class U>
        requires std::is_convertible_v<const U&, T>
    constexpr TelemetryReading(const std::optional<U>& value) noexcept
        : value_(value ? static_cast<T>(*value) : Absence::marker()) {}

    constexpr bool has_value() const noexcept { return !Absence::isMarker(value_); }
    constexpr explicit operator bool() const noexcept { return has_value(); }
    // Like std::optional: only for a present reading.
    constexpr const T& operator*() const noexcept { return value_; }
    constexpr T& operator*() noexcept { return value_; }
    constexpr const T* operator->() const noexcept { return &value_; }
    constexpr T value() const {
        if (!has_value()) throw std::bad_optional_access();
        return value_;
    }
    template <class U>
    constexpr T value_or(U&& fallback) const {
        return has_value() ? value_ : static_cast<T>(std::forward<U>(fallback));
    }
    constexpr void reset() noexcept { value_ = Absence::marker(); }

    constexpr operator std::optional<T>() const {
        return has_value() ? std::optional<T>(value_) : std::nullopt;
    }

    friend constexpr bool operator==(const TelemetryReading& a, const TelemetryReading& b) {
        return a.has_value() == b.has_value() && (!a.has_value() || a.value_ == b.value_);
    }
    friend constexpr bool operator==(const TelemetryReading& a, std::nullopt_t) { return !a.has_value(); }
    friend constexpr bool operator==(const TelemetryReading& a, const std::optional<T>& b) {
        return a == TelemetryReading(b);
    }

    // A plain value (151, 90.0, an instant) compares as a present reading.
    template <class U>
        requires std::is_convertible_v<const U&, T> && (!std::is_same_v<U, TelemetryReading>) &&
                 (!std::is_same_v<U, std::optional<T>>) && (!std::is_same_v<U, std::nullopt_t>)
    friend constexpr bool operator==(const TelemetryReading& a, const U& b) {
        return a.has_value() && a.value_ == static_cast<T>(b);
    }

    friend std::ostream& operator<<(std::ostream& out, const TelemetryReading& reading) {
        if (!reading.has_value()) return out << "(absent)";
        if constexpr (std::is_same_v<T, TelemetryTimestamp>) {
            return out << formatISO8601Milliseconds(reading.value_);
        } else {
            return out << reading.value_;
        }
    }

private:
    using Absence = TelemetryReadingAbsence<T>;
    T value_;
};

}  // namespace pacemark
