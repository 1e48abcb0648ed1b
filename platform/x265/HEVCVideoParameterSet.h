// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pacemark {

// What a VPS says about the layers of a stream: the base part and, for a
// stream of at most two layers, the multi-layer extension up to its VUI.
// Read by the movie checker from files of any origin, so every count is
// bounded and every read is checked: parse() throws HEVCBitstreamError on a
// grammar error, a truncated VPS, or syntax it does not follow (more than
// two layers, HRD parameters, a VPS VUI is only noted).
struct HEVCVideoParameterSet {
    struct OutputLayerSet {
        std::uint32_t layerSetIndex = 0;
        // Per layer of the layer set, in its order: explicit or inferred
        // output_layer_flag.
        std::vector<bool> outputLayers;
    };
    struct RepresentationFormat {
        std::uint32_t widthLumaSamples = 0;
        std::uint32_t heightLumaSamples = 0;
        std::uint32_t chromaFormatIdc = 0;
        std::uint32_t bitDepthLumaMinus8 = 0;
        std::uint32_t bitDepthChromaMinus8 = 0;
    };

    bool baseLayerInternal = false;
    int maxLayersMinus1 = 0;
    int maxSubLayersMinus1 = 0;
    int maxLayerId = 0;
    // Layer sets as lists of nuh_layer_id: first the vps_num_layer_sets_minus1
    // + 1 of the base part, then the additional ones of the extension.
    std::vector<std::vector<int>> layerSets;
    std::size_t baseLayerSetCount = 0;

    bool extensionPresent = false;
    // The rest is filled only when extensionPresent.
    std::uint32_t scalabilityMask = 0;  // bit i: scalability_mask_flag[i]
    // Per layer index (0 is the base layer): nuh_layer_id, AuxId (0 when the
    // mask has no auxiliary dimension) and direct_dependency_flag[i][0].
    std::vector<int> layerIdInNuh;
    std::vector<std::uint32_t> auxId;
    std::vector<bool> dependsOnBaseLayer;
    // The base VPS's profile_tier_level and those of the extension.
    std::uint32_t profileTierLevelCount = 1;
    // Output layer sets 1 and up (set 0, the base layer alone, is implicit).
    std::vector<OutputLayerSet> outputLayerSets;
    std::vector<RepresentationFormat> representationFormats;
    // Per layer index, which representation format it uses.
    std::vector<std::uint32_t> representationFormatIndex;
    bool pocLsbAligned = false;
    // Per layer index; false for the base layer and for layers with
    // reference layers (which never carry the flag).
    std::vector<bool> pocLsbNotPresent;
    bool vuiPresent = false;

    static constexpr int scalabilityAuxId = 3;

    static HEVCVideoParameterSet parse(std::span<const std::uint8_t> rbsp);
};

}  // namespace pacemark
