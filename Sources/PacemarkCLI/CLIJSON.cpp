// SPDX-License-Identifier: GPL-3.0-or-later
#include "CLIJSON.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace pacemark::cli {

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string jsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

void JSONObjectWriter::addKey(std::string_view key) {
    if (text_.size() > 1) text_ += ",";
    text_ += jsonString(key);
    text_ += ":";
}

void JSONObjectWriter::add(std::string_view key, double value) {
    addKey(key);
    text_ += jsonNumber(value);
}

void JSONObjectWriter::add(std::string_view key, std::int64_t value) {
    addKey(key);
    text_ += std::to_string(value);
}

void JSONObjectWriter::add(std::string_view key, std::string_view value) {
    addKey(key);
    text_ += jsonString(value);
}

void JSONObjectWriter::addRaw(std::string_view key, std::string_view json) {
    addKey(key);
    text_ += json;
}

std::string sampleJSON(const TelemetrySample& s) {
    JSONObjectWriter json;
    json.add("elapsed", s.elapsed);
    if (s.timestamp) json.add("timestamp", formatISO8601Milliseconds(*s.timestamp));
    json.addIfPresent("latitude", s.latitude);
    json.addIfPresent("longitude", s.longitude);
    json.addIfPresent("altitudeMeters", s.altitudeMeters);
    json.addIfPresent("distanceMeters", s.distanceMeters);
    json.addIfPresent("gradePercent", s.gradePercent);
    json.addIfPresent("speedMetersPerSecond", s.speedMetersPerSecond);
    json.addIfPresent("heartRateBPM", s.heartRateBPM);
    json.addIfPresent("cadenceRPM", s.cadenceRPM);
    json.addIfPresent("powerWatts", s.powerWatts);
    return json.finish();
}

std::string summaryJSON(const TelemetrySummary& s) {
    JSONObjectWriter json;
    json.add("durationSeconds", s.durationSeconds);
    json.addIfPresent("totalDistanceMeters", s.totalDistanceMeters);
    json.addIfPresent("averageSpeedMetersPerSecond", s.averageSpeedMetersPerSecond);
    json.addIfPresent("maxSpeedMetersPerSecond", s.maxSpeedMetersPerSecond);
    json.addIfPresent("averageHeartRateBPM", s.averageHeartRateBPM);
    json.addIfPresent("maxHeartRateBPM", s.maxHeartRateBPM);
    json.addIfPresent("averageCadenceRPM", s.averageCadenceRPM);
    json.addIfPresent("maxCadenceRPM", s.maxCadenceRPM);
    json.addIfPresent("averagePowerWatts", s.averagePowerWatts);
    json.addIfPresent("maxPowerWatts", s.maxPowerWatts);
    json.addIfPresent("elevationGainMeters", s.elevationGainMeters);
    json.addIfPresent("maxGradePercent", s.maxGradePercent);
    return json.finish();
}

}  // namespace pacemark::cli
