// Random bytes into the FIT decoder: it must either return samples or throw
// FITParserError, never crash, read out of bounds or hit undefined behaviour.
//
// fuzz-sources: Telemetry/FITParser.cpp Telemetry/TelemetrySampleCollector.cpp Telemetry/TelemetryLoadError.cpp
// fuzz-seeds: fit
// Small inputs keep the rate high; the smaller real recordings (and the
// starts of the larger ones) cover every message kind.
// fuzz-options: -max_len=65536

#include <cstddef>
#include <cstdint>
#include <span>

#include "Telemetry/FITParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        pacemark::FITParser parser;
        const auto samples = parser.parse(std::span<const std::uint8_t>(data, size));
        // Decoded samples are raw: never any elapsed time, and no reading
        // that the decoder promises to drop.
        for (const auto& sample : samples) {
            if (sample.elapsed != 0) __builtin_trap();
            if (sample.heartRateBPM && *sample.heartRateBPM <= 0) __builtin_trap();
            if (sample.latitude && !(*sample.latitude >= -180 && *sample.latitude <= 180)) __builtin_trap();
        }
    } catch (const pacemark::FITParserError&) {
        // Damaged input is reported, which is the point.
    }
    return 0;
}
