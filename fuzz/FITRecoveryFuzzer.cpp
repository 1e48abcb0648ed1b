// SPDX-License-Identifier: GPL-3.0-or-later
// Random bytes into the recovering FIT decoder. Besides never crashing, it
// must agree with the strict decoder: an undamaged result is the strict
// result; a damaged one is exactly what the strict decoder reads from the
// file sealed at the end of the last whole message, and the strict error
// counts those records.
//
// fuzz-sources: Telemetry/FITParser.cpp Telemetry/FITByteStream.cpp Telemetry/TelemetrySampleCollector.cpp Telemetry/TelemetryLoadError.cpp
// fuzz-seeds: fit
// fuzz-options: -max_len=65536

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Telemetry/FITParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using pacemark::FITParser;
    using pacemark::FITParserError;
    const std::span<const std::uint8_t> bytes(data, size);
    FITParser::Recovery recovery;
    try {
        recovery = FITParser().parseRecovering(bytes);
    } catch (const FITParserError& error) {
        // Only a header with nothing behind it to read fails outright.
        if (error.errorCase() != FITParserError::Case::invalidHeader) __builtin_trap();
        return 0;
    }
    const std::size_t headerSize = data[0];
    if (recovery.intactBytes < headerSize || recovery.intactBytes > size) __builtin_trap();

    if (!recovery.damage) {
        if (FITParser().parse(bytes) != recovery.samples) __builtin_trap();
        return 0;
    }
    try {
        FITParser().parse(bytes);
        __builtin_trap();  // strict decoding must refuse what recovery calls damaged
    } catch (const FITParserError& error) {
        if (error.readableRecordCount() != recovery.samples.size()) __builtin_trap();
    }

    std::vector<std::uint8_t> sealed(data, data + recovery.intactBytes);
    const auto dataSize = static_cast<std::uint32_t>(recovery.intactBytes - headerSize);
    for (int k = 0; k < 4; ++k) sealed[4 + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(dataSize >> (8 * k));
    // Room for the file CRC, which is never read, so that a 12-byte header
    // with no whole message still makes a file of the minimum length.
    sealed.insert(sealed.end(), 2, 0);
    try {
        if (FITParser().parse(sealed) != recovery.samples) __builtin_trap();
    } catch (const FITParserError&) {
        __builtin_trap();  // the intact part must decode strictly
    }
    return 0;
}
