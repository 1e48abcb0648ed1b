// SPDX-License-Identifier: GPL-3.0-or-later
// Random bytes into the movie checker, read both as a whole QuickTime movie
// and as one coded ProRes frame: the checker must report or refuse, never
// crash, read out of bounds or hit undefined behaviour, and a frame the
// repair accepts must come back unchanged from a second repair.
//
// fuzz-sources: MovieCheck/MovieChecker.cpp MovieCheck/QuickTimeTrackReader.cpp MovieCheck/ProResFrame.cpp MovieCheck/ProResFrameRepair.cpp PacemarkError.cpp
// fuzz-sources: Telemetry/RegularFileOpening.cpp
// fuzz-seeds: mov prores
// fuzz-options: -max_len=65536

#include <cstddef>
#include <cstdint>
#include <span>

#include "MovieCheck/MovieChecker.h"
#include "MovieCheck/ProResFrame.h"
#include "MovieCheck/ProResFrameRepair.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    try {
        pacemark::MemoryMovieSource source(bytes);
        const auto report = pacemark::MovieChecker([](auto, const auto&) {
                                return std::vector<pacemark::MovieCheckFinding>{};
                            }).check(source);
        if (report.frameCount == 0) __builtin_trap();  // a track without frames is refused, not passed
    } catch (const pacemark::MovieCheckError&) {
        // Damaged movies are reported, which is the point.
    }
    try {
        const auto repaired = pacemark::ProResFrameRepair::repair(bytes);
        if (pacemark::ProResFrameRepair::repair(repaired) != repaired) __builtin_trap();
    } catch (const pacemark::ProResFormatError&) {
    }
    return 0;
}
