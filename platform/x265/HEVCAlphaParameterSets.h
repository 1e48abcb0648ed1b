#pragma once

#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"

#include <cstdint>
#include <vector>

namespace pacemark {

// How the colour of a picture relates to its alpha, as signalled by
// alpha_channel_use_idc in the alpha_channel_info SEI.
enum class HEVCAlphaColourMode : std::uint8_t {
    straight = 0,       // colour not multiplied by alpha
    premultiplied = 1,  // colour already multiplied by alpha
};

// Profile of the alpha layer inside the two-layer output layer set: the
// multi-layer "Scalable Main" profile (the base layer's own SPS stays Main).
HEVCProfileTierLevel hevcAlphaLayerProfile(const HEVCProfileTierLevel& base);

// The VPS of a two-layer stream: layer 0 colour, layer 1 an independently
// coded auxiliary picture carrying alpha. Sizes, bit depths, DPB sizes and
// the level come from the base layer's SPS; both layers are output and use
// one representation format. `alsoSignalDependencyId` adds a DependencyId
// dimension next to AuxId, as some other encoders do (kept for comparing
// with their streams; our files signal AuxId alone).
std::vector<std::uint8_t> hevcWriteAlphaVideoParameterSet(const HEVCSequenceParameterSet& base,
                                                          bool alsoSignalDependencyId = false);

// alpha_channel_info SEI (payload type 165) as a layer-0 prefix SEI NAL,
// 8-bit alpha with 0 transparent and 255 opaque.
HEVCNalUnit hevcMakeAlphaChannelInfo(HEVCAlphaColourMode mode);

}  // namespace pacemark
