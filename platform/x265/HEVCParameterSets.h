// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pacemark {

class HEVCBitReader;
class HEVCBitWriter;

// general_profile_tier_level fields (the sub-layer parts are skipped when
// read; the layering code only writes streams without sub-layers).
struct HEVCProfileTierLevel {
    int profileSpace = 0;
    bool tierFlag = false;
    int profileIdc = 0;
    std::uint32_t compatibilityFlags = 0;
    // progressive/interlaced/non-packed/frame-only flags and the 44 bits
    // after them: the 48 bits the hvcC record calls constraint flags.
    std::uint64_t constraintFlags = 0;
    int levelIdc = 0;

    static HEVCProfileTierLevel read(HEVCBitReader& reader, bool profilePresent, int maxSubLayersMinus1);
    // Writes profile_tier_level(profilePresent, 0).
    void write(HEVCBitWriter& writer, bool profilePresent) const;
};

// st_ref_pic_set() after derivation: the delta POCs and "used by the
// current picture" flags of both lists.
struct HEVCShortTermRefPicSet {
    std::vector<int> deltaPocS0;
    std::vector<bool> usedS0;
    std::vector<int> deltaPocS1;
    std::vector<bool> usedS1;

    int numDeltaPocs() const { return static_cast<int>(deltaPocS0.size() + deltaPocS1.size()); }
    int numUsedByCurrentPicture() const;

    // `index` is stRpsIdx; `sets` holds the SPS's sets 0..index-1 (the slice
    // header's set has index == sets.size() == num_short_term_ref_pic_sets).
    static HEVCShortTermRefPicSet read(HEVCBitReader& reader, std::size_t index,
                                       const std::vector<HEVCShortTermRefPicSet>& sets);
};

struct HEVCSubLayerOrdering {
    std::uint32_t maxDecPicBufferingMinus1 = 0;
    std::uint32_t maxNumReorderPics = 0;
    std::uint32_t maxLatencyIncreasePlus1 = 0;
};

// The SPS fields needed to parse slice headers and to describe the stream
// in the VPS and the hvcC record.
struct HEVCSequenceParameterSet {
    int videoParameterSetId = 0;
    int maxSubLayersMinus1 = 0;
    bool temporalIdNesting = false;
    HEVCProfileTierLevel profileTierLevel;
    std::uint32_t id = 0;
    std::size_t idBitStart = 0;
    std::size_t idBitEnd = 0;
    std::uint32_t chromaFormatIdc = 1;
    bool separateColourPlane = false;
    std::uint32_t widthLumaSamples = 0;
    std::uint32_t heightLumaSamples = 0;
    bool conformanceWindow = false;
    std::uint32_t confWinLeft = 0, confWinRight = 0, confWinTop = 0, confWinBottom = 0;
    std::uint32_t bitDepthLumaMinus8 = 0;
    std::uint32_t bitDepthChromaMinus8 = 0;
    int log2MaxPicOrderCntLsb = 4;
    // Entry for the highest sub-layer (what the VPS's DPB sizes need).
    HEVCSubLayerOrdering ordering;
    int log2MinCodingBlockSize = 3;
    int log2CodingTreeBlockSize = 3;
    int log2MinTransformBlockSize = 2;
    int log2MaxTransformBlockSize = 5;
    int maxTransformHierarchyDepthInter = 0;
    bool scalingListEnabled = false;
    bool pcmEnabled = false;
    bool sampleAdaptiveOffset = false;
    std::vector<HEVCShortTermRefPicSet> shortTermRefPicSets;
    bool longTermRefPicsPresent = false;
    std::vector<bool> usedByCurrPicLongTermSps;
    bool temporalMvp = false;
    // From the VUI: video_full_range_flag, false when the VUI or its video
    // signal type is absent (limited range is then implied).
    bool videoSignalTypePresent = false;
    bool videoFullRange = false;
    // From the VUI's timing information: a picture lasts numUnitsInTick /
    // timeScale seconds (D and N of the frame rate N/D). Both 0 when absent.
    std::uint32_t numUnitsInTick = 0;
    std::uint32_t timeScale = 0;

    int chromaArrayType() const { return separateColourPlane ? 0 : static_cast<int>(chromaFormatIdc); }
    std::uint32_t picSizeInCodingTreeBlocks() const;

    static HEVCSequenceParameterSet parse(std::span<const std::uint8_t> rbsp);
};

struct HEVCPictureParameterSet {
    std::uint32_t id = 0;
    std::uint32_t sequenceParameterSetId = 0;
    std::size_t idsBitStart = 0;
    std::size_t idsBitEnd = 0;
    bool dependentSliceSegments = false;
    bool outputFlagPresent = false;
    int numExtraSliceHeaderBits = 0;
    bool signDataHiding = false;
    bool cabacInitPresent = false;
    int initQp = 26;  // 26 + init_qp_minus26
    bool transformSkip = false;
    bool cuQpDeltaEnabled = false;
    int cbQpOffset = 0;
    int crQpOffset = 0;
    bool transquantBypass = false;
    std::uint32_t numRefIdxL0DefaultActiveMinus1 = 0;
    std::uint32_t numRefIdxL1DefaultActiveMinus1 = 0;
    bool sliceChromaQpOffsetsPresent = false;
    bool weightedPred = false;
    bool weightedBipred = false;
    bool tiles = false;
    bool entropyCodingSync = false;
    bool loopFilterAcrossSlices = false;
    bool deblockingFilterOverrideEnabled = false;
    bool deblockingFilterDisabled = false;
    bool listsModificationPresent = false;
    bool sliceSegmentHeaderExtensionPresent = false;

    static HEVCPictureParameterSet parse(std::span<const std::uint8_t> rbsp);
};

// Re-writes an SPS RBSP with another sps_seq_parameter_set_id; every other
// bit is copied unchanged (shifted when the id's code length changes).
std::vector<std::uint8_t> hevcRewriteSequenceParameterSetId(std::span<const std::uint8_t> rbsp,
                                                            std::uint32_t newId);
// Re-writes a PPS RBSP with other pps_pic_parameter_set_id and
// pps_seq_parameter_set_id.
std::vector<std::uint8_t> hevcRewritePictureParameterSetIds(std::span<const std::uint8_t> rbsp,
                                                            std::uint32_t newId,
                                                            std::uint32_t newSequenceParameterSetId);

}  // namespace pacemark
