// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Export/MovieWriter.h"
#include "HEVCAlphaFrameConverter.h"
#include "HEVCAlphaLayerMerger.h"
#include "HEVCUpdatePictureWriter.h"
#include "X265Encoder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pacemark {

// What the two encoders are told. Both get the same shared options, so that
// they take the same decisions; they differ only in the alpha layer's
// full-range flag (which x265 only writes into the SPS) and in
// `alphaExtraOptions`, which the tests use to make them disagree on purpose.
struct HEVCAlphaEncoderSettings {
    int width = 0;
    int height = 0;
    FrameRate frameRate = 30;  // terms within an int
    // Bits per second, both layers together: a ceiling on the movie's mean
    // rate. Below it the quantiser stays at `quantiser`.
    std::int64_t averageBitRate = 0;
    // Frames of the movie (repeats included) from one key frame to the next,
    // at most: a player that seeks decodes no more than this many frames.
    int maxKeyFrameInterval = 60;
    // The quantiser of both layers while the movie stays under its bit
    // rate: the decoded overlay stays well within what the eye and the
    // checks notice, at a small part of the rate allowed.
    int quantiser = 18;
    // x265 codes only the intra pictures (both layers at once, on a two-core
    // machine): "ultrafast" keeps them within the limits at a fraction of
    // "veryfast"'s time, most of which went to intra analysis and SAO.
    std::string preset = "ultrafast";
    X265Encoder::Options alphaExtraOptions;
    // What a writer is opened with. The frame rate of the timing (1 when unknown)
    // is also the rate the encoder plans for. Throws HEVCAlphaEncodingError
    // for sizes that cannot be coded and for straight (not premultiplied)
    // colour, which the renderer never produces.
    static HEVCAlphaEncoderSettings fromMovieWriterSettings(const MovieWriterSettings& settings);
    X265Encoder::Options sharedOptions() const;
};

// Encodes premultiplied BGRA frames into one two-layer HEVC stream: colour
// as layer 0, alpha as layer 1, one access unit per frame, at once.
//
// Key frames are IDR pictures from two x265 encoders, run without delay (no
// lookahead, one frame thread) so that each returns its picture, and its
// reconstruction, on the call that fed it. Every other distinct picture is
// an update written here (HEVCUpdatePictureWriter): an overlay changes in a
// few small places, which alone carry residuals, while x265 would analyse
// the whole picture again. A repeated frame is a skip picture in both
// layers, a bit-exact copy of the picture before it.
//
// Key frames: no more than maxKeyFrameInterval frames of the movie lie
// between two IDR pictures, repeats included, so a player seeking anywhere
// decodes at most that many frames. An intra picture costs the encoder
// many times an update, so the IDR falls on a distinct picture whenever it
// can: a distinct picture becomes one when it and a run of repeats as long
// as the last one would reach the interval's end. Only a run longer than
// foreseen (a pause in the ride) makes a repeat the key frame: the repeated
// picture is encoded again, as an IDR. The two layers are coded at the same
// time, one on the calling thread and one on a helper thread.
//
// The quantiser rises, one step per coded picture, while the bits so far
// exceed what the average bit rate allows for the frames so far, and falls
// back, a step per frame, towards the settings' quantiser once they are
// below half of it.
class HEVCAlphaStreamEncoder {
public:
    explicit HEVCAlphaStreamEncoder(const HEVCAlphaEncoderSettings& settings);
    const std::vector<HEVCNalUnit>& parameterSets() const { return merger_->parameterSets(); }
    const HEVCSequenceParameterSet& baseSequenceParameterSet() const { return merger_->baseSequenceParameterSet(); }
    HEVCLayeredAccessUnit encode(const PixelBufferView& frame);
    // The next frame repeats the previous one (which must exist).
    HEVCLayeredAccessUnit encodeRepeat();
    // Pictures coded so far: the distinct ones, and repeats coded again as
    // key frames.
    std::int64_t encodedPictureCount() const { return encodedPictures_; }
    // The quantiser the next picture gets.
    int quantiser() const { return quantiser_; }

private:
    // Codes the converted picture as frame nextFrame_.
    HEVCLayeredAccessUnit encodeConverted(bool keyFrame);
    HEVCLayeredAccessUnit encodeKeyFrame();
    HEVCLayeredAccessUnit finishUnit(HEVCLayeredAccessUnit unit, bool coded);
    HEVCAlphaEncoderSettings settings_;
    HEVCAlphaFrameConverter converter_;
    X265Encoder colour_;
    X265Encoder alpha_;
    std::unique_ptr<HEVCAlphaLayerMerger> merger_;
    std::unique_ptr<HEVCUpdatePictureWriter> colourUpdates_;
    std::unique_ptr<HEVCUpdatePictureWriter> alphaUpdates_;
    std::int64_t nextFrame_ = 0;
    std::int64_t encodedPictures_ = 0;
    std::int64_t lastKeyFrame_ = 0;     // frame index of the last IDR: picture order count 0
    std::int64_t runStart_ = 0;         // frame index of the last distinct picture
    std::int64_t lastRunLength_ = 1;    // frames shown by the distinct picture before it
    std::int64_t bitsWritten_ = 0;
    int quantiser_ = 18;
};

}  // namespace pacemark
