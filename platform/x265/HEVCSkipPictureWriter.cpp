// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCSkipPictureWriter.h"

#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"
#include "HEVCCabacEncoder.h"
#include "HEVCSliceHeader.h"

#include <array>

namespace pacemark {
namespace {

// Context initValues of a P slice without cabac_init_flag (initType 1).
constexpr std::array<int, 3> splitCuFlagInitValues = {107, 139, 126};
constexpr std::array<int, 3> cuSkipFlagInitValues = {197, 185, 201};

// The PPS fields the shared parser does not keep: init_qp_minus26 and
// transquant_bypass_enabled_flag.
struct PictureParameterSetPrefix {
    int initQp = 26;
    bool transquantBypass = false;
};

PictureParameterSetPrefix readPrefix(std::span<const std::uint8_t> rbsp) {
    HEVCBitReader reader(rbsp);
    PictureParameterSetPrefix prefix;
    reader.readUnsignedExpGolomb();  // pps_pic_parameter_set_id
    reader.readUnsignedExpGolomb();  // pps_seq_parameter_set_id
    reader.skipBits(1 + 1 + 3 + 1 + 1);  // dependent slices, output flag, extra bits, sign hiding, cabac init
    reader.readUnsignedExpGolomb();  // num_ref_idx_l0_default_active_minus1
    reader.readUnsignedExpGolomb();  // num_ref_idx_l1_default_active_minus1
    const std::int32_t initQpMinus26 = reader.readSignedExpGolomb();
    // -(26 + QpBdOffset) .. +25 with at most 16-bit samples.
    if (initQpMinus26 < -74 || initQpMinus26 > 25) throw HEVCBitstreamError("поле init_qp_minus26 вне допустимых пределов");
    prefix.initQp = 26 + initQpMinus26;
    reader.skipBits(2);                          // constrained intra, transform skip
    if (reader.readFlag()) reader.readUnsignedExpGolomb();  // cu_qp_delta_enabled_flag, diff_cu_qp_delta_depth
    reader.readSignedExpGolomb();                // pps_cb_qp_offset
    reader.readSignedExpGolomb();                // pps_cr_qp_offset
    reader.skipBits(3);                          // slice chroma offsets, weighted pred, weighted bipred
    prefix.transquantBypass = reader.readFlag();
    return prefix;
}

// Bit position of slice_pic_order_cnt_lsb in a non-IRAP slice.
std::size_t picOrderCntLsbPosition(const HEVCNalUnit& slice, const HEVCSequenceParameterSet& sps,
                                   const HEVCPictureParameterSet& pps) {
    if (!HEVCNalType::isVcl(slice.type) || HEVCNalType::isIrap(slice.type)) {
        throw HEVCBitstreamError("у среза нет счётчика порядка кадров");
    }
    HEVCBitReader reader(slice.rbsp);
    const bool first = reader.readFlag();
    reader.readUnsignedExpGolomb();  // slice_pic_parameter_set_id
    if (!first) {
        if (pps.dependentSliceSegments && reader.readFlag()) throw HEVCBitstreamError("зависимые сегменты срезов не поддерживаются");
        int addressBits = 0;
        while ((std::uint64_t{1} << addressBits) < sps.picSizeInCodingTreeBlocks()) ++addressBits;
        reader.skipBits(static_cast<std::size_t>(addressBits));
    }
    reader.skipBits(static_cast<std::size_t>(pps.numExtraSliceHeaderBits));
    reader.readUnsignedExpGolomb();  // slice_type
    if (pps.outputFlagPresent) reader.readFlag();
    if (sps.separateColourPlane) reader.skipBits(2);
    return reader.bitPosition();
}

void overwriteBits(std::vector<std::uint8_t>& bytes, std::size_t bitPosition, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t bit = bitPosition + static_cast<std::size_t>(i);
        const auto mask = static_cast<std::uint8_t>(0x80u >> (bit % 8));
        if ((value >> (count - 1 - i)) & 1u) {
            bytes[bit / 8] |= mask;
        } else {
            bytes[bit / 8] &= static_cast<std::uint8_t>(~mask);
        }
    }
}

std::uint32_t lsbOf(std::int32_t pictureOrderCount, int log2MaxLsb) {
    return static_cast<std::uint32_t>(pictureOrderCount) & ((std::uint32_t{1} << log2MaxLsb) - 1);
}

// Codes every coding tree unit of a picture as one skipped coding unit
// (split where the picture boundary forces it) and ends the slice.
class SkipSliceDataCoder {
public:
    SkipSliceDataCoder(const HEVCSequenceParameterSet& sps, int sliceQp, HEVCBitWriter& writer)
        : sps_(sps), cabac_(writer) {
        for (std::size_t i = 0; i < 3; ++i) {
            split_[i] = HEVCCabacContext::initialised(splitCuFlagInitValues[i], sliceQp);
            skip_[i] = HEVCCabacContext::initialised(cuSkipFlagInitValues[i], sliceQp);
        }
        minBlock_ = 1 << sps.log2MinCodingBlockSize;
        columns_ = (sps.widthLumaSamples + minBlock_ - 1) / minBlock_;
        rows_ = (sps.heightLumaSamples + minBlock_ - 1) / minBlock_;
        depth_.assign(static_cast<std::size_t>(columns_) * rows_, 0);
    }

    void codePicture() {
        const std::uint32_t ctb = 1u << sps_.log2CodingTreeBlockSize;
        const std::uint32_t ctbColumns = (sps_.widthLumaSamples + ctb - 1) / ctb;
        const std::uint32_t ctbCount = ctbColumns * ((sps_.heightLumaSamples + ctb - 1) / ctb);
        for (std::uint32_t address = 0; address < ctbCount; ++address) {
            codeQuadtree((address % ctbColumns) * ctb, (address / ctbColumns) * ctb, sps_.log2CodingTreeBlockSize, 0);
            cabac_.encodeTerminate(address + 1 == ctbCount ? 1 : 0);  // end_of_slice_segment_flag
        }
    }

private:
    void codeQuadtree(std::uint32_t x, std::uint32_t y, int log2Size, int depth) {
        const std::uint32_t size = 1u << log2Size;
        const bool inside = x + size <= sps_.widthLumaSamples && y + size <= sps_.heightLumaSamples;
        const bool canSplit = log2Size > sps_.log2MinCodingBlockSize;
        if (inside && canSplit) {
            // split_cu_flag = 0; its context counts neighbours split deeper.
            const int increment = (x > 0 && depthAt(x - 1, y) > depth) + (y > 0 && depthAt(x, y - 1) > depth);
            cabac_.encodeBin(split_[static_cast<std::size_t>(increment)], 0);
        } else if (canSplit) {
            // Crosses the picture boundary: split without a flag.
            const std::uint32_t half = size / 2;
            for (std::uint32_t k = 0; k < 4; ++k) {
                const std::uint32_t subX = x + (k % 2) * half, subY = y + (k / 2) * half;
                if (subX < sps_.widthLumaSamples && subY < sps_.heightLumaSamples) codeQuadtree(subX, subY, log2Size - 1, depth + 1);
            }
            return;
        }
        // coding_unit: cu_skip_flag = 1, whose context counts skipped
        // neighbours -- every coded neighbour is skipped. merge_idx is not
        // sent with one merge candidate.
        const int increment = (x > 0 ? 1 : 0) + (y > 0 ? 1 : 0);
        cabac_.encodeBin(skip_[static_cast<std::size_t>(increment)], 1);
        markDepth(x, y, size, depth);
    }

    int depthAt(std::uint32_t x, std::uint32_t y) const {
        return depth_[static_cast<std::size_t>(y / minBlock_) * columns_ + x / minBlock_];
    }
    void markDepth(std::uint32_t x, std::uint32_t y, std::uint32_t size, int depth) {
        for (std::uint32_t row = y / minBlock_; row < std::min(rows_, (y + size) / minBlock_); ++row) {
            for (std::uint32_t column = x / minBlock_; column < std::min(columns_, (x + size) / minBlock_); ++column) {
                depth_[static_cast<std::size_t>(row) * columns_ + column] = static_cast<std::uint8_t>(depth);
            }
        }
    }

    const HEVCSequenceParameterSet& sps_;
    HEVCCabacEncoder cabac_;
    std::array<HEVCCabacContext, 3> split_{};
    std::array<HEVCCabacContext, 3> skip_{};
    std::uint32_t minBlock_ = 8;
    std::uint32_t columns_ = 0;
    std::uint32_t rows_ = 0;
    std::vector<std::uint8_t> depth_;
};

}  // namespace

HEVCSkipPictureWriter::HEVCSkipPictureWriter(std::span<const std::uint8_t> spsRbsp,
                                             std::span<const std::uint8_t> ppsRbsp,
                                             std::uint32_t pictureParameterSetId, int layerId)
    : sps_(HEVCSequenceParameterSet::parse(spsRbsp)),
      pps_(HEVCPictureParameterSet::parse(ppsRbsp)),
      pictureParameterSetId_(pictureParameterSetId),
      layerId_(layerId) {
    const PictureParameterSetPrefix prefix = readPrefix(ppsRbsp);
    if (prefix.transquantBypass) throw HEVCBitstreamError("кадры-пропуски с кодированием без потерь не поддерживаются");
    if (pps_.tiles || pps_.entropyCodingSync) throw HEVCBitstreamError("кадры-пропуски с плитками или волновой обработкой не поддерживаются");
    if (sps_.separateColourPlane) throw HEVCBitstreamError("кадры-пропуски с раздельными цветовыми плоскостями не поддерживаются");
    // slice_qp_delta is 0, so the slice QP is the PPS's initial QP.
    sliceQp_ = prefix.initQp;

    std::vector<std::uint8_t> header;
    writeSliceHeader(header, pocBit_);
    templateRbsp_ = std::move(header);
    const std::vector<std::uint8_t> data = writeSliceData();
    templateRbsp_.insert(templateRbsp_.end(), data.begin(), data.end());
}

void HEVCSkipPictureWriter::writeSliceHeader(std::vector<std::uint8_t>& rbsp, std::size_t& pocBit) const {
    HEVCBitWriter w;
    w.writeFlag(true);  // first_slice_segment_in_pic_flag
    w.writeUnsignedExpGolomb(pictureParameterSetId_);
    for (int i = 0; i < pps_.numExtraSliceHeaderBits; ++i) w.writeFlag(false);  // slice_reserved_flag
    w.writeUnsignedExpGolomb(static_cast<std::uint32_t>(HEVCSliceType::p));
    if (pps_.outputFlagPresent) w.writeFlag(true);  // pic_output_flag
    pocBit = w.bitPosition();
    w.writeBits(0, sps_.log2MaxPicOrderCntLsb);
    // An explicit reference set: the previous picture, used.
    w.writeFlag(false);                                              // short_term_ref_pic_set_sps_flag
    if (!sps_.shortTermRefPicSets.empty()) w.writeFlag(false);       // inter_ref_pic_set_prediction_flag
    w.writeUnsignedExpGolomb(1);                                     // num_negative_pics
    w.writeUnsignedExpGolomb(0);                                     // num_positive_pics
    w.writeUnsignedExpGolomb(0);                                     // delta_poc_s0_minus1
    w.writeFlag(true);                                               // used_by_curr_pic_s0_flag
    if (sps_.longTermRefPicsPresent) {
        if (!sps_.usedByCurrPicLongTermSps.empty()) w.writeUnsignedExpGolomb(0);  // num_long_term_sps
        w.writeUnsignedExpGolomb(0);                                             // num_long_term_pics
    }
    if (sps_.temporalMvp) w.writeFlag(false);  // slice_temporal_mvp_enabled_flag
    if (sps_.sampleAdaptiveOffset) {
        w.writeFlag(false);                                 // slice_sao_luma_flag
        if (sps_.chromaArrayType() != 0) w.writeFlag(false);  // slice_sao_chroma_flag
    }
    w.writeFlag(true);            // num_ref_idx_active_override_flag
    w.writeUnsignedExpGolomb(0);  // num_ref_idx_l0_active_minus1: one reference
    if (pps_.cabacInitPresent) w.writeFlag(false);  // cabac_init_flag
    if (pps_.weightedPred) {
        // pred_weight_table() with default weights.
        w.writeUnsignedExpGolomb(0);                                   // luma_log2_weight_denom
        if (sps_.chromaArrayType() != 0) w.writeSignedExpGolomb(0);   // delta_chroma_log2_weight_denom
        w.writeFlag(false);                                            // luma_weight_l0_flag[0]
        if (sps_.chromaArrayType() != 0) w.writeFlag(false);          // chroma_weight_l0_flag[0]
    }
    w.writeUnsignedExpGolomb(4);  // five_minus_max_num_merge_cand: one merge candidate
    w.writeSignedExpGolomb(0);    // slice_qp_delta
    if (pps_.sliceChromaQpOffsetsPresent) {
        w.writeSignedExpGolomb(0);
        w.writeSignedExpGolomb(0);
    }
    if (pps_.deblockingFilterOverrideEnabled) w.writeFlag(false);  // deblocking_filter_override_flag
    if (pps_.loopFilterAcrossSlices && !pps_.deblockingFilterDisabled) w.writeFlag(false);
    if (pps_.sliceSegmentHeaderExtensionPresent) w.writeUnsignedExpGolomb(0);
    w.writeByteAlignment();
    rbsp = w.bytes();
}

std::vector<std::uint8_t> HEVCSkipPictureWriter::writeSliceData() const {
    HEVCBitWriter writer;
    SkipSliceDataCoder coder(sps_, sliceQp_, writer);
    coder.codePicture();
    writer.writeTrailingBits();  // rbsp_slice_segment_trailing_bits
    return writer.bytes();
}

HEVCNalUnit HEVCSkipPictureWriter::skipPicture(std::int32_t pictureOrderCount) const {
    HEVCNalUnit unit;
    unit.type = 1;  // TRAIL_R
    unit.layerId = layerId_;
    unit.temporalIdPlus1 = 1;
    unit.rbsp = templateRbsp_;
    overwriteBits(unit.rbsp, pocBit_, lsbOf(pictureOrderCount, sps_.log2MaxPicOrderCntLsb), sps_.log2MaxPicOrderCntLsb);
    return unit;
}

void HEVCSkipPictureWriter::renumber(HEVCNalUnit& slice, std::int32_t pictureOrderCount) const {
    const std::size_t position = picOrderCntLsbPosition(slice, sps_, pps_);
    overwriteBits(slice.rbsp, position, lsbOf(pictureOrderCount, sps_.log2MaxPicOrderCntLsb), sps_.log2MaxPicOrderCntLsb);
}

}  // namespace pacemark
