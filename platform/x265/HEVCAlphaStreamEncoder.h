// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Export/MovieWriter.h"
#include "HEVCAlphaFrameConverter.h"
#include "HEVCAlphaLayerMerger.h"
#include "HEVCSkipPictureWriter.h"
#include "X265Encoder.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace pacemark {

// What the two encoders are told. Both get the same shared options, so that
// they take the same decisions; they differ only in their share of the bit
// rate, in the alpha layer's full-range flag (which x265 only writes into
// the SPS) and in `alphaExtraOptions`, which the tests use to make them
// disagree on purpose.
struct HEVCAlphaEncoderSettings {
    int width = 0;
    int height = 0;
    FrameRate frameRate = 30;  // terms within an int
    std::int64_t averageBitRate = 0;  // bits per second, both layers together
    // Frames of the movie (repeats included) from one key frame to the next,
    // at most: a player that seeks decodes no more than this many frames.
    int maxKeyFrameInterval = 60;
    // Two encodes of every distinct picture on a two-core machine:
    // "ultrafast" keeps the decoded overlay within the limits (the bit rate
    // leaves ample headroom: it now budgets only the distinct pictures, and
    // colour error is dominated by 4:2:0 chroma) at a fraction of
    // "veryfast"'s time, most of which went to intra analysis and SAO.
    std::string preset = "ultrafast";
    X265Encoder::Options alphaExtraOptions;

    // What a writer is opened with. The frame rate of the timing (1 when unknown)
    // is also the rate the encoder plans for, since an expected rate of 0
    // cannot drive rate control. Throws HEVCAlphaEncodingError for sizes
    // that cannot be coded and for straight (not premultiplied) colour,
    // which the renderer never produces.
    static HEVCAlphaEncoderSettings fromMovieWriterSettings(const MovieWriterSettings& settings);

    // Colour gets 70 % of the bit rate: alpha of an overlay is mostly flat
    // (0 or 255) with sharp edges and codes far smaller at the same quality.
    std::int64_t colourBitRate() const { return averageBitRate * 7 / 10; }
    std::int64_t alphaBitRate() const { return averageBitRate - colourBitRate(); }
    X265Encoder::Options sharedOptions() const;
};

// Encodes premultiplied BGRA frames into one two-layer HEVC stream: colour
// as layer 0, alpha as layer 1. Only distinct pictures go to the two x265
// encoders, as IDR or low-delay P pictures (no B pictures, one reference);
// a repeated frame becomes a skip picture in both layers, written here, that
// copies the picture before it exactly. The encoders' later pictures get
// the picture order counts of the frames they stand for. Frames go in in
// presentation order, and access units come out in the same order, a few
// frames late (the encoders' lookahead).
//
// Key frames: no more than maxKeyFrameInterval frames of the movie lie
// between two IDR pictures, repeats included, so a player seeking anywhere
// decodes at most that many frames. An intra picture costs the encoder
// several times a P picture, so the IDR falls on a distinct picture whenever
// it can: a distinct picture becomes one when it and a run of repeats as
// long as the last one would reach the interval's end. Only a run longer
// than foreseen (a pause in the ride) makes a repeat the key frame: the
// repeated picture is encoded again, as an IDR. The two layers are encoded
// at the same time, one on the calling thread and one on a helper thread.
class HEVCAlphaStreamEncoder {
public:
    explicit HEVCAlphaStreamEncoder(const HEVCAlphaEncoderSettings& settings);

    const std::vector<HEVCNalUnit>& parameterSets() const { return merger_->parameterSets(); }
    const HEVCSequenceParameterSet& baseSequenceParameterSet() const { return merger_->baseSequenceParameterSet(); }

    std::vector<HEVCLayeredAccessUnit> encode(const PixelBufferView& frame);
    // The next frame repeats the previous one (which must exist): a skip
    // picture in both layers.
    std::vector<HEVCLayeredAccessUnit> encodeRepeat();
    // Drains both encoders. Throws when one of them produced more pictures
    // than the other.
    std::vector<HEVCLayeredAccessUnit> finish();

    // Pictures handed to the encoders so far: the distinct ones, and repeats
    // encoded again as key frames.
    std::int64_t encodedPictureCount() const { return encodedPictures_; }

private:
    // Hands the converted picture to both encoders as frame nextFrame_.
    void encodeConverted(bool keyFrame);
    std::vector<HEVCLayeredAccessUnit> pairUp();
    std::vector<HEVCLayeredAccessUnit> emitReady();
    void renumber(HEVCLayeredAccessUnit& unit, std::int32_t pictureOrderCount) const;

    HEVCAlphaEncoderSettings settings_;
    HEVCAlphaFrameConverter converter_;
    X265Encoder colour_;
    X265Encoder alpha_;
    std::unique_ptr<HEVCAlphaLayerMerger> merger_;
    std::unique_ptr<HEVCSkipPictureWriter> colourSkips_;
    std::unique_ptr<HEVCSkipPictureWriter> alphaSkips_;
    std::deque<HEVCEncodedPicture> colourQueue_;
    std::deque<HEVCEncodedPicture> alphaQueue_;
    std::deque<HEVCLayeredAccessUnit> merged_;  // encoded access units not yet emitted
    std::deque<bool> pendingFrames_;            // frames not yet emitted, true for a repeat
    std::int64_t nextFrame_ = 0;
    std::int64_t emittedFrames_ = 0;
    std::int64_t emittedKeyFrame_ = 0;   // frame index of the last IDR emitted: picture order count 0
    std::int64_t encodedPictures_ = 0;
    std::int64_t lastKeyFrame_ = 0;     // frame index of the last IDR handed to the encoders
    std::int64_t runStart_ = 0;         // frame index of the last distinct picture
    std::int64_t lastRunLength_ = 1;    // frames shown by the distinct picture before it
};

}  // namespace pacemark
