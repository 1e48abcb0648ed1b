// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/RecordingMovieWriter.h"

#include <filesystem>
#include <string>
#include <system_error>

#include "Export/TelemetryVideoExportError.h"

namespace pacemark {
namespace {

// "30" for a whole rate, "30000/1001" for any other.
std::string rateText(const FrameRate& rate) {
    return rate.isWhole() ? std::to_string(rate.numerator()) : rate.text();
}

}  // namespace

RecordingMovieWriter::RecordingMovieWriter(MovieWriterSettings settings,
                                           std::shared_ptr<MovieWriterRecording> recording,
                                           MovieWriterRecordingScript script)
    : settings_(std::move(settings)), recording_(std::move(recording)), script_(std::move(script)) {
    recording_->openedSettings.push_back(settings_);
}

RecordingMovieWriter::~RecordingMovieWriter() {
    if (started_ && !done_) cancel();
}

void RecordingMovieWriter::startWriting() {
    file_.open(settings_.file, std::ios::binary | std::ios::trunc);
    if (!file_ || script_.failsToStart) {
        cancel();
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::startFailedText);
    }
    started_ = true;
    recording_->started = true;
    file_ << "movie " << settings_.width << "x" << settings_.height << " @" << rateText(settings_.frameRate) << "\n";
    pollsLeft_ = script_.notReadyPollsPerFrame;
}

bool RecordingMovieWriter::isReadyForMoreMediaData() const {
    if (pollsLeft_ > 0) {
        --pollsLeft_;
        return false;
    }
    return true;
}

PixelBufferView RecordingMovieWriter::makePixelBuffer() {
    const std::int64_t bytesPerRow = settings_.width * 4;
    pixels_.assign(static_cast<std::size_t>(bytesPerRow * settings_.height), 0xA5);  // not cleared on purpose
    return {pixels_.data(), settings_.width, settings_.height, bytesPerRow};
}

std::uint64_t RecordingMovieWriter::pictureHash(PixelBufferView picture) {
    std::uint64_t hash = 1469598103934665603ull;
    for (std::int64_t y = 0; y < picture.height; ++y) {
        const std::uint8_t* row = picture.row(y);
        for (std::int64_t x = 0; x < picture.width * 4; ++x) hash = (hash ^ row[x]) * 1099511628211ull;
    }
    return hash;
}

void RecordingMovieWriter::record(MovieWriterRecording::Frame frame) {
    if (script_.failsAppendingFrame == frame.frameIndex) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    }
    recording_->frames.push_back(frame);
    file_ << (frame.isRepeat ? "repeat " : "frame ") << frame.frameIndex << " " << frame.pictureHash << "\n";
    if (!file_) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    pollsLeft_ = script_.notReadyPollsPerFrame;
    if (script_.onAppend) script_.onAppend(frame.frameIndex);
}

void RecordingMovieWriter::append(PixelBufferView buffer, std::int64_t frameIndex) {
    lastHash_ = pictureHash(buffer);
    record({frameIndex, false, *lastHash_});
}

void RecordingMovieWriter::appendRepeat(std::int64_t frameIndex) {
    if (!lastHash_) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    record({frameIndex, true, *lastHash_});
}

void RecordingMovieWriter::finish() {
    file_ << "end\n";
    file_.close();
    if (script_.failsToFinish || file_.fail()) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::finishFailedText);
    }
    done_ = true;
    recording_->finished = true;
}

void RecordingMovieWriter::cancel() noexcept {
    if (done_ && recording_->finished) return;
    done_ = true;
    recording_->cancelled = true;
    file_.close();
    std::error_code ignored;
    std::filesystem::remove(settings_.file, ignored);
}

RecordingMovieWriterFactory::RecordingMovieWriterFactory(MovieWriterRecordingScript script)
    : recording_(std::make_shared<MovieWriterRecording>()), script_(std::move(script)) {}

std::unique_ptr<MovieWriter> RecordingMovieWriterFactory::makeWriter(const MovieWriterSettings& settings) const {
    return std::make_unique<RecordingMovieWriter>(settings, recording_, script_);
}

}  // namespace pacemark
