// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pacemark::testing {

// Which of the known encoder faults a built frame carries.
struct ProResFrameFaults {
    bool versionZero = false;         // version 0 instead of 1
    bool reservedAlphaBits = false;   // alpha type byte 0x40 | type
    bool missingFinalRunCode = false; // alpha of each slice without its last run code
};

// A small ProRes 4444 frame coded by hand from the format's grammar: frame
// header, picture header(s), slice index, slices whose colour planes are two
// placeholder bytes each and whose alpha is run-length coded from `alpha`
// (one list of values per slice, in slice order; 8-bit alpha uses the low
// byte; with `alphaBits` 0 the lists only count the slices). Two pictures
// (fields) when `interlaced`.
std::vector<std::uint8_t> buildProResFrame(int width, int height, const std::vector<std::vector<std::uint16_t>>& alpha,
                                           ProResFrameFaults faults, int alphaBits = 16, bool interlaced = false);

// The timing of a test movie's track: the media time scale and its 'stts'
// runs (count, duration); no runs means one run of every frame at `duration`.
// A time scale of 0 leaves out 'mdhd', `withDurations` false 'stts'.
struct QuickTimeTestTiming {
    std::uint32_t timeScale = 30;
    std::uint32_t duration = 1;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> runs;
    bool withDurations = true;

    static QuickTimeTestTiming constant(std::uint32_t timeScale, std::uint32_t duration) {
        QuickTimeTestTiming timing;
        timing.timeScale = timeScale;
        timing.duration = duration;
        return timing;
    }
    static QuickTimeTestTiming ofRuns(std::uint32_t timeScale, std::vector<std::pair<std::uint32_t, std::uint32_t>> runs) {
        QuickTimeTestTiming timing;
        timing.timeScale = timeScale;
        timing.runs = std::move(runs);
        return timing;
    }
    static QuickTimeTestTiming withoutDurationTable() {
        QuickTimeTestTiming timing;
        timing.withDurations = false;
        return timing;
    }
};

// A QuickTime movie with one video track whose samples are `frames`, with
// the sample entry `format` (its fields and then `extensions`, whole boxes).
std::vector<std::uint8_t> buildQuickTimeMovie(const std::string& format, int width, int height, int depth,
                                              const std::vector<std::vector<std::uint8_t>>& extensions,
                                              const std::vector<std::vector<std::uint8_t>>& frames,
                                              const QuickTimeTestTiming& timing = {});

// A premultiplied BGRA picture of random alpha and colour at every pixel:
// no runs for the alpha coder, and the largest coded frames.
std::vector<std::uint8_t> noisyPicture(std::int64_t width, std::int64_t height, unsigned seed);

// A box: 32-bit size, type, payload.
std::vector<std::uint8_t> quickTimeBox(const std::string& type, const std::vector<std::uint8_t>& payload);

}  // namespace pacemark::testing
