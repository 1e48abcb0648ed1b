// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaMovieWriter.h"

#include "Export/TelemetryVideoExportError.h"
#include "HEVCAlphaEncodingError.h"
#include "HEVCDecoderConfigurationRecord.h"

#include <system_error>

namespace pacemark {

HEVCAlphaMovieWriter::HEVCAlphaMovieWriter(std::filesystem::path path, const HEVCAlphaEncoderSettings& settings)
    : path_(std::move(path)), settings_(settings), encoder_(std::make_unique<HEVCAlphaStreamEncoder>(settings)) {
    picture_.resize(static_cast<std::size_t>(settings.width) * static_cast<std::size_t>(settings.height) * 4);
}

HEVCAlphaMovieWriter::~HEVCAlphaMovieWriter() { cancel(); }

template <typename Step>
void HEVCAlphaMovieWriter::guarded(const char* failureText, Step&& step) {
    if (state_ != State::writing) throw TelemetryVideoExportError::writerFailed(failureText);
    try {
        step();
    } catch (...) {
        cancel();
        throw;
    }
}

void HEVCAlphaMovieWriter::startWriting() {
    if (state_ != State::created) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::startFailedText);
    const auto record = hevcMakeDecoderConfigurationRecord(encoder_->baseSequenceParameterSet(), encoder_->parameterSets());
    // The muxer removes its own file when it cannot start it.
    muxer_ = std::make_unique<QuickTimeHEVCMuxer>(path_, settings_.width, settings_.height, settings_.frameRate, record);
    state_ = State::writing;
}

PixelBufferView HEVCAlphaMovieWriter::makePixelBuffer() {
    if (state_ != State::writing) return {};
    return PixelBufferView{picture_.data(), settings_.width, settings_.height, std::int64_t{settings_.width} * 4};
}

void HEVCAlphaMovieWriter::checkNextFrame(std::int64_t frameIndex, const char* failureText) {
    // Every sample lasts one frame, so frames must come without gaps.
    if (frameIndex != nextFrameIndex_) throw TelemetryVideoExportError::writerFailed(failureText);
    ++nextFrameIndex_;
}

void HEVCAlphaMovieWriter::append(PixelBufferView buffer, std::int64_t frameIndex) {
    guarded(TelemetryVideoExportError::appendFailedText, [&] {
        checkNextFrame(frameIndex, TelemetryVideoExportError::appendFailedText);
        writeAccessUnit(encoder_->encode(buffer));
    });
}

void HEVCAlphaMovieWriter::appendRepeat(std::int64_t frameIndex) {
    guarded(TelemetryVideoExportError::appendFailedText, [&] {
        if (frameIndex == 0) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
        checkNextFrame(frameIndex, TelemetryVideoExportError::appendFailedText);
        writeAccessUnit(encoder_->encodeRepeat());
    });
}

void HEVCAlphaMovieWriter::finish() {
    guarded(TelemetryVideoExportError::finishFailedText, [&] {
        if (nextFrameIndex_ == 0) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::finishFailedText);
        muxer_->finish();
    });
    state_ = State::finished;
}

void HEVCAlphaMovieWriter::writeAccessUnit(const HEVCLayeredAccessUnit& unit) {
    sample_.clear();
    for (const HEVCNalUnit& nal : unit.nalUnits) {
        const auto bytes = nal.serialize();
        const auto size = static_cast<std::uint32_t>(bytes.size());
        for (int shift = 24; shift >= 0; shift -= 8) sample_.push_back(static_cast<std::uint8_t>(size >> shift));
        sample_.insert(sample_.end(), bytes.begin(), bytes.end());
    }
    muxer_->writeSample(sample_, unit.presentationIndex, unit.decodeIndex, unit.randomAccessPoint);
}

void HEVCAlphaMovieWriter::cancel() noexcept {
    if (state_ == State::finished || state_ == State::cancelled) return;
    const bool fileCreated = state_ == State::writing;
    state_ = State::cancelled;
    encoder_.reset();
    muxer_.reset();  // closes the file without writing the index
    if (fileCreated) {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
}

std::unique_ptr<MovieWriter> X265MovieWriterFactory::makeWriter(const MovieWriterSettings& settings) const {
    if (settings.codec != TelemetryVideoCodec::hevcWithAlpha || !settings.hevc) {
        throw TelemetryVideoExportError::cannotAddVideoInput();
    }
    return std::make_unique<HEVCAlphaMovieWriter>(settings.file, HEVCAlphaEncoderSettings::fromMovieWriterSettings(settings));
}

}  // namespace pacemark
