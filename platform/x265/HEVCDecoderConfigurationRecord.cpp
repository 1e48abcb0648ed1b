// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCDecoderConfigurationRecord.h"

#include "HEVCBitReader.h"

namespace pacemark {

std::vector<std::uint8_t> hevcMakeDecoderConfigurationRecord(const HEVCSequenceParameterSet& base,
                                                             const std::vector<HEVCNalUnit>& nalUnits) {
    const HEVCProfileTierLevel& ptl = base.profileTierLevel;
    std::vector<std::uint8_t> record;
    auto put8 = [&record](std::uint32_t value) { record.push_back(static_cast<std::uint8_t>(value)); };
    auto put16 = [&](std::uint32_t value) {
        put8(value >> 8);
        put8(value);
    };
    put8(1);  // configurationVersion
    put8(static_cast<std::uint32_t>(ptl.profileSpace << 6) | (ptl.tierFlag ? 0x20u : 0u) |
         static_cast<std::uint32_t>(ptl.profileIdc));
    for (int shift = 24; shift >= 0; shift -= 8) put8(ptl.compatibilityFlags >> shift);
    for (int shift = 40; shift >= 0; shift -= 8) put8(static_cast<std::uint32_t>(ptl.constraintFlags >> shift));
    put8(static_cast<std::uint32_t>(ptl.levelIdc));
    put16(0xF000);  // min_spatial_segmentation_idc 0
    put8(0xFC);     // parallelismType 0: unknown
    put8(0xFC | base.chromaFormatIdc);
    put8(0xF8 | base.bitDepthLumaMinus8);
    put8(0xF8 | base.bitDepthChromaMinus8);
    put16(0);  // avgFrameRate: unspecified
    const auto temporalLayers = static_cast<std::uint32_t>(base.maxSubLayersMinus1 + 1);
    put8((temporalLayers << 3) | (base.temporalIdNesting ? 0x04u : 0u) | 3u);  // lengthSizeMinusOne 3

    const int types[] = {HEVCNalType::vps, HEVCNalType::sps, HEVCNalType::pps, HEVCNalType::prefixSei};
    std::vector<std::vector<std::vector<std::uint8_t>>> arrays(4);
    for (const HEVCNalUnit& unit : nalUnits) {
        std::size_t slot = 0;
        while (slot < 4 && types[slot] != unit.type) ++slot;
        if (slot == 4) throw HEVCBitstreamError("NAL-блок такого типа недопустим в hvcC");
        arrays[slot].push_back(unit.serialize());
        if (arrays[slot].back().size() > 0xFFFF) throw HEVCBitstreamError("NAL-блок слишком велик для hvcC");
    }
    std::uint32_t arrayCount = 0;
    for (const auto& array : arrays) arrayCount += array.empty() ? 0 : 1;
    put8(arrayCount);
    for (std::size_t slot = 0; slot < 4; ++slot) {
        if (arrays[slot].empty()) continue;
        const bool complete = types[slot] != HEVCNalType::prefixSei;
        put8((complete ? 0x80u : 0u) | static_cast<std::uint32_t>(types[slot]));
        put16(static_cast<std::uint32_t>(arrays[slot].size()));
        for (const auto& bytes : arrays[slot]) {
            put16(static_cast<std::uint32_t>(bytes.size()));
            record.insert(record.end(), bytes.begin(), bytes.end());
        }
    }
    return record;
}

}  // namespace pacemark
