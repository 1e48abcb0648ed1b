// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Telemetry/TelemetrySample.h"

namespace pacemark::cli {

// Builds one flat JSON object. Doubles use the shortest text that reads back
// to the same value; non-finite doubles become null.
class JSONObjectWriter {
public:
    void add(std::string_view key, double value);
    void add(std::string_view key, std::int64_t value);
    void add(std::string_view key, std::string_view value);
    // `json` must already be valid JSON (a nested object, for example).
    void addRaw(std::string_view key, std::string_view json);
    template <typename T>
    void addIfPresent(std::string_view key, const std::optional<T>& value) {
        if (value) add(key, *value);
    }
    template <typename T>
    void addIfPresent(std::string_view key, const TelemetryReading<T>& value) {
        if (value) add(key, *value);
    }
    std::string finish() const { return text_ + "}"; }

private:
    void addKey(std::string_view key);
    std::string text_ = "{";
};

std::string jsonString(std::string_view text);
std::string jsonNumber(double value);

std::string sampleJSON(const TelemetrySample& sample);
std::string summaryJSON(const TelemetrySummary& summary);

}  // namespace pacemark::cli
