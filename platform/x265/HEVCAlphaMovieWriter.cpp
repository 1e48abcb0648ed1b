#include "HEVCAlphaMovieWriter.h"

#include "HEVCAlphaEncodingError.h"
#include "HEVCDecoderConfigurationRecord.h"

#include <system_error>

namespace pacemark {

HEVCAlphaMovieWriter::HEVCAlphaMovieWriter(const std::filesystem::path& path, const HEVCAlphaEncoderSettings& settings)
    : path_(path), settings_(settings) {
    encoder_ = std::make_unique<HEVCAlphaStreamEncoder>(settings);
    const auto record = hevcMakeDecoderConfigurationRecord(encoder_->baseSequenceParameterSet(), encoder_->parameterSets());
    // The muxer removes its own file when it cannot start it.
    muxer_ = std::make_unique<QuickTimeHEVCMuxer>(path, settings.width, settings.height, settings.framesPerSecond, record);
}

HEVCAlphaMovieWriter::~HEVCAlphaMovieWriter() {
    if (!finished_) cancel();
}

template <typename Step>
void HEVCAlphaMovieWriter::guarded(Step&& step) {
    if (finished_ || cancelled_) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::muxingFailed,
                                     "Видеозапись HEVC с альфой уже завершена.");
    }
    try {
        step();
    } catch (...) {
        cancel();
        throw;
    }
}

void HEVCAlphaMovieWriter::appendFrame(const PixelBufferView& frame) {
    guarded([&] {
        writeAccessUnits(encoder_->encode(frame));
        ++framesAppended_;
    });
}

void HEVCAlphaMovieWriter::finish() {
    guarded([&] {
        writeAccessUnits(encoder_->finish());
        muxer_->finish();
    });
    finished_ = true;
}

void HEVCAlphaMovieWriter::writeAccessUnits(const std::vector<HEVCLayeredAccessUnit>& units) {
    for (const HEVCLayeredAccessUnit& unit : units) {
        sample_.clear();
        for (const HEVCNalUnit& nal : unit.nalUnits) {
            const auto bytes = nal.serialize();
            const auto size = static_cast<std::uint32_t>(bytes.size());
            for (int shift = 24; shift >= 0; shift -= 8) sample_.push_back(static_cast<std::uint8_t>(size >> shift));
            sample_.insert(sample_.end(), bytes.begin(), bytes.end());
        }
        muxer_->writeSample(sample_, unit.presentationIndex, unit.decodeIndex, unit.randomAccessPoint);
    }
}

void HEVCAlphaMovieWriter::cancel() noexcept {
    if (cancelled_ || finished_) return;
    cancelled_ = true;
    encoder_.reset();
    if (!muxer_) return;  // no file of ours exists
    muxer_.reset();  // closes the file without writing the index
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

}  // namespace pacemark
