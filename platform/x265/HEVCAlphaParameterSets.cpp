// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaParameterSets.h"

#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"

namespace pacemark {
namespace {

constexpr int scalabilityDependencyId = 2;
constexpr int scalabilityAuxId = 3;
constexpr std::uint32_t auxIdAlpha = 1;

}  // namespace

HEVCProfileTierLevel hevcAlphaLayerProfile(const HEVCProfileTierLevel& base, bool scalableMainProfile) {
    if (!scalableMainProfile) return base;
    constexpr int scalableMain = 7;
    HEVCProfileTierLevel profile;
    profile.profileSpace = 0;
    profile.tierFlag = base.tierFlag;
    profile.profileIdc = scalableMain;
    profile.compatibilityFlags = 1u << (31 - scalableMain);
    // Keep the base layer's four source flags (progressive, interlaced,
    // non-packed, frame-only); then max_12bit, max_10bit, max_8bit,
    // max_422chroma, max_420chroma set, max_monochrome, intra and
    // one_picture_only clear, lower_bit_rate set.
    const std::uint64_t sourceFlags = base.constraintFlags & (std::uint64_t{0xF} << 44);
    profile.constraintFlags = sourceFlags | (std::uint64_t{0b111110001} << 35);
    profile.levelIdc = base.levelIdc;
    return profile;
}

std::vector<std::uint8_t> hevcWriteAlphaVideoParameterSet(const HEVCSequenceParameterSet& base,
                                                          const HEVCAlphaLayerSignalling& signalling) {
    const bool alsoSignalDependencyId = signalling.dependencyIdDimension;
    const bool shared = signalling.sharedLayerSet;
    if (base.maxSubLayersMinus1 != 0) throw HEVCBitstreamError("временные подслои не поддерживаются");
    if (base.widthLumaSamples > 0xFFFF || base.heightLumaSamples > 0xFFFF) {
        throw HEVCBitstreamError("кадр слишком велик для формата представления VPS");
    }
    HEVCBitWriter w;
    w.writeBits(0, 4);  // vps_video_parameter_set_id
    w.writeFlag(true);  // vps_base_layer_internal_flag
    w.writeFlag(true);  // vps_base_layer_available_flag
    w.writeBits(1, 6);  // vps_max_layers_minus1
    w.writeBits(0, 3);  // vps_max_sub_layers_minus1
    w.writeFlag(base.temporalIdNesting);
    w.writeBits(0xFFFF, 16);
    base.profileTierLevel.write(w, true);
    w.writeFlag(true);  // vps_sub_layer_ordering_info_present_flag
    w.writeUnsignedExpGolomb(base.ordering.maxDecPicBufferingMinus1);
    w.writeUnsignedExpGolomb(base.ordering.maxNumReorderPics);
    w.writeUnsignedExpGolomb(base.ordering.maxLatencyIncreasePlus1);
    w.writeBits(1, 6);  // vps_max_layer_id
    if (shared) {
        w.writeUnsignedExpGolomb(1);  // vps_num_layer_sets_minus1: {0} and {0, 1}
        w.writeFlag(true);            // layer_id_included_flag[1][0]
        w.writeFlag(true);            // layer_id_included_flag[1][1]
    } else {
        w.writeUnsignedExpGolomb(0);  // vps_num_layer_sets_minus1: {0} only
    }
    w.writeFlag(false);             // vps_timing_info_present_flag
    w.writeFlag(true);              // vps_extension_flag
    while (!w.isByteAligned()) w.writeFlag(true);  // vps_extension_alignment_bit_equal_to_one

    // vps_extension()
    base.profileTierLevel.write(w, false);  // level of layer set 1, profile inferred
    w.writeFlag(false);                     // splitting_flag
    for (int type = 0; type < 16; ++type) {
        const bool used = type == scalabilityAuxId || (alsoSignalDependencyId && type == scalabilityDependencyId);
        w.writeFlag(used);  // scalability_mask_flag
    }
    const int dimensions = alsoSignalDependencyId ? 2 : 1;
    for (int j = 0; j < dimensions; ++j) w.writeBits(0, 3);  // dimension_id_len_minus1: one bit each
    w.writeFlag(true);                                       // vps_nuh_layer_id_present_flag
    w.writeBits(1, 6);                                       // layer_id_in_nuh[1]
    if (alsoSignalDependencyId) w.writeBits(1, 1);           // dimension_id[1][DependencyId]
    w.writeBits(auxIdAlpha, 1);                              // dimension_id[1][AuxId]: alpha
    w.writeBits(0, 4);                                       // view_id_len
    w.writeFlag(false);  // direct_dependency_flag[1][0]: alpha is coded independently
    // Both layers are independent, so num_add_layer_sets is present.
    if (shared) {
        w.writeUnsignedExpGolomb(0);  // num_add_layer_sets
    } else {
        w.writeUnsignedExpGolomb(1);  // num_add_layer_sets: layer set 1 = {1}
        w.writeBits(1, 1);            // highest_layer_idx_plus1[0][1]: tree of layer 1, one layer
    }
    w.writeFlag(false);  // vps_sub_layers_max_minus1_present_flag
    w.writeFlag(false);  // max_tid_ref_present_flag
    w.writeFlag(false);  // default_ref_layers_active_flag
    if (shared) {
        w.writeUnsignedExpGolomb(2);  // vps_num_profile_tier_level_minus1
        w.writeFlag(true);            // vps_profile_present_flag[2]
        hevcAlphaLayerProfile(base.profileTierLevel, signalling.scalableMainProfile).write(w, true);
    } else {
        // The base VPS's entry and the level-only one above, whose profile
        // is inferred from the base layer's.
        w.writeUnsignedExpGolomb(1);  // vps_num_profile_tier_level_minus1
    }
    w.writeUnsignedExpGolomb(0);  // num_add_olss
    w.writeBits(0, 2);            // default_output_layer_idc: every layer is output
    if (shared) {
        // Output layer set 1 = layer set {0, 1}: base with PTL 1, alpha with PTL 2.
        w.writeBits(1, 2);  // profile_tier_level_idx[1][0]
        w.writeBits(2, 2);  // profile_tier_level_idx[1][1]
    } else {
        // Output layer set 1 = the additional layer set {1}, whose output
        // flags are always explicit.
        w.writeFlag(true);  // output_layer_flag[1][0]: the alpha layer is output
        w.writeBits(1, 1);  // profile_tier_level_idx[1][0]
    }
    w.writeUnsignedExpGolomb(0);  // vps_num_rep_formats_minus1
    // rep_format(): one for both layers, so the alpha picture is 4:2:0 too.
    w.writeBits(base.widthLumaSamples, 16);
    w.writeBits(base.heightLumaSamples, 16);
    w.writeFlag(true);  // chroma_and_bit_depth_vps_present_flag
    w.writeBits(base.chromaFormatIdc, 2);
    if (base.chromaFormatIdc == 3) w.writeFlag(base.separateColourPlane);
    w.writeBits(base.bitDepthLumaMinus8, 4);
    w.writeBits(base.bitDepthChromaMinus8, 4);
    w.writeFlag(base.conformanceWindow);
    if (base.conformanceWindow) {
        w.writeUnsignedExpGolomb(base.confWinLeft);
        w.writeUnsignedExpGolomb(base.confWinRight);
        w.writeUnsignedExpGolomb(base.confWinTop);
        w.writeUnsignedExpGolomb(base.confWinBottom);
    }
    w.writeFlag(true);   // max_one_active_ref_layer_flag
    // The two encodes give every access unit's pictures the same POC.
    w.writeFlag(!shared);  // vps_poc_lsb_aligned_flag
    // poc_lsb_not_present_flag[1]: IDR slices of the alpha layer carry no
    // POC LSB, exactly like the base layer's (the encodes are single-layer).
    w.writeFlag(true);
    // dpb_size() of output layer set 1.
    w.writeFlag(false);  // sub_layer_flag_info_present_flag
    // The alpha encode makes the colour encode's decisions, so both layers
    // need the same picture buffers.
    if (shared) w.writeUnsignedExpGolomb(base.ordering.maxDecPicBufferingMinus1);  // layer 0
    w.writeUnsignedExpGolomb(base.ordering.maxDecPicBufferingMinus1);              // layer 1
    w.writeUnsignedExpGolomb(base.ordering.maxNumReorderPics);
    w.writeUnsignedExpGolomb(base.ordering.maxLatencyIncreasePlus1);
    w.writeUnsignedExpGolomb(0);  // direct_dep_type_len_minus2
    w.writeFlag(false);           // direct_dependency_all_layers_flag
    w.writeUnsignedExpGolomb(0);  // vps_non_vui_extension_length
    w.writeFlag(false);           // vps_vui_present_flag
    w.writeFlag(false);           // vps_extension2_flag
    w.writeTrailingBits();
    return w.bytes();
}

HEVCNalUnit hevcMakeAlphaChannelInfo(HEVCAlphaColourMode mode) {
    HEVCBitWriter payload;
    payload.writeFlag(false);                                    // alpha_channel_cancel_flag
    payload.writeBits(static_cast<std::uint32_t>(mode), 3);      // alpha_channel_use_idc
    payload.writeBits(0, 3);                                     // alpha_channel_bit_depth_minus8
    payload.writeBits(0, 9);                                     // alpha_transparent_value
    payload.writeBits(255, 9);                                   // alpha_opaque_value
    payload.writeFlag(false);                                    // alpha_channel_incr_flag
    payload.writeFlag(false);                                    // alpha_channel_clip_flag
    if (!payload.isByteAligned()) payload.writeTrailingBits();  // payload_bit_equal_to_one + zeros

    HEVCBitWriter sei;
    sei.writeBits(165, 8);  // payloadType: alpha_channel_info
    sei.writeBits(static_cast<std::uint32_t>(payload.bytes().size()), 8);
    sei.writeBytes(payload.bytes().data(), payload.bytes().size());
    sei.writeTrailingBits();

    HEVCNalUnit unit;
    unit.type = HEVCNalType::prefixSei;
    unit.layerId = 0;
    unit.temporalIdPlus1 = 1;
    unit.rbsp = sei.bytes();
    return unit;
}

}  // namespace pacemark
