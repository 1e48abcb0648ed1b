// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCParameterSets.h"

#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"

#include <algorithm>

namespace pacemark {
namespace {

void skipScalingListData(HEVCBitReader& reader) {
    for (int sizeId = 0; sizeId < 4; ++sizeId) {
        for (int matrixId = 0; matrixId < 6; matrixId += (sizeId == 3) ? 3 : 1) {
            if (!reader.readFlag()) {
                reader.readUnsignedExpGolomb();  // scaling_list_pred_matrix_id_delta
                continue;
            }
            const int coefficients = std::min(64, 1 << (4 + (sizeId << 1)));
            if (sizeId > 1) reader.readSignedExpGolomb();  // scaling_list_dc_coef_minus8
            for (int i = 0; i < coefficients; ++i) reader.readSignedExpGolomb();
        }
    }
}

// delta_poc_s0_minus1, delta_poc_s1_minus1 and abs_delta_rps_minus1 plus
// one; bounded so that damaged sets cannot overflow the POC arithmetic.
int readDeltaPoc(HEVCBitReader& reader) {
    return static_cast<int>(reader.readUnsignedExpGolomb(32767, "delta_poc_minus1")) + 1;
}

// Copies everything after the rewritten ids up to the rbsp_stop_one_bit and
// closes the RBSP again.
std::vector<std::uint8_t> finishRewrite(HEVCBitReader& reader, HEVCBitWriter& writer) {
    const std::size_t stop = reader.trailingBitsPosition();
    if (stop < reader.bitPosition()) throw HEVCBitstreamError("набор параметров кончается внутри своих номеров");
    writer.copyBits(reader, stop - reader.bitPosition());
    writer.writeTrailingBits();
    return writer.bytes();
}

}  // namespace

HEVCProfileTierLevel HEVCProfileTierLevel::read(HEVCBitReader& reader, bool profilePresent,
                                                int maxSubLayersMinus1) {
    HEVCProfileTierLevel ptl;
    if (profilePresent) {
        ptl.profileSpace = static_cast<int>(reader.readBits(2));
        ptl.tierFlag = reader.readFlag();
        ptl.profileIdc = static_cast<int>(reader.readBits(5));
        ptl.compatibilityFlags = reader.readBits(32);
        ptl.constraintFlags = (static_cast<std::uint64_t>(reader.readBits(24)) << 24) | reader.readBits(24);
    }
    ptl.levelIdc = static_cast<int>(reader.readBits(8));
    std::vector<bool> profilePresentFlags, levelPresentFlags;
    for (int i = 0; i < maxSubLayersMinus1; ++i) {
        profilePresentFlags.push_back(reader.readFlag());
        levelPresentFlags.push_back(reader.readFlag());
    }
    if (maxSubLayersMinus1 > 0) reader.skipBits(static_cast<std::size_t>(2 * (8 - maxSubLayersMinus1)));
    for (int i = 0; i < maxSubLayersMinus1; ++i) {
        if (profilePresentFlags[static_cast<std::size_t>(i)]) reader.skipBits(88);
        if (levelPresentFlags[static_cast<std::size_t>(i)]) reader.skipBits(8);
    }
    return ptl;
}

void HEVCProfileTierLevel::write(HEVCBitWriter& writer, bool profilePresent) const {
    if (profilePresent) {
        writer.writeBits(static_cast<std::uint32_t>(profileSpace), 2);
        writer.writeFlag(tierFlag);
        writer.writeBits(static_cast<std::uint32_t>(profileIdc), 5);
        writer.writeBits(compatibilityFlags, 32);
        writer.writeBits(static_cast<std::uint32_t>(constraintFlags >> 24) & 0xFFFFFFu, 24);
        writer.writeBits(static_cast<std::uint32_t>(constraintFlags) & 0xFFFFFFu, 24);
    }
    writer.writeBits(static_cast<std::uint32_t>(levelIdc), 8);
}

int HEVCShortTermRefPicSet::numUsedByCurrentPicture() const {
    int count = 0;
    for (const bool used : usedS0) count += used ? 1 : 0;
    for (const bool used : usedS1) count += used ? 1 : 0;
    return count;
}

HEVCShortTermRefPicSet HEVCShortTermRefPicSet::read(HEVCBitReader& reader, std::size_t index,
                                                    const std::vector<HEVCShortTermRefPicSet>& sets) {
    HEVCShortTermRefPicSet set;
    const bool interPrediction = index != 0 && reader.readFlag();
    if (!interPrediction) {
        const std::uint32_t negative = reader.readUnsignedExpGolomb(16, "num_negative_pics");
        const std::uint32_t positive = reader.readUnsignedExpGolomb(16, "num_positive_pics");
        int poc = 0;
        for (std::uint32_t i = 0; i < negative; ++i) {
            poc -= readDeltaPoc(reader);
            set.deltaPocS0.push_back(poc);
            set.usedS0.push_back(reader.readFlag());
        }
        poc = 0;
        for (std::uint32_t i = 0; i < positive; ++i) {
            poc += readDeltaPoc(reader);
            set.deltaPocS1.push_back(poc);
            set.usedS1.push_back(reader.readFlag());
        }
        return set;
    }

    std::size_t deltaIndex = 1;
    if (index > sets.size()) throw HEVCBitstreamError("набор опорных кадров ссылается на несуществующий набор");
    if (index == sets.size()) deltaIndex = std::size_t{reader.readUnsignedExpGolomb(64, "delta_idx_minus1")} + 1;
    if (deltaIndex > index) throw HEVCBitstreamError("набор опорных кадров ссылается на несуществующий набор");
    const bool sign = reader.readFlag();
    const int deltaRps = (sign ? -1 : 1) * readDeltaPoc(reader);
    const HEVCShortTermRefPicSet& ref = sets[index - deltaIndex];
    const int refNegative = static_cast<int>(ref.deltaPocS0.size());
    const int refPositive = static_cast<int>(ref.deltaPocS1.size());
    const int refCount = ref.numDeltaPocs();
    std::vector<bool> used(static_cast<std::size_t>(refCount + 1)), useDelta(static_cast<std::size_t>(refCount + 1));
    for (int j = 0; j <= refCount; ++j) {
        used[static_cast<std::size_t>(j)] = reader.readFlag();
        useDelta[static_cast<std::size_t>(j)] = used[static_cast<std::size_t>(j)] || reader.readFlag();
    }
    auto at = [](const std::vector<bool>& flags, int i) { return flags[static_cast<std::size_t>(i)]; };
    auto delta = [](const std::vector<int>& pocs, int i) { return pocs[static_cast<std::size_t>(i)]; };
    for (int j = refPositive - 1; j >= 0; --j) {
        const int poc = delta(ref.deltaPocS1, j) + deltaRps;
        if (poc < 0 && at(useDelta, refNegative + j)) {
            set.deltaPocS0.push_back(poc);
            set.usedS0.push_back(at(used, refNegative + j));
        }
    }
    if (deltaRps < 0 && at(useDelta, refCount)) {
        set.deltaPocS0.push_back(deltaRps);
        set.usedS0.push_back(at(used, refCount));
    }
    for (int j = 0; j < refNegative; ++j) {
        const int poc = delta(ref.deltaPocS0, j) + deltaRps;
        if (poc < 0 && at(useDelta, j)) {
            set.deltaPocS0.push_back(poc);
            set.usedS0.push_back(at(used, j));
        }
    }
    for (int j = refNegative - 1; j >= 0; --j) {
        const int poc = delta(ref.deltaPocS0, j) + deltaRps;
        if (poc > 0 && at(useDelta, j)) {
            set.deltaPocS1.push_back(poc);
            set.usedS1.push_back(at(used, j));
        }
    }
    if (deltaRps > 0 && at(useDelta, refCount)) {
        set.deltaPocS1.push_back(deltaRps);
        set.usedS1.push_back(at(used, refCount));
    }
    for (int j = 0; j < refPositive; ++j) {
        const int poc = delta(ref.deltaPocS1, j) + deltaRps;
        if (poc > 0 && at(useDelta, refNegative + j)) {
            set.deltaPocS1.push_back(poc);
            set.usedS1.push_back(at(used, refNegative + j));
        }
    }
    return set;
}

std::uint32_t HEVCSequenceParameterSet::picSizeInCodingTreeBlocks() const {
    // parse() bounds the sizes to 16 bits, so the product fits.
    const std::uint32_t ctb = 1u << log2CodingTreeBlockSize;
    return ((widthLumaSamples + ctb - 1) / ctb) * ((heightLumaSamples + ctb - 1) / ctb);
}

HEVCSequenceParameterSet HEVCSequenceParameterSet::parse(std::span<const std::uint8_t> rbsp) {
    HEVCBitReader reader(rbsp);
    HEVCSequenceParameterSet sps;
    sps.videoParameterSetId = static_cast<int>(reader.readBits(4));
    sps.maxSubLayersMinus1 = static_cast<int>(reader.readBits(3));
    if (sps.maxSubLayersMinus1 == 7) throw HEVCBitstreamError("многослойная сокращённая форма SPS не поддерживается");
    sps.temporalIdNesting = reader.readFlag();
    sps.profileTierLevel = HEVCProfileTierLevel::read(reader, true, sps.maxSubLayersMinus1);
    sps.idBitStart = reader.bitPosition();
    sps.id = reader.readUnsignedExpGolomb(15, "sps_seq_parameter_set_id");
    sps.idBitEnd = reader.bitPosition();
    sps.chromaFormatIdc = reader.readUnsignedExpGolomb(3, "chroma_format_idc");
    if (sps.chromaFormatIdc == 3) sps.separateColourPlane = reader.readFlag();
    // A picture must fit the 16-bit sizes of a representation format.
    sps.widthLumaSamples = reader.readUnsignedExpGolomb(0xFFFF, "pic_width_in_luma_samples");
    sps.heightLumaSamples = reader.readUnsignedExpGolomb(0xFFFF, "pic_height_in_luma_samples");
    sps.conformanceWindow = reader.readFlag();
    if (sps.conformanceWindow) {
        sps.confWinLeft = reader.readUnsignedExpGolomb();
        sps.confWinRight = reader.readUnsignedExpGolomb();
        sps.confWinTop = reader.readUnsignedExpGolomb();
        sps.confWinBottom = reader.readUnsignedExpGolomb();
    }
    sps.bitDepthLumaMinus8 = reader.readUnsignedExpGolomb(8, "bit_depth_luma_minus8");
    sps.bitDepthChromaMinus8 = reader.readUnsignedExpGolomb(8, "bit_depth_chroma_minus8");
    sps.log2MaxPicOrderCntLsb = static_cast<int>(reader.readUnsignedExpGolomb(12, "log2_max_pic_order_cnt_lsb_minus4")) + 4;
    const bool orderingForEverySubLayer = reader.readFlag();
    for (int i = orderingForEverySubLayer ? 0 : sps.maxSubLayersMinus1; i <= sps.maxSubLayersMinus1; ++i) {
        sps.ordering.maxDecPicBufferingMinus1 = reader.readUnsignedExpGolomb();
        sps.ordering.maxNumReorderPics = reader.readUnsignedExpGolomb();
        sps.ordering.maxLatencyIncreasePlus1 = reader.readUnsignedExpGolomb();
    }
    sps.log2MinCodingBlockSize = static_cast<int>(reader.readUnsignedExpGolomb(3, "log2_min_luma_coding_block_size_minus3")) + 3;
    sps.log2CodingTreeBlockSize =
        sps.log2MinCodingBlockSize + static_cast<int>(reader.readUnsignedExpGolomb(3, "log2_diff_max_min_luma_coding_block_size"));
    if (sps.log2CodingTreeBlockSize > 6) throw HEVCBitstreamError("блок дерева кодирования больше 64 точек");
    sps.log2MinTransformBlockSize =
        static_cast<int>(reader.readUnsignedExpGolomb(3, "log2_min_luma_transform_block_size_minus2")) + 2;
    sps.log2MaxTransformBlockSize =
        sps.log2MinTransformBlockSize + static_cast<int>(reader.readUnsignedExpGolomb(3, "log2_diff_max_min_luma_transform_block_size"));
    if (sps.log2MaxTransformBlockSize > 5) throw HEVCBitstreamError("блок преобразования больше 32 точек");
    sps.maxTransformHierarchyDepthInter = static_cast<int>(reader.readUnsignedExpGolomb(4, "max_transform_hierarchy_depth_inter"));
    reader.readUnsignedExpGolomb();  // max_transform_hierarchy_depth_intra
    sps.scalingListEnabled = reader.readFlag();
    if (sps.scalingListEnabled && reader.readFlag()) skipScalingListData(reader);
    reader.readFlag();  // amp_enabled_flag
    sps.sampleAdaptiveOffset = reader.readFlag();
    sps.pcmEnabled = reader.readFlag();
    if (sps.pcmEnabled) {
        reader.skipBits(8);
        reader.readUnsignedExpGolomb();
        reader.readUnsignedExpGolomb();
        reader.readFlag();
    }
    const std::uint32_t setCount = reader.readUnsignedExpGolomb(64, "num_short_term_ref_pic_sets");
    for (std::uint32_t i = 0; i < setCount; ++i) {
        sps.shortTermRefPicSets.push_back(HEVCShortTermRefPicSet::read(reader, i, sps.shortTermRefPicSets));
    }
    sps.longTermRefPicsPresent = reader.readFlag();
    if (sps.longTermRefPicsPresent) {
        const std::uint32_t count = reader.readUnsignedExpGolomb(32, "num_long_term_ref_pics_sps");
        for (std::uint32_t i = 0; i < count; ++i) {
            reader.skipBits(static_cast<std::size_t>(sps.log2MaxPicOrderCntLsb));
            sps.usedByCurrPicLongTermSps.push_back(reader.readFlag());
        }
    }
    sps.temporalMvp = reader.readFlag();
    reader.readFlag();  // strong_intra_smoothing_enabled_flag
    if (reader.readFlag()) {  // vui_parameters_present_flag: read up to the timing information
        if (reader.readFlag() && reader.readBits(8) == 255) reader.skipBits(32);  // aspect ratio, extended SAR
        if (reader.readFlag()) reader.readFlag();                                  // overscan
        sps.videoSignalTypePresent = reader.readFlag();
        if (sps.videoSignalTypePresent) {
            reader.readBits(3);  // video_format
            sps.videoFullRange = reader.readFlag();
            if (reader.readFlag()) reader.skipBits(24);  // colour primaries, transfer, matrix
        }
        if (reader.readFlag()) {  // chroma_loc_info_present_flag
            reader.readUnsignedExpGolomb();
            reader.readUnsignedExpGolomb();
        }
        reader.readFlag();  // neutral_chroma_indication_flag
        reader.readFlag();  // field_seq_flag
        reader.readFlag();  // frame_field_info_present_flag
        if (reader.readFlag()) {  // default_display_window_flag
            for (int side = 0; side < 4; ++side) reader.readUnsignedExpGolomb();
        }
        if (reader.readFlag()) {  // vui_timing_info_present_flag
            sps.numUnitsInTick = reader.readBits(32);
            sps.timeScale = reader.readBits(32);
        }
    }
    return sps;
}

HEVCPictureParameterSet HEVCPictureParameterSet::parse(std::span<const std::uint8_t> rbsp) {
    HEVCBitReader reader(rbsp);
    HEVCPictureParameterSet pps;
    pps.idsBitStart = reader.bitPosition();
    pps.id = reader.readUnsignedExpGolomb(63, "pps_pic_parameter_set_id");
    pps.sequenceParameterSetId = reader.readUnsignedExpGolomb(15, "pps_seq_parameter_set_id");
    pps.idsBitEnd = reader.bitPosition();
    pps.dependentSliceSegments = reader.readFlag();
    pps.outputFlagPresent = reader.readFlag();
    pps.numExtraSliceHeaderBits = static_cast<int>(reader.readBits(3));
    pps.signDataHiding = reader.readFlag();
    pps.cabacInitPresent = reader.readFlag();
    pps.numRefIdxL0DefaultActiveMinus1 = reader.readUnsignedExpGolomb(14, "num_ref_idx_l0_default_active_minus1");
    pps.numRefIdxL1DefaultActiveMinus1 = reader.readUnsignedExpGolomb(14, "num_ref_idx_l1_default_active_minus1");
    const std::int32_t initQpMinus26 = reader.readSignedExpGolomb();
    // -(26 + QpBdOffset) .. +25 with at most 16-bit samples.
    if (initQpMinus26 < -74 || initQpMinus26 > 25) throw HEVCBitstreamError("поле init_qp_minus26 вне допустимых пределов");
    pps.initQp = 26 + initQpMinus26;
    reader.readFlag();  // constrained_intra_pred_flag
    pps.transformSkip = reader.readFlag();
    pps.cuQpDeltaEnabled = reader.readFlag();
    if (pps.cuQpDeltaEnabled) reader.readUnsignedExpGolomb();  // diff_cu_qp_delta_depth
    pps.cbQpOffset = reader.readSignedExpGolomb();
    pps.crQpOffset = reader.readSignedExpGolomb();
    if (pps.cbQpOffset < -12 || pps.cbQpOffset > 12 || pps.crQpOffset < -12 || pps.crQpOffset > 12) {
        throw HEVCBitstreamError("смещение QP цветности вне допустимых пределов");
    }
    pps.sliceChromaQpOffsetsPresent = reader.readFlag();
    pps.weightedPred = reader.readFlag();
    pps.weightedBipred = reader.readFlag();
    pps.transquantBypass = reader.readFlag();
    pps.tiles = reader.readFlag();
    pps.entropyCodingSync = reader.readFlag();
    if (pps.tiles) {
        const std::uint32_t columns = reader.readUnsignedExpGolomb(64, "num_tile_columns_minus1");
        const std::uint32_t rows = reader.readUnsignedExpGolomb(64, "num_tile_rows_minus1");
        if (!reader.readFlag()) {  // uniform_spacing_flag
            for (std::uint32_t i = 0; i < columns + rows; ++i) reader.readUnsignedExpGolomb();
        }
        reader.readFlag();  // loop_filter_across_tiles_enabled_flag
    }
    pps.loopFilterAcrossSlices = reader.readFlag();
    if (reader.readFlag()) {  // deblocking_filter_control_present_flag
        pps.deblockingFilterOverrideEnabled = reader.readFlag();
        pps.deblockingFilterDisabled = reader.readFlag();
        if (!pps.deblockingFilterDisabled) {
            reader.readSignedExpGolomb();
            reader.readSignedExpGolomb();
        }
    }
    if (reader.readFlag()) skipScalingListData(reader);
    pps.listsModificationPresent = reader.readFlag();
    reader.readUnsignedExpGolomb();  // log2_parallel_merge_level_minus2
    pps.sliceSegmentHeaderExtensionPresent = reader.readFlag();
    if (reader.readFlag()) {  // pps_extension_present_flag
        // The range, multi-layer, 3D and screen-content extensions all add
        // slice header syntax this parser does not know.
        if (reader.readBits(8) != 0) throw HEVCBitstreamError("расширения PPS не поддерживаются");
    }
    return pps;
}

std::vector<std::uint8_t> hevcRewriteSequenceParameterSetId(std::span<const std::uint8_t> rbsp,
                                                            std::uint32_t newId) {
    const HEVCSequenceParameterSet sps = HEVCSequenceParameterSet::parse(rbsp);
    HEVCBitReader reader(rbsp);
    HEVCBitWriter writer;
    writer.copyBits(reader, sps.idBitStart);
    writer.writeUnsignedExpGolomb(newId);
    reader.skipBits(sps.idBitEnd - sps.idBitStart);
    return finishRewrite(reader, writer);
}

std::vector<std::uint8_t> hevcRewritePictureParameterSetIds(std::span<const std::uint8_t> rbsp,
                                                            std::uint32_t newId,
                                                            std::uint32_t newSequenceParameterSetId) {
    const HEVCPictureParameterSet pps = HEVCPictureParameterSet::parse(rbsp);
    HEVCBitReader reader(rbsp);
    HEVCBitWriter writer;
    writer.copyBits(reader, pps.idsBitStart);
    writer.writeUnsignedExpGolomb(newId);
    writer.writeUnsignedExpGolomb(newSequenceParameterSetId);
    reader.skipBits(pps.idsBitEnd - pps.idsBitStart);
    return finishRewrite(reader, writer);
}

}  // namespace pacemark
