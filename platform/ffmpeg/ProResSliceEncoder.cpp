// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProResSliceEncoder.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/opt.h>
}

#include "Export/TelemetryVideoExportError.h"
#include "FFmpegFile.h"
#include "MovieCheck/ProResFrameRepair.h"

namespace pacemark {
namespace {

constexpr int kSliceLines = 16;
// The encoder's widest slice, in macroblocks.
constexpr int kMacroblocksPerSlice = 8;
// Narrow pictures hold 1, 2, 4 ... up to this many slices; more changed
// slices of one width are coded in several pictures.
constexpr int kMostNarrowSlices = 64;

// The system's ProRes encoder with the writer's settings for a picture of
// `width` x `height`; null when it cannot be opened.
ffmpeg::CodecContextHandle openEncoder(std::int64_t width, std::int64_t height, FrameRate frameRate,
                                       const ProResWriterOptions& options, int threads) {
    const AVCodec* codec = avcodec_find_encoder_by_name("prores_ks");
    if (!codec) return {};
    ffmpeg::CodecContextHandle encoder(avcodec_alloc_context3(codec));
    if (!encoder) return {};
    AVCodecContext& c = *encoder;
    c.width = static_cast<int>(width);
    c.height = static_cast<int>(height);
    c.pix_fmt = AV_PIX_FMT_YUVA444P10LE;
    // A frame lasts D / N seconds; the writers keep both terms within an int.
    const int numerator = static_cast<int>(frameRate.numerator());
    const int denominator = static_cast<int>(frameRate.denominator());
    c.time_base = AVRational{denominator, numerator};
    c.framerate = AVRational{numerator, denominator};
    c.sample_aspect_ratio = AVRational{1, 1};
    c.color_primaries = AVCOL_PRI_BT709;
    c.color_trc = AVCOL_TRC_BT709;
    c.colorspace = AVCOL_SPC_BT709;
    c.color_range = AVCOL_RANGE_MPEG;
    c.codec_tag = MKTAG('a', 'p', '4', 'h');
    if (options.quantiser > 0) {
        c.flags |= AV_CODEC_FLAG_QSCALE;
        c.global_quality = options.quantiser * FF_QP2LAMBDA;
    }
    c.thread_count = threads;
    c.thread_type = FF_THREAD_SLICE;  // one packet out for every picture in
    if (av_opt_set(c.priv_data, "profile", "4444", 0) < 0 ||
        av_opt_set_int(c.priv_data, "alpha_bits", options.alphaBits, 0) < 0 ||
        av_opt_set(c.priv_data, "vendor", "apl0", 0) < 0 || avcodec_open2(&c, codec, nullptr) < 0) {
        return {};
    }
    return encoder;
}

// A picture for `encoder`, tagged as the encoder is (the frame header
// carries the picture's colour tags).
ffmpeg::FrameHandle pictureFor(const AVCodecContext& encoder) {
    ffmpeg::FrameHandle frame(av_frame_alloc());
    if (!frame) throw TelemetryVideoExportError::cannotCreatePixelBuffer();
    frame->format = encoder.pix_fmt;
    frame->width = encoder.width;
    frame->height = encoder.height;
    frame->color_primaries = encoder.color_primaries;
    frame->color_trc = encoder.color_trc;
    frame->colorspace = encoder.colorspace;
    frame->color_range = encoder.color_range;
    if (av_frame_get_buffer(frame.get(), 0) < 0) throw TelemetryVideoExportError::cannotCreatePixelBuffer();
    return frame;
}

ProResPictureConverter::Planes planesOf(const AVFrame& frame, int firstLine) {
    ProResPictureConverter::Planes planes;
    const auto plane = [&](int p) {
        return reinterpret_cast<std::uint16_t*>(frame.data[p] + std::ptrdiff_t(firstLine) * frame.linesize[p]);
    };
    planes.y = plane(0);
    planes.cb = plane(1);
    planes.cr = plane(2);
    planes.alpha = plane(3);
    planes.yStride = frame.linesize[0] / 2;
    planes.cbStride = frame.linesize[1] / 2;
    planes.crStride = frame.linesize[2] / 2;
    planes.alphaStride = frame.linesize[3] / 2;
    return planes;
}

}  // namespace

ProResSliceEncoder::ProResSliceEncoder(std::int64_t width, std::int64_t height, FrameRate frameRate,
                                       const ProResWriterOptions& options)
    : width_(width), height_(height), frameRate_(frameRate), options_(options) {
    whole_ = openEncoder(width, height, frameRate, options, options.encoderThreads);
    if (!whole_) throw TelemetryVideoExportError::cannotAddVideoInput();
    // Slices are coded from their own pixels only with one quantiser for all.
    if (options_.quantiser <= 0) options_.reuseSlices = false;
    wholeFrame_ = pictureFor(*whole_);
    packet_.reset(av_packet_alloc());
    if (!packet_) throw TelemetryVideoExportError::cannotCreatePixelBuffer();
}

ProResSliceEncoder::~ProResSliceEncoder() = default;

std::span<const std::uint8_t> ProResSliceEncoder::encode(PixelBufferView picture) {
    if (!options_.reuseSlices || !assembler_) {
        encodeWhole(picture);
        encodedSlices_ += std::int64_t(places_.size());
        return frame_;
    }
    const std::vector<std::size_t> changed = changedSlices(picture);
    // Coding most slices through narrow pictures gains nothing over one
    // whole picture.
    if (changed.size() * 4 > places_.size() * 3) {
        encodeWhole(picture);
        encodedSlices_ += std::int64_t(places_.size());
        return frame_;
    }
    if (!changed.empty()) encodeSlices(picture, changed);
    encodedSlices_ += std::int64_t(changed.size());
    reusedSlices_ += std::int64_t(places_.size() - changed.size());
    return frame_;
}

void ProResSliceEncoder::encodeWhole(PixelBufferView picture) {
    if (av_frame_make_writable(wholeFrame_.get()) < 0) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    }
    converter_.convert(picture, planesOf(*wholeFrame_, 0), 0, height_);
    frame_ = codeAndRepair(*whole_, *wholeFrame_);
    if (!options_.reuseSlices) return;
    if (!assembler_) {
        assembler_.emplace(frame_);
        const auto& row = assembler_->rowSliceMacroblocks();
        for (int my = 0; my < assembler_->macroblockRows(); ++my) {
            std::int64_t x = 0;
            for (const int macroblocks : row) {
                places_.push_back({x, std::int64_t(my) * kSliceLines, macroblocks});
                x += 16 * macroblocks;
            }
        }
        previousPixels_.resize(std::size_t(width_ * 4 * height_));
    }
    for (std::int64_t y = 0; y < height_; ++y) {
        std::memcpy(previousPixels_.data() + y * width_ * 4, picture.row(y), std::size_t(width_ * 4));
    }
}

std::vector<std::size_t> ProResSliceEncoder::changedSlices(PixelBufferView picture) const {
    std::vector<std::size_t> changed;
    const std::size_t perRow = assembler_->rowSliceMacroblocks().size();
    const std::size_t rowBytes = std::size_t(width_ * 4);
    for (std::size_t first = 0; first < places_.size(); first += perRow) {
        const std::int64_t y0 = places_[first].y;
        const std::int64_t lines = std::min<std::int64_t>(kSliceLines, height_ - y0);
        // Most bands of 16 lines are unchanged: one comparison each.
        bool bandEqual = picture.bytesPerRow == std::int64_t(rowBytes) &&
                         std::memcmp(picture.row(y0), previousPixels_.data() + std::size_t(y0) * rowBytes,
                                     rowBytes * std::size_t(lines)) == 0;
        if (bandEqual) continue;
        for (std::size_t s = first; s < first + perRow; ++s) {
            const SlicePlace& place = places_[s];
            const std::size_t offset = std::size_t(place.x * 4);
            const std::size_t bytes = std::min<std::size_t>(std::size_t(16 * place.macroblocks * 4), rowBytes - offset);
            for (std::int64_t line = 0; line < lines; ++line) {
                if (std::memcmp(picture.row(y0 + line) + offset,
                                previousPixels_.data() + std::size_t(y0 + line) * rowBytes + offset, bytes) != 0) {
                    changed.push_back(s);
                    break;
                }
            }
        }
    }
    return changed;
}

void ProResSliceEncoder::encodeSlices(PixelBufferView picture, const std::vector<std::size_t>& changed) {
    narrowFrames_.clear();
    // The previous frame's slices, where changed ones are replaced.
    std::vector<std::span<const std::uint8_t>> slices = ProResFrameAssembler::slicesOf(frame_);
    // Slices of one width go through one narrow picture size.
    for (const int macroblocks : {8, 4, 2, 1}) {
        std::vector<std::size_t> group;
        for (const std::size_t s : changed) {
            if (places_[s].macroblocks == macroblocks) group.push_back(s);
        }
        std::span<const std::size_t> rest(group);
        while (!rest.empty()) {
            // The largest power of two that fits: every narrow picture size
            // is opened once and kept.
            std::size_t count = kMostNarrowSlices;
            while (count > rest.size()) count >>= 1;
            encodeGroup(picture, rest.first(count), slices);
            rest = rest.subspan(count);
        }
    }
    assembler_->assemble(slices, nextFrame_);
    std::swap(frame_, nextFrame_);

    const std::size_t rowBytes = std::size_t(width_ * 4);
    for (const std::size_t s : changed) {
        const SlicePlace& place = places_[s];
        const std::size_t offset = std::size_t(place.x * 4);
        const std::size_t bytes = std::min<std::size_t>(std::size_t(16 * place.macroblocks * 4), rowBytes - offset);
        for (std::int64_t y = place.y; y < std::min<std::int64_t>(place.y + kSliceLines, height_); ++y) {
            std::memcpy(previousPixels_.data() + std::size_t(y) * rowBytes + offset, picture.row(y) + offset, bytes);
        }
    }
}

void ProResSliceEncoder::encodeGroup(PixelBufferView picture, std::span<const std::size_t> group,
                                     std::vector<std::span<const std::uint8_t>>& slices) {
    const int macroblocks = places_[group.front()].macroblocks;
    NarrowEncoder& narrow = narrowEncoder(macroblocks, int(group.size()));
    if (av_frame_make_writable(narrow.frame.get()) < 0) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    }
    for (std::size_t slot = 0; slot < group.size(); ++slot) {
        convertSlice(picture, places_[group[slot]], *narrow.frame, int(slot));
    }
    narrowFrames_.push_back(codeAndRepair(*narrow.encoder, *narrow.frame));
    const auto coded = ProResFrameAssembler::slicesOf(narrowFrames_.back());
    if (coded.size() != group.size()) throw ProResFormatError("в узком кадре не то число срезов");
    for (std::size_t slot = 0; slot < group.size(); ++slot) slices[group[slot]] = coded[slot];
}

ProResSliceEncoder::NarrowEncoder& ProResSliceEncoder::narrowEncoder(int macroblocks, int slices) {
    auto found = narrow_.find({macroblocks, slices});
    if (found != narrow_.end()) return found->second;
    NarrowEncoder narrow;
    // One thread: the encoder codes slices in turn when the quantiser is fixed.
    narrow.encoder = openEncoder(16 * macroblocks, std::int64_t(slices) * kSliceLines, frameRate_, options_, 1);
    if (!narrow.encoder) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    narrow.frame = pictureFor(*narrow.encoder);
    return narrow_.emplace(std::pair{macroblocks, slices}, std::move(narrow)).first->second;
}

// Converts one slice into slot `slot` of a narrow picture and pads it as the
// encoder pads a slice at the picture's right and bottom edges: each line
// repeats its last pixel to the slice's width, and the last line repeats down
// to 16 lines. The narrow picture then holds exactly what the encoder codes
// for this slice of the whole picture.
void ProResSliceEncoder::convertSlice(PixelBufferView picture, const SlicePlace& place, const AVFrame& into,
                                      int slot) const {
    const std::int64_t sliceWidth = 16 * place.macroblocks;
    const std::int64_t columns = std::min(sliceWidth, width_ - place.x);
    const std::int64_t lines = std::min<std::int64_t>(kSliceLines, height_ - place.y);
    const PixelBufferView source{picture.row(place.y) + place.x * 4, columns, lines, picture.bytesPerRow};
    converter_.convert(source, planesOf(into, slot * kSliceLines), 0, lines);
    if (columns == sliceWidth && lines == kSliceLines) return;
    for (int p = 0; p < 4; ++p) {
        auto* first = reinterpret_cast<std::uint16_t*>(into.data[p] + std::ptrdiff_t(slot) * kSliceLines * into.linesize[p]);
        const std::ptrdiff_t stride = into.linesize[p] / 2;
        for (std::int64_t line = 0; line < lines; ++line) {
            std::uint16_t* row = first + line * stride;
            std::fill(row + columns, row + sliceWidth, row[columns - 1]);
        }
        for (std::int64_t line = lines; line < kSliceLines; ++line) {
            std::copy(first + (lines - 1) * stride, first + (lines - 1) * stride + sliceWidth, first + line * stride);
        }
    }
}

std::vector<std::uint8_t> ProResSliceEncoder::codeAndRepair(AVCodecContext& encoder, AVFrame& frame) {
    int code = avcodec_send_frame(&encoder, &frame);
    if (code >= 0) code = avcodec_receive_packet(&encoder, packet_.get());
    if (code < 0) {
        throw TelemetryVideoExportError::writerFailed(
            ffmpeg::failureText(TelemetryVideoExportError::appendFailedText, code));
    }
    ffmpeg::PacketReference release(packet_.get());
    return ProResFrameRepair::repair(std::span(packet_->data, std::size_t(packet_->size)));
}

}  // namespace pacemark
