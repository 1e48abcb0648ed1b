// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

#include "TelemetrySample.h"

namespace pacemark {

// Gathers the samples a decoder produces and hands them over as one vector.
// A growing vector would copy everything on each doubling (three times the
// samples for a moment) and keep up to half again as slack. With a count
// known beforehand (reserve(), from a cheap first pass) the samples go
// straight into a vector of that size; otherwise, or past it, into fixed
// blocks that are joined at the end (twice the samples for a moment).
//
// Past `budget` samples, append() fails with TelemetryLoadError::
// tooManySamples: a file too large for memory is refused while it is read.
class TelemetrySampleCollector {
public:
    static constexpr std::size_t blockSamples = 16384;

    explicit TelemetrySampleCollector(std::size_t budget = telemetrySampleBudget) : budget_(budget) {}

    // Room for `expected` samples (at most the budget), for a decoder that
    // counted them, or an upper bound of them, first.
    void reserve(std::size_t expected);
    void append(const TelemetrySample& sample);
    std::size_t size() const { return size_; }
    // Every sample in order; the collector is empty afterwards.
    std::vector<TelemetrySample> take();
    void clear();

private:
    std::vector<TelemetrySample> reserved_;
    std::vector<std::vector<TelemetrySample>> blocks_;
    std::size_t size_ = 0;
    std::size_t budget_;
};

}  // namespace pacemark
