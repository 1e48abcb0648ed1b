// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pacemark::testing {

// What the tests need from a QuickTime movie holding one HEVC track: the
// sample entry, its hvcC record, and the samples in order with their timing.
// Written for the tests so that they check our files without our muxer.
struct QuickTimeHEVCTrack {
    std::vector<std::uint8_t> sampleEntry;  // the whole box, header included
    std::vector<std::uint8_t> hvcC;
    std::vector<std::vector<std::uint8_t>> samples;
    std::vector<std::uint32_t> sampleDurations;
    std::vector<bool> syncSamples;  // per sample; all true without an stss box
};

QuickTimeHEVCTrack readQuickTimeHEVCTrack(const std::filesystem::path& path);

}  // namespace pacemark::testing
