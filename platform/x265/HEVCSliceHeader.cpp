// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCSliceHeader.h"

#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"
#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"

namespace pacemark {
namespace {

int ceilLog2(std::uint64_t value) {
    int bits = 0;
    while ((std::uint64_t{1} << bits) < value) ++bits;
    return bits;
}

void skipPredWeightTable(HEVCBitReader& reader, int chromaArrayType, bool bidirectional,
                         std::uint32_t numL0, std::uint32_t numL1) {
    reader.readUnsignedExpGolomb();                           // luma_log2_weight_denom
    if (chromaArrayType != 0) reader.readSignedExpGolomb();  // delta_chroma_log2_weight_denom
    for (int list = 0; list < (bidirectional ? 2 : 1); ++list) {
        const std::uint32_t count = list == 0 ? numL0 : numL1;
        // Every reference is another picture of the same layer, so the
        // per-entry flags are always present.
        std::vector<bool> lumaFlags(count), chromaFlags(count);
        for (std::uint32_t i = 0; i < count; ++i) lumaFlags[i] = reader.readFlag();
        if (chromaArrayType != 0) {
            for (std::uint32_t i = 0; i < count; ++i) chromaFlags[i] = reader.readFlag();
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            if (lumaFlags[i]) {
                reader.readSignedExpGolomb();
                reader.readSignedExpGolomb();
            }
            if (chromaFlags[i]) {
                for (int j = 0; j < 4; ++j) reader.readSignedExpGolomb();
            }
        }
    }
}

}  // namespace

std::uint32_t HEVCSliceHeader::peekPictureParameterSetId(const HEVCNalUnit& slice) {
    HEVCBitReader reader(slice.rbsp);
    reader.readFlag();
    if (HEVCNalType::isIrap(slice.type)) reader.readFlag();
    return reader.readUnsignedExpGolomb();
}

HEVCSliceHeader HEVCSliceHeader::parse(const HEVCNalUnit& slice, const HEVCSequenceParameterSet& sps,
                                       const HEVCPictureParameterSet& pps) {
    if (!HEVCNalType::isVcl(slice.type)) throw HEVCBitstreamError("NAL-блок не является срезом");
    HEVCBitReader reader(slice.rbsp);
    HEVCSliceHeader header;
    header.firstSliceSegmentInPic = reader.readFlag();
    if (HEVCNalType::isIrap(slice.type)) reader.readFlag();  // no_output_of_prior_pics_flag
    header.ppsIdBitStart = reader.bitPosition();
    header.pictureParameterSetId = reader.readUnsignedExpGolomb();
    header.ppsIdBitEnd = reader.bitPosition();
    if (header.pictureParameterSetId != pps.id) throw HEVCBitstreamError("срез ссылается на другой PPS");
    if (!header.firstSliceSegmentInPic) {
        if (pps.dependentSliceSegments) header.dependentSliceSegment = reader.readFlag();
        reader.skipBits(static_cast<std::size_t>(ceilLog2(sps.picSizeInCodingTreeBlocks())));
    }
    if (!header.dependentSliceSegment) {
        reader.skipBits(static_cast<std::size_t>(pps.numExtraSliceHeaderBits));
        const std::uint32_t type = reader.readUnsignedExpGolomb(2, "slice_type");
        header.sliceType = static_cast<HEVCSliceType>(type);
        if (pps.outputFlagPresent) reader.readFlag();
        if (sps.separateColourPlane) reader.skipBits(2);
        bool temporalMvp = false;
        int numPicTotalCurr = 0;
        if (!HEVCNalType::isIdr(slice.type)) {
            header.picOrderCntLsb = reader.readBits(sps.log2MaxPicOrderCntLsb);
            const bool setFromSps = reader.readFlag();
            const std::size_t setCount = sps.shortTermRefPicSets.size();
            if (!setFromSps) {
                numPicTotalCurr += HEVCShortTermRefPicSet::read(reader, setCount, sps.shortTermRefPicSets)
                                       .numUsedByCurrentPicture();
            } else {
                if (setCount == 0) throw HEVCBitstreamError("срез ссылается на набор опорных кадров, которого нет в SPS");
                const std::uint32_t index =
                    setCount > 1 ? reader.readBits(ceilLog2(setCount)) : 0;
                if (index >= setCount) throw HEVCBitstreamError("поле short_term_ref_pic_set_idx вне допустимых пределов");
                numPicTotalCurr += sps.shortTermRefPicSets[index].numUsedByCurrentPicture();
            }
            if (sps.longTermRefPicsPresent) {
                const std::size_t spsCount = sps.usedByCurrPicLongTermSps.size();
                const std::uint32_t fromSps =
                    spsCount > 0 ? reader.readUnsignedExpGolomb(static_cast<std::uint32_t>(spsCount), "num_long_term_sps") : 0;
                const std::uint32_t inSlice = reader.readUnsignedExpGolomb(32, "num_long_term_pics");
                for (std::uint32_t i = 0; i < fromSps + inSlice; ++i) {
                    if (i < fromSps) {
                        const std::uint32_t index = spsCount > 1 ? reader.readBits(ceilLog2(spsCount)) : 0;
                        if (index >= spsCount) throw HEVCBitstreamError("поле lt_idx_sps вне допустимых пределов");
                        numPicTotalCurr += sps.usedByCurrPicLongTermSps[index] ? 1 : 0;
                    } else {
                        reader.skipBits(static_cast<std::size_t>(sps.log2MaxPicOrderCntLsb));
                        numPicTotalCurr += reader.readFlag() ? 1 : 0;
                    }
                    if (reader.readFlag()) reader.readUnsignedExpGolomb();  // delta_poc_msb_cycle_lt
                }
            }
            if (sps.temporalMvp) temporalMvp = reader.readFlag();
        }
        bool saoLuma = false, saoChroma = false;
        if (sps.sampleAdaptiveOffset) {
            saoLuma = reader.readFlag();
            if (sps.chromaArrayType() != 0) saoChroma = reader.readFlag();
        }
        if (header.sliceType != HEVCSliceType::i) {
            const bool bidirectional = header.sliceType == HEVCSliceType::b;
            std::uint32_t numL0 = pps.numRefIdxL0DefaultActiveMinus1 + 1;
            std::uint32_t numL1 = bidirectional ? pps.numRefIdxL1DefaultActiveMinus1 + 1 : 0;
            if (reader.readFlag()) {  // num_ref_idx_active_override_flag
                numL0 = reader.readUnsignedExpGolomb(14, "num_ref_idx_l0_active_minus1") + 1;
                if (bidirectional) numL1 = reader.readUnsignedExpGolomb(14, "num_ref_idx_l1_active_minus1") + 1;
            }
            if (pps.listsModificationPresent && numPicTotalCurr > 1) {
                const int entryBits = ceilLog2(static_cast<std::uint64_t>(numPicTotalCurr));
                if (reader.readFlag()) reader.skipBits(static_cast<std::size_t>(entryBits) * numL0);
                if (bidirectional && reader.readFlag()) reader.skipBits(static_cast<std::size_t>(entryBits) * numL1);
            }
            if (bidirectional) reader.readFlag();        // mvd_l1_zero_flag
            if (pps.cabacInitPresent) reader.readFlag();  // cabac_init_flag
            if (temporalMvp) {
                const bool collocatedFromL0 = bidirectional ? reader.readFlag() : true;
                if ((collocatedFromL0 && numL0 > 1) || (!collocatedFromL0 && numL1 > 1)) {
                    reader.readUnsignedExpGolomb();  // collocated_ref_idx
                }
            }
            if ((pps.weightedPred && !bidirectional) || (pps.weightedBipred && bidirectional)) {
                skipPredWeightTable(reader, sps.chromaArrayType(), bidirectional, numL0, numL1);
            }
            reader.readUnsignedExpGolomb();  // five_minus_max_num_merge_cand
        }
        reader.readSignedExpGolomb();  // slice_qp_delta
        if (pps.sliceChromaQpOffsetsPresent) {
            reader.readSignedExpGolomb();
            reader.readSignedExpGolomb();
        }
        bool deblockingDisabled = pps.deblockingFilterDisabled;
        if (pps.deblockingFilterOverrideEnabled && reader.readFlag()) {
            deblockingDisabled = reader.readFlag();
            if (!deblockingDisabled) {
                reader.readSignedExpGolomb();
                reader.readSignedExpGolomb();
            }
        }
        if (pps.loopFilterAcrossSlices && (saoLuma || saoChroma || !deblockingDisabled)) reader.readFlag();
    }
    if (pps.tiles || pps.entropyCodingSync) {
        const std::uint32_t entryPoints = reader.readUnsignedExpGolomb(4400, "num_entry_point_offsets");
        if (entryPoints > 0) {
            const std::uint32_t offsetBits = reader.readUnsignedExpGolomb(31, "offset_len_minus1") + 1;
            reader.skipBits(static_cast<std::size_t>(offsetBits) * entryPoints);
        }
    }
    if (pps.sliceSegmentHeaderExtensionPresent) {
        reader.skipBits(std::size_t{reader.readUnsignedExpGolomb(256, "slice_segment_header_extension_length")} * 8);
    }
    header.headerEndBit = reader.bitPosition();
    if (!reader.readFlag()) throw HEVCBitstreamError("нет бита выравнивания в конце заголовка среза");
    while (!reader.isByteAligned()) {
        if (reader.readFlag()) throw HEVCBitstreamError("биты выравнивания заголовка среза не нулевые");
    }
    header.sliceDataByteOffset = reader.bitPosition() / 8;
    return header;
}

HEVCNalUnit hevcRewriteSlice(const HEVCNalUnit& slice, const HEVCSliceHeader& header,
                             std::uint32_t newPictureParameterSetId, int newLayerId) {
    HEVCBitReader reader(slice.rbsp);
    HEVCBitWriter writer;
    writer.copyBits(reader, header.ppsIdBitStart);
    writer.writeUnsignedExpGolomb(newPictureParameterSetId);
    reader.skipBits(header.ppsIdBitEnd - header.ppsIdBitStart);
    writer.copyBits(reader, header.headerEndBit - header.ppsIdBitEnd);
    writer.writeByteAlignment();
    const std::size_t dataSize = slice.rbsp.size() - header.sliceDataByteOffset;
    writer.writeBytes(slice.rbsp.data() + header.sliceDataByteOffset, dataSize);

    HEVCNalUnit rewritten;
    rewritten.type = slice.type;
    rewritten.layerId = newLayerId;
    rewritten.temporalIdPlus1 = slice.temporalIdPlus1;
    rewritten.rbsp = writer.bytes();
    return rewritten;
}

std::int32_t HEVCPictureOrderCounter::next(int nalType, int temporalId, std::uint32_t picOrderCntLsb,
                                           int log2MaxPicOrderCntLsb) {
    const std::int32_t maxLsb = std::int32_t{1} << log2MaxPicOrderCntLsb;
    const auto lsb = static_cast<std::int32_t>(picOrderCntLsb);
    std::int32_t msb = 0;
    // IDR and BLA pictures, and a CRA that starts the stream, reset the MSB.
    const bool resetsMsb = HEVCNalType::isIdr(nalType) || (nalType >= HEVCNalType::blaWLp && nalType <= 18) ||
                           (nalType == HEVCNalType::craNut && !seenIrap_);
    if (HEVCNalType::isIrap(nalType)) seenIrap_ = true;
    if (!resetsMsb) {
        const std::int32_t previousLsb = previousTid0Poc_ & (maxLsb - 1);
        const std::int32_t previousMsb = previousTid0Poc_ - previousLsb;
        if (lsb < previousLsb && previousLsb - lsb >= maxLsb / 2) {
            msb = previousMsb + maxLsb;
        } else if (lsb > previousLsb && lsb - previousLsb > maxLsb / 2) {
            msb = previousMsb - maxLsb;
        } else {
            msb = previousMsb;
        }
    }
    const std::int32_t poc = msb + lsb;
    // RADL/RASL pictures and sub-layer non-reference pictures (even types
    // below 16) do not become prevTid0Pic.
    const bool subLayerNonReference = nalType <= 14 && nalType % 2 == 0;
    const bool leading = nalType >= 6 && nalType <= 9;
    if (temporalId == 0 && !subLayerNonReference && !leading) previousTid0Poc_ = poc;
    return poc;
}

}  // namespace pacemark
