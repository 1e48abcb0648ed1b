// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"
#include "HEVCSliceHeader.h"

#include <cstdint>
#include <vector>

namespace pacemark {

// One picture's NAL units as an encoder emitted them, in decoding order.
struct HEVCEncodedPicture {
    std::vector<HEVCNalUnit> nalUnits;
    std::int64_t presentationIndex = 0;
    std::int64_t decodeIndex = 0;
};

// One access unit of the two-layer stream: layer-0 slices, then layer-1.
struct HEVCLayeredAccessUnit {
    std::vector<HEVCNalUnit> nalUnits;
    std::int64_t presentationIndex = 0;
    std::int64_t decodeIndex = 0;
    std::int32_t pictureOrderCount = 0;
    bool randomAccessPoint = false;
};

// Turns two single-layer encodes made with identical settings -- the colour
// picture and the alpha picture (alpha as luma) -- into one bitstream whose
// layer 1 is an auxiliary alpha picture. The colour encode passes through
// unchanged as layer 0. The alpha encode's SPS and PPS get ids 1 and
// nuh_layer_id 1, and its slices are re-pointed at PPS 1.
//
// Both encoders must decide picture types and order identically; merge()
// checks this for every access unit and throws HEVCAlphaEncodingError
// (layersDisagree) otherwise, since a stream with mismatched layers would
// decode to garbage alpha.
class HEVCAlphaLayerMerger {
public:
    // The parameter sets each encoder emitted before its first picture
    // (VPS, SPS, PPS; SEI units are ignored).
    HEVCAlphaLayerMerger(const std::vector<HEVCNalUnit>& colourHeaders, const std::vector<HEVCNalUnit>& alphaHeaders);

    // VPS, SPS 0, SPS 1, PPS 0, PPS 1 and the alpha_channel_info SEI.
    const std::vector<HEVCNalUnit>& parameterSets() const { return parameterSets_; }
    const HEVCSequenceParameterSet& baseSequenceParameterSet() const { return colourSps_; }

    // The next access unit from each encode, in decoding order. In-band
    // parameter sets (which must repeat the initial ones), access unit
    // delimiters and SEI messages are dropped.
    HEVCLayeredAccessUnit merge(const HEVCEncodedPicture& colour, const HEVCEncodedPicture& alpha);

private:
    struct LayerState {
        std::vector<std::uint8_t> spsRbsp;
        std::vector<std::uint8_t> ppsRbsp;
        HEVCSequenceParameterSet sps;
        HEVCPictureParameterSet pps;
        HEVCPictureOrderCounter counter;
    };
    struct PictureInfo {
        int nalType = 0;
        HEVCSliceType sliceType = HEVCSliceType::i;
        std::int32_t pictureOrderCount = 0;
    };

    static LayerState readHeaders(const std::vector<HEVCNalUnit>& headers, const char* layerName);
    PictureInfo collectSlices(LayerState& layer, const HEVCEncodedPicture& picture, bool alphaLayer,
                              std::vector<HEVCNalUnit>& out) const;

    LayerState colour_;
    LayerState alpha_;
    HEVCSequenceParameterSet colourSps_;
    std::vector<HEVCNalUnit> parameterSets_;
    std::int64_t accessUnitIndex_ = 0;
};

}  // namespace pacemark
