// SPDX-License-Identifier: GPL-3.0-or-later
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

// Choices in the VPS where encoders differ. Our files use the defaults;
// the other values reproduce streams of another encoder for comparison.
struct HEVCAlphaLayerSignalling {
    // Signal layer set {0, 1} in the base VPS with both layers output and
    // a third profile-tier-level entry, instead of the layout the platform
    // encoders of macOS write: layer set {0} in the base VPS, an additional
    // layer set {1} whose output layer set outputs the alpha layer, two
    // profile-tier-level entries and aligned POC LSBs.
    bool sharedLayerSet = false;
    // Also declare a DependencyId dimension next to AuxId.
    bool dependencyIdDimension = false;
    // Give the alpha layer the multi-layer Scalable Main profile instead of
    // the profile of its own SPS. Decoders that only know single-layer
    // profiles warn about it, and the alpha layer is coded independently
    // exactly like a base layer, so by default it keeps the base profile.
    bool scalableMainProfile = false;
};

// Profile, tier and level of the alpha layer inside the two-layer output
// layer set.
HEVCProfileTierLevel hevcAlphaLayerProfile(const HEVCProfileTierLevel& base, bool scalableMainProfile);

// The VPS of a two-layer stream: layer 0 colour, layer 1 an independently
// coded auxiliary picture carrying alpha (AuxId 1). Sizes, bit depths, DPB
// sizes, profile and level come from the base layer's SPS; both layers
// share one representation format, and IDR slices of layer 1 carry no POC
// LSB.
std::vector<std::uint8_t> hevcWriteAlphaVideoParameterSet(const HEVCSequenceParameterSet& base,
                                                          const HEVCAlphaLayerSignalling& signalling = {});

// alpha_channel_info SEI (payload type 165) as a layer-0 prefix SEI NAL,
// 8-bit alpha with 0 transparent and 255 opaque.
HEVCNalUnit hevcMakeAlphaChannelInfo(HEVCAlphaColourMode mode);

}  // namespace pacemark
