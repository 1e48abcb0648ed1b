// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Export/MovieWriter.h"
#include "FFmpegHandles.h"
#include "ProResSliceEncoder.h"
#include "ProResWriterOptions.h"
#include "QuickTimeProResWriter.h"

namespace pacemark {

// Writes ProRes 4444 with 8-bit alpha ('ap4h', vendor 'apl0') into a
// QuickTime movie, BT.709 tagged, limited range; the sample entry carries
// depth 32, 'colr', 'fiel' (progressive) and 'pasp' (1:1). Every coded frame
// is repaired before it is written, as the system's encoder leaves faults in
// frames with alpha that strict decoders reject; a frame that cannot be
// parsed fails the export.
//
// Pictures are converted, encoded and written on a thread of the writer, so
// the caller draws the next picture while the previous one is encoded; only
// the slices that changed since the previous picture are encoded
// (ProResSliceEncoder). ProRes frames are coded independently, so a repeat
// writes the previous coded frame again without encoding. Memory is bounded by the picture pool, the queue and
// the container's index (a few dozen bytes per frame).
class FFmpegProResMovieWriter final : public MovieWriter {
public:
    // Opens the encoder; throws TelemetryVideoExportError::cannotAddVideoInput
    // when the size cannot be coded or the encoder is missing. Creates no file.
    explicit FFmpegProResMovieWriter(MovieWriterSettings settings, ProResWriterOptions options = {});
    ~FFmpegProResMovieWriter() override;

    void startWriting() override;
    bool isReadyForMoreMediaData() const override;
    PixelBufferView makePixelBuffer() override;
    void append(PixelBufferView buffer, std::int64_t frameIndex) override;
    void appendRepeat(std::int64_t frameIndex) override;
    void finish() override;
    void cancel() noexcept override;

private:
    struct Job {
        std::int64_t frameIndex;
        int pictureIndex;  // -1 for a repeat of the previous coded frame
    };

    void enqueue(Job job);
    void throwPendingError();
    void runWorker();
    // Codes the picture (repaired, see ProResSliceEncoder) into lastCoded_
    // and writes it.
    void encodePicture(int pictureIndex, std::int64_t frameIndex);
    void writeCodedFrame(const AVPacket& coded, std::int64_t frameIndex);
    void stopWorker() noexcept;

    MovieWriterSettings settings_;
    ProResWriterOptions options_;
    std::unique_ptr<ProResSliceEncoder> encoder_;
    ffmpeg::OutputFormatHandle container_;
    std::unique_ptr<ffmpeg::QuickTimeProResWriter> compactFile_;  // instead of container_ when options_.compact
    AVStream* stream_ = nullptr;
    ffmpeg::PacketHandle lastCoded_;  // the previous coded frame, reused for repeats
    ffmpeg::PacketHandle outgoing_;

    std::vector<std::vector<std::uint8_t>> pictures_;
    std::int64_t bytesPerRow_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    std::vector<int> freePictures_;
    int handedOut_ = -1;
    std::exception_ptr error_;
    bool closing_ = false;  // no more jobs will come
    bool abandon_ = false;  // drop queued jobs
    std::thread worker_;

    bool started_ = false;
    bool done_ = false;
};

}  // namespace pacemark
