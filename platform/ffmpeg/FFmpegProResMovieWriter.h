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
#include "ProResPictureConverter.h"
#include "QuickTimeProResWriter.h"

namespace pacemark {

// Tuning of the ProRes writer; the defaults are what exports use.
struct ProResWriterOptions {
    // Fixed quantiser (1 best ... 31), or 0 for the encoder's own per-slice
    // rate search. On rendered 1080p overlay frames the rate search settles on
    // quantiser 1 anyway (the same bytes: about 250 kB a frame, 82 dB PSNR of
    // the grey composite) but takes several times longer to get there, so the
    // writer asks for 1 directly.
    int quantiser = 1;
    // Bits of the coded alpha plane, 8 or 16. The renderer's alpha has 8
    // bits, so 8 is lossless, and it halves the alpha data: 10-45 % fewer
    // bytes per 1080p frame across the presets (cinematicHud 1177 -> 647 kB).
    int alphaBits = 8;
    int encoderThreads = 2;  // slice threads of the encoder
    int pictureBuffers = 3;  // pictures that may be in flight (drawn, queued, encoding)
    // Store a repeated frame once and point every repeat at it in the
    // sample table (QuickTimeProResWriter) instead of writing it again.
    bool compact = false;
};

// Writes ProRes 4444 with 8-bit alpha ('ap4h', vendor 'apl0') into a
// QuickTime movie, BT.709 tagged, limited range; the sample entry carries
// depth 32, 'colr', 'fiel' (progressive) and 'pasp' (1:1). Every coded frame
// is repaired before it is written, as the system's encoder leaves faults in
// frames with alpha that strict decoders reject; a frame that cannot be
// parsed fails the export.
//
// Pictures are converted, encoded and written on a thread of the writer, so
// the caller draws the next picture while the previous one is encoded. ProRes
// frames are coded independently, so a repeat writes the previous coded frame
// again without encoding. Memory is bounded by the picture pool, the queue and
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
    void encodePicture(int pictureIndex, std::int64_t frameIndex);
    // Keeps the encoder's frame, mended for strict decoders (see
    // ProResFrameRepair), as lastCoded_: every copy written is repaired.
    void repairCodedFrame(const AVPacket& coded);
    void writeCodedFrame(const AVPacket& coded, std::int64_t frameIndex);
    void stopWorker() noexcept;

    MovieWriterSettings settings_;
    ProResWriterOptions options_;
    ProResPictureConverter converter_;
    ffmpeg::CodecContextHandle encoder_;
    ffmpeg::OutputFormatHandle container_;
    std::unique_ptr<ffmpeg::QuickTimeProResWriter> compactFile_;  // instead of container_ when options_.compact
    AVStream* stream_ = nullptr;
    ffmpeg::FrameHandle frame_;
    ffmpeg::PacketHandle encoded_;
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
