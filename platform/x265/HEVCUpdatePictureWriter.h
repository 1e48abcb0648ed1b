// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"
#include "X265Encoder.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace pacemark {

// Writes, for one layer of the stream, the P pictures between the encoder's
// IDR pictures. An overlay changes in a few small places from one picture to
// the next; an encoder would analyse the whole picture again. Here each
// coding unit whose source samples did not change since the last picture is
// skipped (a bit-exact copy of the picture before), and each that changed
// carries its residual against the picture before, transformed and
// quantised here: one slice, merge candidate 0 (the zero vector into the
// previous picture), no deblocking.
//
// The writer keeps the decoded picture -- it computes exactly what decoders
// compute -- so its references never drift from theirs. A chain starts at an
// IDR picture, from the encoder's own reconstruction of it (restart()).
//
// skipPicture() is the update of a picture that did not change at all, a few
// dozen bytes, written once and patched with the picture order count.
// Pictures are TRAIL_R pictures of temporal layer 0 whose reference set
// holds the previous picture.
//
// Supports the streams our x265 settings produce: 4:2:0, 8-bit, one slice
// per picture, no tiles or wavefronts, no lossless coding units, no scaling
// lists, sign hiding or coding-unit QP deltas, transform blocks of 8 to 32,
// deblocking off or switchable per slice. Anything else throws
// HEVCBitstreamError from the constructor.
class HEVCUpdatePictureWriter {
public:
    // The SPS and PPS RBSPs as the layer's encoder emitted them; the slices
    // name `pictureParameterSetId` and carry nuh_layer_id `layerId` (the ids
    // the merged stream gives the layer).
    HEVCUpdatePictureWriter(std::span<const std::uint8_t> spsRbsp, std::span<const std::uint8_t> ppsRbsp,
                            std::uint32_t pictureParameterSetId, int layerId);

    // A TRAIL_R picture that repeats the previous one, with this picture
    // order count. Needs no restart().
    HEVCNalUnit skipPicture(std::int32_t pictureOrderCount) const;

    // Starts a chain at an IDR picture: `source` is what the encoder was
    // given (the visible size), `decoded` its reconstruction (the coded size,
    // as the SPS gives it).
    void restart(const X265PlanarPicture& source, const X265PlanarPicture& decoded);
    // The next picture of the chain: `source` (the visible size) coded
    // against the decoded picture before it, at quantiser `qp`.
    HEVCNalUnit update(const X265PlanarPicture& source, std::int32_t pictureOrderCount, int qp);
    // What decoders show after the last picture of the chain (the coded size).
    X265PlanarPicture decodedPicture() const;

    // The slice QP of skip pictures: the PPS's initial QP.
    int sliceQp() const { return pps_.initQp; }

    struct Plane {
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> samples;
        std::uint8_t* row(int y) { return samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width); }
        const std::uint8_t* row(int y) const { return samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width); }
    };
    using Picture = std::array<Plane, 3>;

private:
    std::vector<std::uint8_t> sliceHeader(std::int32_t pictureOrderCount, int sliceQp, std::size_t* pocBit) const;
    void loadSource(const X265PlanarPicture& source, Picture& into) const;
    HEVCNalUnit sliceUnit(std::vector<std::uint8_t> rbsp) const;

    HEVCSequenceParameterSet sps_;
    HEVCPictureParameterSet pps_;
    std::uint32_t pictureParameterSetId_;
    int layerId_;
    int visibleWidth_ = 0;
    int visibleHeight_ = 0;
    // The whole skip slice for picture order count 0; skipPicture() patches
    // the count's bits at pocBit_.
    std::vector<std::uint8_t> skipRbsp_;
    std::size_t pocBit_ = 0;
    Picture decoded_;
    Picture lastSource_;  // the source each coding unit was last coded from
    Picture source_;      // scratch: the picture being coded
    bool started_ = false;
};

}  // namespace pacemark
