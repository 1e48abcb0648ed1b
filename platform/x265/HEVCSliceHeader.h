// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace pacemark {

struct HEVCNalUnit;
struct HEVCSequenceParameterSet;
struct HEVCPictureParameterSet;

enum class HEVCSliceType { b = 0, p = 1, i = 2 };

// A slice segment header parsed to its end, for a stream whose layers have
// no inter-layer references (every field of a single-layer header).
struct HEVCSliceHeader {
    bool firstSliceSegmentInPic = false;
    bool dependentSliceSegment = false;
    std::uint32_t pictureParameterSetId = 0;
    std::size_t ppsIdBitStart = 0;
    std::size_t ppsIdBitEnd = 0;
    HEVCSliceType sliceType = HEVCSliceType::i;
    // slice_pic_order_cnt_lsb; 0 for IDR pictures, which do not carry it.
    std::uint32_t picOrderCntLsb = 0;
    // Bit position where byte_alignment() begins, and the RBSP byte where
    // the slice data begins.
    std::size_t headerEndBit = 0;
    std::size_t sliceDataByteOffset = 0;

    // `pps` must be the PPS the slice names and `sps` the SPS that PPS names;
    // read the id first with peekPictureParameterSetId.
    static HEVCSliceHeader parse(const HEVCNalUnit& slice, const HEVCSequenceParameterSet& sps,
                                 const HEVCPictureParameterSet& pps);
    static std::uint32_t peekPictureParameterSetId(const HEVCNalUnit& slice);
};

// The slice with another slice_pic_parameter_set_id and nuh_layer_id. The
// header bits after the id are copied shifted, byte_alignment() is redone
// and the slice data bytes are copied unchanged, so entry-point offsets
// (counted from the first slice data byte) stay valid.
HEVCNalUnit hevcRewriteSlice(const HEVCNalUnit& slice, const HEVCSliceHeader& header,
                             std::uint32_t newPictureParameterSetId, int newLayerId);

// Picture order count derivation for one layer's sequence of pictures.
class HEVCPictureOrderCounter {
public:
    // Call once per picture (first slice segment), in decoding order.
    std::int32_t next(int nalType, int temporalId, std::uint32_t picOrderCntLsb, int log2MaxPicOrderCntLsb);

private:
    std::int32_t previousTid0Poc_ = 0;
    bool seenIrap_ = false;
};

}  // namespace pacemark
