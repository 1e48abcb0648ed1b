// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCVideoParameterSet.h"

#include "HEVCBitReader.h"
#include "HEVCParameterSets.h"

#include <algorithm>
#include <string>

namespace pacemark {
namespace {

int ceilLog2(std::uint64_t value) {
    int bits = 0;
    while ((std::uint64_t{1} << bits) < value) ++bits;
    return bits;
}

std::uint32_t readBounded(HEVCBitReader& reader, std::uint32_t limit, const char* name) {
    return reader.readUnsignedExpGolomb(limit, name);
}

HEVCVideoParameterSet::RepresentationFormat readRepresentationFormat(HEVCBitReader& reader, bool first) {
    HEVCVideoParameterSet::RepresentationFormat format;
    format.widthLumaSamples = reader.readBits(16);
    format.heightLumaSamples = reader.readBits(16);
    if (reader.readFlag()) {  // chroma_and_bit_depth_vps_present_flag
        format.chromaFormatIdc = reader.readBits(2);
        if (format.chromaFormatIdc == 3) reader.readFlag();  // separate_colour_plane_vps_flag
        format.bitDepthLumaMinus8 = reader.readBits(4);
        format.bitDepthChromaMinus8 = reader.readBits(4);
    } else if (first) {
        throw HEVCBitstreamError("в первом rep_format нет формата цветности и разрядности");
    }
    if (reader.readFlag()) {  // conformance_window_vps_flag
        for (int i = 0; i < 4; ++i) reader.readUnsignedExpGolomb();
    }
    return format;
}

}  // namespace

HEVCVideoParameterSet HEVCVideoParameterSet::parse(std::span<const std::uint8_t> rbsp) {
    HEVCBitReader reader(rbsp);
    HEVCVideoParameterSet vps;
    reader.readBits(4);  // vps_video_parameter_set_id
    vps.baseLayerInternal = reader.readFlag();
    reader.readFlag();  // vps_base_layer_available_flag
    vps.maxLayersMinus1 = static_cast<int>(reader.readBits(6));
    vps.maxSubLayersMinus1 = static_cast<int>(reader.readBits(3));
    if (vps.maxSubLayersMinus1 > 6) throw HEVCBitstreamError("поле vps_max_sub_layers_minus1 больше 6");
    reader.readFlag();  // vps_temporal_id_nesting_flag
    if (reader.readBits(16) != 0xFFFF) throw HEVCBitstreamError("поле vps_reserved_0xffff_16bits не равно 0xffff");
    HEVCProfileTierLevel::read(reader, true, vps.maxSubLayersMinus1);
    const bool orderingForEverySubLayer = reader.readFlag();
    for (int i = orderingForEverySubLayer ? 0 : vps.maxSubLayersMinus1; i <= vps.maxSubLayersMinus1; ++i) {
        for (int k = 0; k < 3; ++k) reader.readUnsignedExpGolomb();
    }
    vps.maxLayerId = static_cast<int>(reader.readBits(6));
    vps.baseLayerSetCount = readBounded(reader, 1023, "vps_num_layer_sets_minus1") + std::size_t{1};
    vps.layerSets.push_back({0});
    for (std::size_t i = 1; i < vps.baseLayerSetCount; ++i) {
        std::vector<int> layers;
        for (int id = 0; id <= vps.maxLayerId; ++id) {
            if (reader.readFlag()) layers.push_back(id);
        }
        vps.layerSets.push_back(std::move(layers));
    }
    if (reader.readFlag()) {  // vps_timing_info_present_flag
        reader.readBits(32);
        reader.readBits(32);
        if (reader.readFlag()) reader.readUnsignedExpGolomb();  // vps_num_ticks_poc_diff_one_minus1
        if (reader.readUnsignedExpGolomb() != 0) throw HEVCBitstreamError("параметры HRD в VPS не поддерживаются");
    }
    vps.extensionPresent = reader.readFlag();
    if (!vps.extensionPresent) {
        if (reader.bitPosition() != reader.trailingBitsPosition()) throw HEVCBitstreamError("VPS кончается не там, где ожидалось");
        return vps;
    }
    if (vps.maxLayersMinus1 > 1) throw HEVCBitstreamError("больше двух слоёв не поддерживается");
    while (!reader.isByteAligned()) {
        if (!reader.readFlag()) throw HEVCBitstreamError("бит выравнивания расширения VPS равен нулю");
    }

    // vps_extension()
    const int layers = vps.maxLayersMinus1 + 1;
    if (vps.maxLayersMinus1 > 0 && vps.baseLayerInternal) HEVCProfileTierLevel::read(reader, false, vps.maxSubLayersMinus1);
    const bool splitting = reader.readFlag();
    vps.scalabilityMask = reader.readBits(16);
    std::vector<int> types;  // scalability types in the order of their dimension ids
    for (int type = 0; type < 16; ++type) {
        if (vps.scalabilityMask & (0x8000u >> type)) types.push_back(type);
    }
    std::vector<int> lengths;
    for (std::size_t j = 0; j + (splitting ? 1 : 0) < types.size(); ++j) lengths.push_back(static_cast<int>(reader.readBits(3)) + 1);
    if (splitting && !types.empty()) {
        int used = 0;
        for (const int length : lengths) used += length;
        if (used >= 6) throw HEVCBitstreamError("номера измерений масштабируемости длиннее номера слоя");
        lengths.push_back(6 - used);
    }
    const bool layerIdsPresent = reader.readFlag();
    vps.layerIdInNuh.assign(static_cast<std::size_t>(layers), 0);
    vps.auxId.assign(static_cast<std::size_t>(layers), 0);
    std::vector<std::uint32_t> viewOrder(static_cast<std::size_t>(layers), 0);
    for (int i = 1; i < layers; ++i) {
        const auto at = static_cast<std::size_t>(i);
        vps.layerIdInNuh[at] = layerIdsPresent ? static_cast<int>(reader.readBits(6)) : i;
        int offset = 0;
        for (std::size_t j = 0; j < types.size(); ++j) {
            std::uint32_t dimension = 0;
            if (splitting) {
                // The dimension ids are the layer id's bits, lowest dimension
                // in the lowest bits.
                dimension = (static_cast<std::uint32_t>(vps.layerIdInNuh[at]) >> offset) & ((1u << lengths[j]) - 1u);
                offset += lengths[j];
            } else {
                dimension = reader.readBits(lengths[j]);
            }
            if (types[j] == scalabilityAuxId) vps.auxId[at] = dimension;
            if (types[j] == 1) viewOrder[at] = dimension;  // ViewOrderIdx
        }
    }
    const int viewIdLength = static_cast<int>(reader.readBits(4));
    if (viewIdLength > 0) {
        const std::size_t views = viewOrder.size() > 1 && viewOrder[1] != viewOrder[0] ? 2 : 1;
        for (std::size_t i = 0; i < views; ++i) reader.readBits(viewIdLength);
    }
    vps.dependsOnBaseLayer.assign(static_cast<std::size_t>(layers), false);
    for (int i = 1; i < layers; ++i) vps.dependsOnBaseLayer[static_cast<std::size_t>(i)] = reader.readFlag();
    const bool twoIndependentLayers = layers == 2 && !vps.dependsOnBaseLayer[1];
    std::uint32_t additionalLayerSets = 0;
    if (twoIndependentLayers) {
        additionalLayerSets = readBounded(reader, 1023, "num_add_layer_sets");
        for (std::uint32_t i = 0; i < additionalLayerSets; ++i) {
            // One tree partition besides the base layer's: layer 1 alone.
            const std::uint32_t highestLayerIndexPlus1 = reader.readBits(1);
            vps.layerSets.push_back(highestLayerIndexPlus1 ? std::vector<int>{vps.layerIdInNuh[1]} : std::vector<int>{});
        }
    }
    std::vector<int> maxSubLayersInLayer(static_cast<std::size_t>(layers), vps.maxSubLayersMinus1);
    if (reader.readFlag()) {  // vps_sub_layers_max_minus1_present_flag
        for (auto& value : maxSubLayersInLayer) value = static_cast<int>(reader.readBits(3));
    }
    if (reader.readFlag()) {  // max_tid_ref_present_flag
        for (int i = 1; i < layers; ++i) {
            if (vps.dependsOnBaseLayer[static_cast<std::size_t>(i)]) reader.readBits(3);
        }
    }
    reader.readFlag();  // default_ref_layers_active_flag
    const std::uint32_t profileTierLevelsMinus1 = readBounded(reader, 63, "vps_num_profile_tier_level_minus1");
    vps.profileTierLevelCount = profileTierLevelsMinus1 + 1;
    for (std::uint32_t i = vps.baseLayerInternal ? 2 : 1; i <= profileTierLevelsMinus1; ++i) {
        const bool profilePresent = reader.readFlag();
        HEVCProfileTierLevel::read(reader, profilePresent, vps.maxSubLayersMinus1);
    }

    const std::size_t layerSetCount = vps.layerSets.size();
    std::uint32_t additionalOutputLayerSets = 0;
    std::uint32_t defaultOutputLayerIdc = 0;
    if (layerSetCount > 1) {
        additionalOutputLayerSets = readBounded(reader, 1023, "num_add_olss");
        defaultOutputLayerIdc = reader.readBits(2);
    }
    auto layerIndex = [&vps](int nuhLayerId) {
        const auto found = std::find(vps.layerIdInNuh.begin(), vps.layerIdInNuh.end(), nuhLayerId);
        if (found == vps.layerIdInNuh.end()) throw HEVCBitstreamError("набор слоёв называет неизвестный слой");
        return static_cast<std::size_t>(found - vps.layerIdInNuh.begin());
    };
    std::vector<std::vector<bool>> necessaryLayers;
    const std::size_t outputLayerSetCount = layerSetCount + additionalOutputLayerSets;
    for (std::size_t i = 1; i < outputLayerSetCount; ++i) {
        OutputLayerSet set;
        set.layerSetIndex = static_cast<std::uint32_t>(i);
        if (layerSetCount > 2 && i >= layerSetCount) {
            set.layerSetIndex = reader.readBits(ceilLog2(layerSetCount - 1)) + 1;
            if (set.layerSetIndex >= layerSetCount) throw HEVCBitstreamError("поле layer_set_idx_for_ols_minus1 вне допустимых пределов");
        } else if (i >= layerSetCount) {
            set.layerSetIndex = 1;
        }
        const std::vector<int>& ids = vps.layerSets[set.layerSetIndex];
        if (i >= vps.baseLayerSetCount || defaultOutputLayerIdc == 2) {
            for (std::size_t j = 0; j < ids.size(); ++j) set.outputLayers.push_back(reader.readFlag());
        } else {
            // 0: every layer is output; 1: only the highest.
            for (std::size_t j = 0; j < ids.size(); ++j) set.outputLayers.push_back(defaultOutputLayerIdc == 0 || j + 1 == ids.size());
        }
        std::vector<bool> necessary = set.outputLayers;
        for (std::size_t j = 0; j < ids.size(); ++j) {
            if (!set.outputLayers[j] || !vps.dependsOnBaseLayer[layerIndex(ids[j])]) continue;
            for (std::size_t k = 0; k < ids.size(); ++k) {
                if (ids[k] == 0) necessary[k] = true;
            }
        }
        for (std::size_t j = 0; j < ids.size(); ++j) {
            if (!necessary[j] || profileTierLevelsMinus1 == 0) continue;
            if (reader.readBits(ceilLog2(profileTierLevelsMinus1 + 1)) > profileTierLevelsMinus1) {
                throw HEVCBitstreamError("поле profile_tier_level_idx вне допустимых пределов");
            }
        }
        const auto outputs = std::count(set.outputLayers.begin(), set.outputLayers.end(), true);
        if (outputs == 1) {
            const std::size_t highest = static_cast<std::size_t>(
                std::find(set.outputLayers.rbegin(), set.outputLayers.rend(), true).base() - set.outputLayers.begin() - 1);
            if (vps.dependsOnBaseLayer[layerIndex(ids[highest])]) reader.readFlag();  // alt_output_layer_flag
        }
        necessaryLayers.push_back(std::move(necessary));
        vps.outputLayerSets.push_back(std::move(set));
    }

    const std::uint32_t formatCount = readBounded(reader, 15, "vps_num_rep_formats_minus1") + 1;
    for (std::uint32_t i = 0; i < formatCount; ++i) vps.representationFormats.push_back(readRepresentationFormat(reader, i == 0));
    vps.representationFormatIndex.assign(static_cast<std::size_t>(layers), 0);
    if (formatCount > 1 && reader.readFlag()) {  // rep_format_idx_present_flag
        for (int i = vps.baseLayerInternal ? 1 : 0; i < layers; ++i) {
            const std::uint32_t index = reader.readBits(ceilLog2(formatCount));
            if (index >= formatCount) throw HEVCBitstreamError("поле vps_rep_format_idx вне допустимых пределов");
            vps.representationFormatIndex[static_cast<std::size_t>(i)] = index;
        }
    } else if (formatCount > 1) {
        for (int i = 1; i < layers; ++i) vps.representationFormatIndex[static_cast<std::size_t>(i)] = std::min<std::uint32_t>(static_cast<std::uint32_t>(i), formatCount - 1);
    }
    reader.readFlag();  // max_one_active_ref_layer_flag
    vps.pocLsbAligned = reader.readFlag();
    vps.pocLsbNotPresent.assign(static_cast<std::size_t>(layers), false);
    for (int i = 1; i < layers; ++i) {
        if (!vps.dependsOnBaseLayer[static_cast<std::size_t>(i)]) vps.pocLsbNotPresent[static_cast<std::size_t>(i)] = reader.readFlag();
    }

    // dpb_size()
    for (std::size_t i = 0; i < vps.outputLayerSets.size(); ++i) {
        const std::vector<int>& ids = vps.layerSets[vps.outputLayerSets[i].layerSetIndex];
        int maxSubLayers = 0;
        for (const int id : ids) maxSubLayers = std::max(maxSubLayers, maxSubLayersInLayer[layerIndex(id)]);
        const bool subLayerInfo = reader.readFlag();
        for (int j = 0; j <= maxSubLayers; ++j) {
            const bool present = j == 0 || (subLayerInfo && reader.readFlag());
            if (!present) continue;
            for (std::size_t k = 0; k < ids.size(); ++k) {
                if (necessaryLayers[i][k] && (vps.baseLayerInternal || ids[k] != 0)) reader.readUnsignedExpGolomb();
            }
            reader.readUnsignedExpGolomb();  // max_vps_num_reorder_pics
            reader.readUnsignedExpGolomb();  // max_vps_latency_increase_plus1
        }
    }
    const int dependencyTypeLength = static_cast<int>(readBounded(reader, 30, "direct_dep_type_len_minus2")) + 2;
    if (reader.readFlag()) {  // direct_dependency_all_layers_flag
        reader.readBits(dependencyTypeLength);
    } else {
        for (int i = vps.baseLayerInternal ? 1 : 2; i < layers; ++i) {
            if (vps.dependsOnBaseLayer[static_cast<std::size_t>(i)]) reader.readBits(dependencyTypeLength);
        }
    }
    const std::uint32_t nonVuiBytes = readBounded(reader, 4096, "vps_non_vui_extension_length");
    reader.skipBits(std::size_t{nonVuiBytes} * 8);
    vps.vuiPresent = reader.readFlag();
    // vps_vui() is not followed; what comes after it cannot be checked.
    if (vps.vuiPresent) return vps;
    if (!reader.readFlag()) {  // vps_extension2_flag
        if (reader.bitPosition() != reader.trailingBitsPosition()) throw HEVCBitstreamError("VPS кончается не там, где ожидалось");
    }
    return vps;
}

}  // namespace pacemark
