// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the GPX reader. Any input must end in a list of
// samples or a GPXParserError; the samples must keep the reader's promises.
//
// fuzz-sources: Telemetry/GPXParser.cpp Telemetry/TelemetryTime.cpp Telemetry/TelemetrySampleCollector.cpp Telemetry/TelemetryLoadError.cpp TextTrimming.cpp
// fuzz-seeds: gpx
// The real recordings start the corpus, so the declared encodings (UTF-8,
// ISO-8859-1, the single-byte tables of our own) and the extension elements
// are reached from the first run; the length bound keeps the rate high while
// still holding whole track points of every recording.
// fuzz-options: -max_len=65536

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "Telemetry/GPXParser.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

bool finiteOrAbsent(const std::optional<double>& value) {
    return !value || std::isfinite(*value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pacemark;
    const std::span<const std::uint8_t> bytes(data, size);

    // The number readers on the raw bytes: a result is always a finite value.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto value = GPXParser::parseDecimal(text)) require(std::isfinite(*value));
    if (const auto value = GPXParser::parseInteger(text)) require(!text.empty());
    const std::string_view trimmed = GPXParser::trimmed(text);
    require(trimmed.size() <= text.size() && GPXParser::trimmed(trimmed) == trimmed);

    GPXParser reader;
    try {
        const auto samples = reader.parse(bytes);
        for (const TelemetrySample& sample : samples) {
            require(sample.elapsed == 0);
            require(sample.latitude && std::isfinite(*sample.latitude));
            require(sample.longitude && std::isfinite(*sample.longitude));
            require(finiteOrAbsent(sample.altitudeMeters) && finiteOrAbsent(sample.speedMetersPerSecond));
            require(!sample.distanceMeters && !sample.gradePercent);
        }
        // The same reader gives the same answer a second time, and so does
        // the document read in small pieces, as the loader streams a file.
        require(reader.parse(bytes) == samples);
        std::size_t offset = 0;
        const std::size_t piece = 1 + size % 13;
        require(reader.parse(
                    [&](std::uint8_t* into, std::size_t capacity) {
                        const std::size_t count = std::min({piece, capacity, size - offset});
                        std::copy_n(data + offset, count, into);
                        offset += count;
                        return count;
                    },
                    size / 64) == samples);
    } catch (const GPXParserError& error) {
        require(error.line() >= 1 && error.column() >= 1);
        require(!error.errorDescription().empty());
    }
    return 0;
}
