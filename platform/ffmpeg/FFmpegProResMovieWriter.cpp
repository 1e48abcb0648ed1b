// SPDX-License-Identifier: GPL-3.0-or-later
#include "FFmpegProResMovieWriter.h"

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>

#include "Export/TelemetryExportSettings.h"
#include "Export/TelemetryVideoExportError.h"
#include "FFmpegFile.h"
#include "MovieCheck/ProResFrame.h"

namespace pacemark {
namespace {

// How many frames the caller may queue ahead of the encoder.
constexpr std::size_t kMaxQueuedJobs = 64;

// The text of a failed step: the fixed text, with the operating system's
// reason when FFmpeg's code carries one ("...: на диске нет места.").
TelemetryVideoExportError stepFailure(std::string fixedText, int code) {
    return TelemetryVideoExportError::writerFailed(ffmpeg::failureText(std::move(fixedText), code));
}

}  // namespace

FFmpegProResMovieWriter::FFmpegProResMovieWriter(MovieWriterSettings settings, ProResWriterOptions options)
    : settings_(std::move(settings)), options_(options) {
    // The limits are the codec table's, read through the export settings
    // (validated before an export starts); a picture past them would only
    // fail after the first frame. Tests open smaller pictures than the
    // settings offer, so the lower limit is only the encoder's.
    const TelemetryVideoCodec codec = settings_.codec;
    const std::int64_t maximumSide = TelemetryExportSettings::maximumSidePixels(codec);
    if (codec != TelemetryVideoCodec::proRes4444 || settings_.width < 1 || settings_.height < 1 ||
        settings_.width > maximumSide || settings_.height > maximumSide ||
        !TelemetryExportSettings::acceptsSize(codec, settings_.width, settings_.height) ||
        !settings_.frameRate.isKnown() || settings_.frameRate.numerator() > 0x7FFFFFFF ||
        settings_.frameRate.denominator() > 0x7FFFFFFF ||
        settings_.frameRate.numerator() < settings_.frameRate.denominator() ||
        settings_.frameRate.numerator() > MovieWriterSettings::maximumFramesPerSecond * settings_.frameRate.denominator() ||
        options_.pictureBuffers < 1) {
        throw TelemetryVideoExportError::cannotAddVideoInput();
    }
    encoder_ = std::make_unique<ProResSliceEncoder>(settings_.width, settings_.height, settings_.frameRate,
                                                    options_);
    lastCoded_.reset(av_packet_alloc());
    outgoing_.reset(av_packet_alloc());
    if (!lastCoded_ || !outgoing_) throw TelemetryVideoExportError::cannotCreatePixelBuffer();

    bytesPerRow_ = settings_.width * 4;
    pictures_.resize(static_cast<std::size_t>(options_.pictureBuffers));
    for (int i = 0; i < options_.pictureBuffers; ++i) {
        pictures_[std::size_t(i)].resize(static_cast<std::size_t>(bytesPerRow_ * settings_.height));
        freePictures_.push_back(i);
    }
}

FFmpegProResMovieWriter::~FFmpegProResMovieWriter() {
    if (started_ && !done_) cancel();
    stopWorker();
}

void FFmpegProResMovieWriter::startWriting() {
    if (options_.compact) {
        started_ = true;  // from here a failure removes what was created
        try {
            compactFile_ = std::make_unique<ffmpeg::QuickTimeProResWriter>(
                settings_.file, int(settings_.width), int(settings_.height), settings_.frameRate);
        } catch (...) {
            cancel();
            throw;
        }
        worker_ = std::thread([this] { runWorker(); });
        return;
    }
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, "mov", nullptr) < 0 || !raw) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::startFailedText);
    }
    container_.reset(raw);
    stream_ = avformat_new_stream(raw, nullptr);
    if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, &encoder_->encoder()) < 0) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::startFailedText);
    }
    stream_->codecpar->codec_tag = MKTAG('a', 'p', '4', 'h');
    stream_->codecpar->bits_per_coded_sample = 32;  // the sample description's depth: colour with alpha
    // A known field order makes the muxer write 'fiel' (one field); strict
    // readers expect it beside 'colr' and 'pasp'.
    stream_->codecpar->field_order = AV_FIELD_PROGRESSIVE;
    stream_->time_base = encoder_->encoder().time_base;
    stream_->avg_frame_rate = encoder_->encoder().framerate;

    started_ = true;  // from here a failure removes what was created
    int code = ffmpeg::openOutputFile(*raw, settings_.file);
    if (code >= 0) code = ffmpeg::checkedWrite(*raw, avformat_write_header(raw, nullptr));
    if (code < 0) {
        cancel();
        throw stepFailure(TelemetryVideoExportError::startFailedText, code);
    }
    worker_ = std::thread([this] { runWorker(); });
}

bool FFmpegProResMovieWriter::isReadyForMoreMediaData() const {
    std::lock_guard lock(mutex_);
    return error_ || (!freePictures_.empty() && jobs_.size() < kMaxQueuedJobs);
}

PixelBufferView FFmpegProResMovieWriter::makePixelBuffer() {
    std::unique_lock lock(mutex_);
    if (!worker_.joinable() || handedOut_ >= 0) return {};
    changed_.wait(lock, [&] { return error_ || !freePictures_.empty(); });
    if (error_) std::rethrow_exception(error_);
    handedOut_ = freePictures_.back();
    freePictures_.pop_back();
    return {pictures_[std::size_t(handedOut_)].data(), settings_.width, settings_.height, bytesPerRow_};
}

void FFmpegProResMovieWriter::append(PixelBufferView buffer, std::int64_t frameIndex) {
    int picture = -1;
    {
        std::lock_guard lock(mutex_);
        if (handedOut_ < 0 || buffer.data != pictures_[std::size_t(handedOut_)].data()) {
            throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
        }
        picture = handedOut_;
        handedOut_ = -1;
    }
    enqueue({frameIndex, picture});
}

void FFmpegProResMovieWriter::appendRepeat(std::int64_t frameIndex) { enqueue({frameIndex, -1}); }

void FFmpegProResMovieWriter::enqueue(Job job) {
    {
        std::lock_guard lock(mutex_);
        if (error_) {
            if (job.pictureIndex >= 0) freePictures_.push_back(job.pictureIndex);
            std::rethrow_exception(error_);
        }
        // The index of both containers holds no more (validated before export).
        if (job.frameIndex >= TelemetryExportSettings::maximumFrameCount) {
            if (job.pictureIndex >= 0) freePictures_.push_back(job.pictureIndex);
            throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
        }
        if (!worker_.joinable() || closing_) {
            throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
        }
        jobs_.push_back(job);
    }
    changed_.notify_all();
}

void FFmpegProResMovieWriter::runWorker() {
    for (;;) {
        Job job{};
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return abandon_ || closing_ || !jobs_.empty(); });
            if (abandon_ || jobs_.empty()) return;
            job = jobs_.front();
            jobs_.pop_front();
            if (error_) {
                // After a failure the queue is only drained, to free its pictures.
                if (job.pictureIndex >= 0) freePictures_.push_back(job.pictureIndex);
                changed_.notify_all();
                continue;
            }
        }
        std::exception_ptr failure;
        try {
            if (job.pictureIndex >= 0) {
                encodePicture(job.pictureIndex, job.frameIndex);
            } else if (compactFile_) {
                compactFile_->writeRepeat();
            } else {
                writeCodedFrame(*lastCoded_, job.frameIndex);
            }
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            if (failure && !error_) error_ = failure;
            if (job.pictureIndex >= 0) freePictures_.push_back(job.pictureIndex);
        }
        changed_.notify_all();
    }
}

void FFmpegProResMovieWriter::encodePicture(int pictureIndex, std::int64_t frameIndex) {
    const PixelBufferView picture{pictures_[std::size_t(pictureIndex)].data(), settings_.width, settings_.height,
                                  bytesPerRow_};
    std::span<const std::uint8_t> repaired;
    try {
        repaired = encoder_->encode(picture);
    } catch (const ProResFormatError& error) {
        throw TelemetryVideoExportError::writerFailed("Кодировщик ProRes выдал кадр, который не удалось разобрать (" +
                                                      error.errorDescription() + "); видео не записано.");
    }
    av_packet_unref(lastCoded_.get());
    if (av_new_packet(lastCoded_.get(), int(repaired.size())) < 0) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    }
    std::copy(repaired.begin(), repaired.end(), lastCoded_->data);
    writeCodedFrame(*lastCoded_, frameIndex);
}

void FFmpegProResMovieWriter::writeCodedFrame(const AVPacket& coded, std::int64_t frameIndex) {
    if (compactFile_ && coded.size > 0) return compactFile_->writeSample(coded.data, std::size_t(coded.size));
    if (coded.size <= 0 || av_packet_ref(outgoing_.get(), &coded) < 0) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    }
    ffmpeg::PacketReference release(outgoing_.get());
    outgoing_->pts = frameIndex;
    outgoing_->dts = frameIndex;
    outgoing_->duration = 1;
    outgoing_->stream_index = stream_->index;
    outgoing_->flags |= AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(outgoing_.get(), encoder_->encoder().time_base, stream_->time_base);
    const int code = ffmpeg::checkedWrite(*container_, av_write_frame(container_.get(), outgoing_.get()));
    if (code < 0) throw stepFailure(TelemetryVideoExportError::appendFailedText, code);
}

void FFmpegProResMovieWriter::finish() {
    if (!worker_.joinable() || done_) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::finishFailedText);
    }
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    worker_.join();
    if (error_) {
        const std::exception_ptr failure = error_;
        cancel();
        std::rethrow_exception(failure);
    }
    if (compactFile_) {
        try {
            compactFile_->finish();
        } catch (...) {
            cancel();
            throw;
        }
        done_ = true;
        return;
    }
    const int code = ffmpeg::finishOutputFile(*container_);
    if (code < 0) {
        cancel();
        throw stepFailure(TelemetryVideoExportError::finishFailedText, code);
    }
    container_.reset();
    done_ = true;
}

void FFmpegProResMovieWriter::stopWorker() noexcept {
    {
        std::lock_guard lock(mutex_);
        abandon_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void FFmpegProResMovieWriter::cancel() noexcept {
    if (done_) return;
    done_ = true;
    stopWorker();
    container_.reset();  // closes the file without completing it
    compactFile_.reset();
    if (started_) {
        std::error_code ignored;
        std::filesystem::remove(settings_.file, ignored);
    }
}

}  // namespace pacemark
