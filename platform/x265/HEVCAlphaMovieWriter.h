#pragma once

#include "HEVCAlphaStreamEncoder.h"
#include "QuickTimeHEVCMuxer.h"

#include <filesystem>
#include <memory>

namespace pacemark {

// Writes premultiplied BGRA frames as a QuickTime movie with two-layer HEVC
// (colour + alpha). Frames are appended in presentation order, one per
// 1/fps. Not thread-safe; one thread drives it from start to finish.
//
// On any failure, and when destroyed before finish(), the writer closes and
// deletes the file it was writing, so a failed export leaves no movie that
// looks complete but decodes wrong.
class HEVCAlphaMovieWriter {
public:
    HEVCAlphaMovieWriter(const std::filesystem::path& path, const HEVCAlphaEncoderSettings& settings);
    ~HEVCAlphaMovieWriter();
    HEVCAlphaMovieWriter(const HEVCAlphaMovieWriter&) = delete;
    HEVCAlphaMovieWriter& operator=(const HEVCAlphaMovieWriter&) = delete;

    void appendFrame(const PixelBufferView& frame);
    void finish();
    // Stops writing and deletes the partial file. Never throws.
    void cancel() noexcept;

    std::int64_t framesAppended() const { return framesAppended_; }

private:
    void writeAccessUnits(const std::vector<HEVCLayeredAccessUnit>& units);
    template <typename Step>
    void guarded(Step&& step);

    std::filesystem::path path_;
    HEVCAlphaEncoderSettings settings_;
    std::unique_ptr<HEVCAlphaStreamEncoder> encoder_;
    std::unique_ptr<QuickTimeHEVCMuxer> muxer_;
    std::vector<std::uint8_t> sample_;
    std::int64_t framesAppended_ = 0;
    bool finished_ = false;
    bool cancelled_ = false;
};

}  // namespace pacemark
