// SPDX-License-Identifier: GPL-3.0-or-later
// Random bytes into the HEVC alpha movie checker: it must return findings
// for anything, never throw, crash, read out of bounds or hit undefined
// behaviour. An input is a track as fuzz/make-hevc-alpha-seed.py writes it:
// the sample entry box (its size field says how long it is), then each
// sample as a 4-byte big-endian length and its bytes.
//
// fuzz-sources: ../../platform/x265/HEVCAlphaMovieCheck.cpp ../../platform/x265/HEVCVideoParameterSet.cpp
// fuzz-sources: ../../platform/x265/HEVCParameterSets.cpp ../../platform/x265/HEVCSliceHeader.cpp
// fuzz-sources: ../../platform/x265/HEVCNalUnit.cpp ../../platform/x265/HEVCBitReader.cpp
// fuzz-sources: ../../platform/x265/HEVCBitWriter.cpp
// fuzz-seeds: hvca
// fuzz-options: -max_len=16384

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "../platform/x265/HEVCAlphaMovieCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    auto bigEndian32 = [&input](std::size_t at) {
        return (std::size_t{input[at]} << 24) | (std::size_t{input[at + 1]} << 16) | (std::size_t{input[at + 2]} << 8) | input[at + 3];
    };
    const std::size_t entrySize = size >= 4 ? std::min(bigEndian32(0), size) : size;
    std::vector<std::span<const std::uint8_t>> samples;
    for (std::size_t at = entrySize; at < size;) {
        const std::size_t length = size - at >= 4 ? std::min(bigEndian32(at), size - at - 4) : 0;
        at += 4;
        if (at > size) break;
        samples.push_back(input.subspan(at, length));
        at += length;
    }
    const auto findings = pacemark::checkHEVCAlphaTrack(input.first(entrySize), samples);
    for (const auto& finding : findings) {
        if (finding.message.empty()) __builtin_trap();
    }
    return 0;
}
