// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetrySampleCollector.h"

#include <algorithm>

#include "TelemetryLoadError.h"

namespace pacemark {

void TelemetrySampleCollector::reserve(std::size_t expected) {
    if (size_ == 0) reserved_.reserve(std::min(expected, budget_));
}

void TelemetrySampleCollector::append(const TelemetrySample& sample) {
    if (size_ >= budget_) throw TelemetryLoadError::tooManySamples(budget_);
    if (blocks_.empty() && reserved_.size() < reserved_.capacity()) {
        reserved_.push_back(sample);
        ++size_;
        return;
    }
    if (blocks_.empty() || blocks_.back().size() == blockSamples) {
        blocks_.emplace_back();
        blocks_.back().reserve(blockSamples);
    }
    blocks_.back().push_back(sample);
    ++size_;
}

std::vector<TelemetrySample> TelemetrySampleCollector::take() {
    std::vector<TelemetrySample> samples;
    if (blocks_.empty()) {
        // An upper bound that proved much too high is not kept as slack.
        if (reserved_.capacity() - reserved_.size() > reserved_.size() / 8) reserved_.shrink_to_fit();
        samples = std::move(reserved_);
    } else if (reserved_.empty() && blocks_.size() == 1 && blocks_.front().size() * 2 >= blockSamples) {
        samples = std::move(blocks_.front());  // one block, mostly used: no copy
    } else {
        samples.reserve(size_);
        samples.insert(samples.end(), reserved_.begin(), reserved_.end());
        std::vector<TelemetrySample>().swap(reserved_);
        // Each block is freed as soon as it is copied.
        for (auto& block : blocks_) {
            samples.insert(samples.end(), block.begin(), block.end());
            std::vector<TelemetrySample>().swap(block);
        }
    }
    clear();
    return samples;
}

void TelemetrySampleCollector::clear() {
    reserved_ = {};
    blocks_.clear();
    size_ = 0;
}

}  // namespace pacemark
