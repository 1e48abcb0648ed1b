// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Export/MovieWriter.h"
#include "HEVCAlphaStreamEncoder.h"
#include "QuickTimeHEVCMuxer.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace pacemark {

// The MovieWriter for HEVC with alpha: premultiplied BGRA frames become a
// QuickTime movie with two-layer HEVC (colour + alpha), see
// HEVCAlphaStreamEncoder and QuickTimeHEVCMuxer.
//
// Encoding runs inside append(): the two layers side by side, each encoder
// on its own worker threads. A repeat is not encoded: it becomes a skip
// picture in both layers (a few dozen bytes, not a sync sample), except when
// the key-frame interval needs a key frame there (HEVCAlphaStreamEncoder).
// Memory is one picture, the two encoders' lookahead and the container's
// index.
//
// A failure (including encodes that disagree) cancels the writer: the
// partial file is removed before the error reaches the caller.
class HEVCAlphaMovieWriter final : public MovieWriter {
public:
    // Opens both encoders; throws HEVCAlphaEncodingError when the size or
    // the settings cannot be encoded. Creates no file.
    HEVCAlphaMovieWriter(std::filesystem::path path, const HEVCAlphaEncoderSettings& settings);
    ~HEVCAlphaMovieWriter() override;

    void startWriting() override;
    bool isReadyForMoreMediaData() const override { return true; }
    PixelBufferView makePixelBuffer() override;
    void append(PixelBufferView buffer, std::int64_t frameIndex) override;
    void appendRepeat(std::int64_t frameIndex) override;
    void finish() override;
    void cancel() noexcept override;

private:
    enum class State { created, writing, finished, cancelled };

    void checkNextFrame(std::int64_t frameIndex, const char* failureText);
    void writeAccessUnit(const HEVCLayeredAccessUnit& unit);
    template <typename Step>
    void guarded(const char* failureText, Step&& step);

    std::filesystem::path path_;
    HEVCAlphaEncoderSettings settings_;
    std::unique_ptr<HEVCAlphaStreamEncoder> encoder_;
    std::unique_ptr<QuickTimeHEVCMuxer> muxer_;
    std::vector<std::uint8_t> picture_;
    std::vector<std::uint8_t> sample_;
    std::int64_t nextFrameIndex_ = 0;
    State state_ = State::created;
};

// Opens HEVCAlphaMovieWriters for hevcWithAlpha requests. Hand it to the
// FFmpeg writer factory, which forwards HEVC requests to it.
class X265MovieWriterFactory final : public MovieWriterFactory {
public:
    std::unique_ptr<MovieWriter> makeWriter(const MovieWriterSettings& settings) const override;
};

}  // namespace pacemark
