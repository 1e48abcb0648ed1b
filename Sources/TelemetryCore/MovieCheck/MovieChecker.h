// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "MovieCheckFinding.h"
#include "QuickTimeTrackReader.h"

namespace pacemark {

// What the checker found in one movie.
struct MovieCheckReport {
    std::string codec;  // "ProRes 4444 («ap4h»)", "HEVC («hvc1»)"
    int width = 0;
    int height = 0;
    std::size_t frameCount = 0;
    // time scale / sample duration when every sample lasts the same, in
    // lowest terms (30000/1001); unknown when they differ or are not stated.
    FrameRate frameRate;
    std::vector<MovieCheckFinding> findings;  // empty when well formed

    bool wellFormed() const { return findings.empty(); }
};

// Tells whether a QuickTime movie's alpha is well formed for strict
// decoders (the ones editors use), independently of who wrote it.
// ProRes: every frame header and every slice's alpha data, each fault
// counted with its first frame and slice, and the sample entry's depth,
// 'colr', 'fiel' and 'pasp'. HEVC: the track goes to the HEVC checker given
// at construction. Any codec: the frame rate, which editors read from the
// sample durations: every sample must last the same (a constant rate), the
// durations must cover every sample, and an HEVC stream's own timing (from
// the reader given at construction) must state the same rate as the track.
// Reads one frame at a time, so memory stays flat for ProRes however long
// the movie is.
class MovieChecker {
public:
    explicit MovieChecker(HEVCAlphaTrackChecker hevcChecker = {}, HEVCTrackFrameRateReader hevcFrameRate = {})
        : hevcChecker_(std::move(hevcChecker)), hevcFrameRate_(std::move(hevcFrameRate)) {}

    // Throws MovieCheckError when the file is no readable QuickTime movie
    // with a video track, its codec is neither ProRes nor HEVC, or it is
    // HEVC and no HEVC checker was given.
    MovieCheckReport check(MovieByteSource& source) const;

private:
    HEVCAlphaTrackChecker hevcChecker_;
    HEVCTrackFrameRateReader hevcFrameRate_;
};

}  // namespace pacemark
