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
    std::vector<MovieCheckFinding> findings;  // empty when well formed

    bool wellFormed() const { return findings.empty(); }
};

// Tells whether a QuickTime movie's alpha is well formed for strict
// decoders (the ones editors use), independently of who wrote it.
// ProRes: every frame header and every slice's alpha data, each fault
// counted with its first frame and slice, and the sample entry's depth,
// 'colr', 'fiel' and 'pasp'. HEVC: the track goes to the HEVC checker given
// at construction. Reads one frame at a time, so memory stays flat for
// ProRes however long the movie is.
class MovieChecker {
public:
    explicit MovieChecker(HEVCAlphaTrackChecker hevcChecker = {}) : hevcChecker_(std::move(hevcChecker)) {}

    // Throws MovieCheckError when the file is no readable QuickTime movie
    // with a video track, its codec is neither ProRes nor HEVC, or it is
    // HEVC and no HEVC checker was given.
    MovieCheckReport check(MovieByteSource& source) const;

private:
    HEVCAlphaTrackChecker hevcChecker_;
};

}  // namespace pacemark
