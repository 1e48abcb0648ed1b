// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"

#include <cstdint>
#include <vector>

namespace pacemark {

// The hvcC record of a QuickTime/MP4 sample entry: general profile, tier,
// level and formats of the base layer, 4-byte NAL lengths in the samples,
// and arrays of the given NAL units grouped by type (VPS, SPS, PPS, SEI in
// that order). Parameter-set arrays are marked complete -- no sample
// carries parameter sets -- the SEI array is not.
std::vector<std::uint8_t> hevcMakeDecoderConfigurationRecord(const HEVCSequenceParameterSet& base,
                                                             const std::vector<HEVCNalUnit>& nalUnits);

}  // namespace pacemark
