// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"

#include <cstdint>
#include <span>
#include <vector>

namespace pacemark {

// Writes, for one layer of the stream, P pictures that repeat the picture
// before them exactly: a single slice whose every coding tree unit is one
// skipped coding unit with merge index 0. With the merge list cut to one
// candidate and temporal motion vector prediction off, that candidate is the
// zero vector into the previous picture, no residual follows, and every
// deblocking edge gets strength 0 -- the decoded picture is a bit-exact copy.
// A skip picture costs a few dozen bytes instead of an encode.
//
// The encoder's own pictures that follow skip pictures must carry the picture
// order counts of the frames they stand for: renumber() rewrites them in
// place. Skip pictures are TRAIL_R pictures of temporal layer 0 whose
// reference set holds the previous picture, so a chain of them keeps every
// picture the next encoded P picture refers to (its previous one and, when
// the encoder keeps two, the one before).
//
// Supports the streams our x265 settings produce: one slice per picture, no
// tiles, no wavefronts, no lossless coding units, 4:2:0 or 4:0:0. Anything
// else throws HEVCBitstreamError from the constructor.
class HEVCSkipPictureWriter {
public:
    // The SPS and PPS RBSPs as the layer's encoder emitted them; the skip
    // slices name `pictureParameterSetId` and carry nuh_layer_id `layerId`
    // (the ids the merged stream gives the layer).
    HEVCSkipPictureWriter(std::span<const std::uint8_t> spsRbsp, std::span<const std::uint8_t> ppsRbsp,
                          std::uint32_t pictureParameterSetId, int layerId);

    // A TRAIL_R skip picture with this picture order count.
    HEVCNalUnit skipPicture(std::int32_t pictureOrderCount) const;

    // Rewrites slice_pic_order_cnt_lsb of one of the layer's non-IRAP slices
    // (it keeps its length, so nothing else moves).
    void renumber(HEVCNalUnit& slice, std::int32_t pictureOrderCount) const;

    // The slice QP the skip slices are coded at (and their contexts
    // initialised with).
    int sliceQp() const { return sliceQp_; }

private:
    void writeSliceHeader(std::vector<std::uint8_t>& rbsp, std::size_t& pocBit) const;
    std::vector<std::uint8_t> writeSliceData() const;

    HEVCSequenceParameterSet sps_;
    HEVCPictureParameterSet pps_;
    std::uint32_t pictureParameterSetId_;
    int layerId_;
    int sliceQp_ = 26;
    // The whole skip slice for picture order count 0; skipPicture() patches
    // the count's bits at pocBit_.
    std::vector<std::uint8_t> templateRbsp_;
    std::size_t pocBit_ = 0;
};

}  // namespace pacemark
