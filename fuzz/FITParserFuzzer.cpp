// SPDX-License-Identifier: GPL-3.0-or-later
// Random bytes into the FIT decoder: it must either return samples or throw
// FITParserError, never crash, read out of bounds or hit undefined behaviour.
// The same bytes handed over in small pieces, as a file is streamed, must
// decode to the same samples or fail the same way.
//
// fuzz-sources: Telemetry/FITParser.cpp Telemetry/FITByteStream.cpp Telemetry/TelemetrySampleCollector.cpp Telemetry/TelemetryLoadError.cpp
// fuzz-seeds: fit
// Small inputs keep the rate high; the smaller real recordings (and the
// starts of the larger ones) cover every message kind.
// fuzz-options: -max_len=65536

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "Telemetry/FITParser.h"

namespace {

using pacemark::FITParser;
using pacemark::FITParserError;
using pacemark::TelemetrySample;

// The samples, or the case and local message of the error.
using Outcome = std::pair<std::vector<TelemetrySample>, std::optional<std::pair<FITParserError::Case, std::int64_t>>>;

// `expectedRecords` only makes room beforehand, as the loader does.
template <class... Input>
Outcome decode(const Input&... input) {
    try {
        return {FITParser().parse(input...), std::nullopt};
    } catch (const FITParserError& error) {
        return {{}, std::pair{error.errorCase(), error.localMessage()}};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Outcome whole = decode(std::span<const std::uint8_t>(data, size));
    // Decoded samples are raw: never any elapsed time, and no reading
    // that the decoder promises to drop.
    for (const auto& sample : whole.first) {
        if (sample.elapsed != 0) __builtin_trap();
        if (sample.heartRateBPM && *sample.heartRateBPM <= 0) __builtin_trap();
        if (sample.latitude && !(*sample.latitude >= -180 && *sample.latitude <= 180)) __builtin_trap();
    }
    // Pieces of 1 to 509 bytes end inside messages of every kind without
    // slowing the run down much.
    std::size_t offset = 0;
    const std::size_t piece = 1 + size % 509;
    const FITParser::ByteSource pieces = [&](std::uint8_t* into, std::size_t capacity) {
        const std::size_t count = std::min(std::min(piece, capacity), size - offset);
        if (count > 0) std::memcpy(into, data + offset, count);
        offset += count;
        return count;
    };
    if (decode(pieces, whole.first.size()) != whole) __builtin_trap();
    return 0;
}
