// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "Export/MovieWriter.h"
#include "FFmpegHandles.h"
#include "MovieCheck/ProResFrameAssembler.h"
#include "ProResPictureConverter.h"
#include "ProResWriterOptions.h"

namespace pacemark {

// Codes premultiplied BGRA pictures as ProRes 4444 frames with the system's
// encoder (profile 4444, BT.709, limited range, vendor 'apl0'), each repaired
// for strict decoders (ProResFrameRepair).
//
// Successive overlay pictures differ in a few small regions. ProRes codes a
// picture in slices of 16 lines by up to 8 macroblocks, and with a fixed
// quantiser the encoder codes each slice from that slice's pixels alone
// (its edge padding included). So when options.reuseSlices is on, only the
// slices whose pixels differ from the previous picture's are encoded: they
// are stacked into a narrow picture one slice wide (one per slice width at the
// row's end), coded and repaired, and the frame is assembled from those and
// the previous frame's other slices (ProResFrameAssembler). The first picture,
// and a picture where most slices changed, are encoded whole. Either way the
// frame is byte for byte the one a whole encode gives (the tests hold the
// system's encoder to that); were an encoder to code a slice differently in a
// narrow picture, the frame would still be valid ProRes, as the format
// decodes every slice on its own.
//
// Not thread-safe: one thread calls encode().
class ProResSliceEncoder {
public:
    // Opens the encoder for `width` x `height` at `frameRate` (known, terms
    // within an int); throws TelemetryVideoExportError::cannotAddVideoInput
    // when it cannot.
    ProResSliceEncoder(std::int64_t width, std::int64_t height, FrameRate frameRate,
                       const ProResWriterOptions& options);
    ~ProResSliceEncoder();
    ProResSliceEncoder(const ProResSliceEncoder&) = delete;
    ProResSliceEncoder& operator=(const ProResSliceEncoder&) = delete;

    // The whole-picture encoder, whose parameters describe every frame.
    const AVCodecContext& encoder() const { return *whole_; }

    // Codes `picture` (of the encoder's size) and returns the repaired frame,
    // valid until the next call. Throws TelemetryVideoExportError when the
    // encoder fails and ProResFormatError when its frame cannot be parsed.
    std::span<const std::uint8_t> encode(PixelBufferView picture);

    // Slices encoded and slices taken from the previous frame so far.
    std::int64_t encodedSlices() const { return encodedSlices_; }
    std::int64_t reusedSlices() const { return reusedSlices_; }

private:
    struct SlicePlace {
        std::int64_t x = 0;  // first column, in pixels
        std::int64_t y = 0;  // first line
        int macroblocks = 0;
    };
    // A narrow picture of `slices` slices of one width, stacked.
    struct NarrowEncoder {
        ffmpeg::CodecContextHandle encoder;
        ffmpeg::FrameHandle frame;
    };

    void encodeWhole(PixelBufferView picture);
    std::vector<std::size_t> changedSlices(PixelBufferView picture) const;
    void encodeSlices(PixelBufferView picture, const std::vector<std::size_t>& changed);
    // Codes the slices `group` (all of one width) into a repaired frame in
    // narrowFrames_, and points slices[s] of each at its bytes there.
    void encodeGroup(PixelBufferView picture, std::span<const std::size_t> group,
                     std::vector<std::span<const std::uint8_t>>& slices);
    NarrowEncoder& narrowEncoder(int macroblocks, int slices);
    void convertSlice(PixelBufferView picture, const SlicePlace& place, const AVFrame& into, int slot) const;
    std::vector<std::uint8_t> codeAndRepair(AVCodecContext& encoder, AVFrame& frame);

    std::int64_t width_;
    std::int64_t height_;
    FrameRate frameRate_;
    ProResWriterOptions options_;
    ProResPictureConverter converter_;
    ffmpeg::CodecContextHandle whole_;
    ffmpeg::FrameHandle wholeFrame_;
    ffmpeg::PacketHandle packet_;
    std::map<std::pair<int, int>, NarrowEncoder> narrow_;  // by (macroblocks per slice, slices)

    std::optional<ProResFrameAssembler> assembler_;
    std::vector<SlicePlace> places_;               // of every slice of a frame, in coding order
    std::vector<std::uint8_t> previousPixels_;     // the previous picture, BGRA, rows packed
    std::vector<std::uint8_t> frame_;              // the previous (current) repaired frame
    std::vector<std::uint8_t> nextFrame_;
    std::vector<std::vector<std::uint8_t>> narrowFrames_;  // repaired narrow frames of this picture
    std::int64_t encodedSlices_ = 0;
    std::int64_t reusedSlices_ = 0;
};

}  // namespace pacemark
