// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "FFmpegHandles.h"
#include "Telemetry/FrameRate.h"

namespace pacemark {

// Writes one HEVC video track into a QuickTime movie through libavformat.
// The caller provides the complete hvcC record (it becomes the stream's
// extradata and is written into an 'hvc1' sample entry unchanged) and
// samples already in 4-byte length-prefixed form, which also pass through
// unchanged. Times are in frames: frame i is at i × D / N seconds of the
// rate N/D (time base D/N) and lasts D/N. The file is opened as a
// file whatever its name holds, and every write is checked. Errors throw
// HEVCAlphaEncodingError (muxingFailed) with a Russian text.
class QuickTimeHEVCMuxer {
public:
    // `frameRate` is known, with terms within an int.
    QuickTimeHEVCMuxer(const std::filesystem::path& path, int width, int height, FrameRate frameRate,
                       const std::vector<std::uint8_t>& decoderConfigurationRecord);
    ~QuickTimeHEVCMuxer();
    QuickTimeHEVCMuxer(const QuickTimeHEVCMuxer&) = delete;
    QuickTimeHEVCMuxer& operator=(const QuickTimeHEVCMuxer&) = delete;

    // Every sample gets a duration of one frame, so that the last frame
    // keeps its time in the edit list.
    void writeSample(const std::vector<std::uint8_t>& sample, std::int64_t presentationIndex,
                     std::int64_t decodeIndex, bool keyFrame);
    // Writes the index (moov) and closes the file.
    void finish();

private:
    ffmpeg::OutputFormatHandle context_;
    ffmpeg::PacketHandle packet_;
    AVStream* stream_ = nullptr;
    AVRational frameDuration_;
    bool finished_ = false;
};

}  // namespace pacemark
