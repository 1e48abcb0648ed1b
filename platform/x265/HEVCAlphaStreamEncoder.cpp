// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaStreamEncoder.h"

#include "HEVCAlphaEncodingError.h"

#include "HEVCBitReader.h"

#include <algorithm>
#include <future>

namespace pacemark {
namespace {

X265Encoder::Options concatenated(X265Encoder::Options options, const X265Encoder::Options& more) {
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

}  // namespace

HEVCAlphaEncoderSettings HEVCAlphaEncoderSettings::fromMovieWriterSettings(const MovieWriterSettings& writer) {
    // The largest side is the codec table's; the smallest is the encoder's
    // own business (tests write pictures below the settings' 64).
    const std::int64_t largestSide = writer.codec.row().maximumSidePixels;
    if (writer.width <= 0 || writer.height <= 0 || writer.width > largestSide || writer.height > largestSide) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::unsupportedSize,
                                     "Размер кадра " + std::to_string(writer.width) + "×" + std::to_string(writer.height) +
                                         " не подходит для HEVC с альфой.");
    }
    const MovieWriterHEVCSettings hevc = writer.hevc.value_or(MovieWriterHEVCSettings{});
    if (!hevc.premultipliedAlpha) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::encoderFailed,
                                     "HEVC с альфой записывается только с премультиплицированным цветом.");
    }
    HEVCAlphaEncoderSettings settings;
    settings.width = static_cast<int>(writer.width);
    settings.height = static_cast<int>(writer.height);
    const FrameRate rate = writer.frameRate;
    if (rate.numerator() > MovieWriterSettings::maximumFramesPerSecond * rate.denominator() ||
        rate.numerator() > 0x7FFFFFFF || rate.denominator() > 0x7FFFFFFF) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::encoderFailed,
                                     "Частота " + rate.title() +
                                         " кадров в секунду не подходит для HEVC с альфой (не больше " +
                                         std::to_string(MovieWriterSettings::maximumFramesPerSecond) + ").");
    }
    settings.frameRate = rate.isKnown() ? rate : FrameRate(1);
    settings.averageBitRate = std::max<std::int64_t>(hevc.averageBitRateBitsPerSecond, 1000);
    settings.maxKeyFrameInterval = static_cast<int>(std::clamp<std::int64_t>(hevc.maxKeyFrameIntervalFrames, 1, 10000));
    return settings;
}

X265Encoder::Options HEVCAlphaEncoderSettings::sharedOptions() const {
    return {
        // x265 writes the rate into the SPS's timing information
        // (num_units_in_tick D, time_scale N); a whole rate as the plain
        // number it always was.
        {"fps", frameRate.isWhole() ? std::to_string(frameRate.numerator()) : frameRate.text()},
        // x265 codes only IDR pictures, each on the call that feeds it (no
        // lookahead, one frame thread, no B pictures): the update pictures
        // that follow need its reconstruction at once. The stream encoder
        // decides every picture's type; no GOP or scene cuts of x265's own.
        {"keyint", "-1"},
        {"scenecut", "0"},
        {"hist-scenecut", "0"},
        {"open-gop", "0"},
        {"radl", "0"},
        {"bframes", "0"},
        {"rc-lookahead", "0"},
        {"frame-threads", "1"},
        // A constant quantiser, forced per picture by the stream encoder,
        // spares the frame-cost estimates that rate control would need.
        {"qp", std::to_string(quantiser)},
        // The update pictures refer to one previous picture, no temporal
        // motion vectors; wavefront entry points would need their own layout
        // in every update slice.
        {"ref", "1"},
        {"temporal-mvp", "0"},
        {"wpp", "0"},
        // No SEI besides ours, parameter sets only in the sample description.
        {"info", "0"},
        {"hash", "0"},
        {"repeat-headers", "0"},
        {"aud", "0"},
        {"hrd", "0"},
        {"opt-qp-pps", "0"},
        {"opt-ref-list-length-pps", "0"},
        {"annexb", "1"},
        {"range", "limited"},
        {"colorprim", "bt709"},
        {"transfer", "bt709"},
        {"colormatrix", "bt709"},
        // Coding units of 64x64 and 32x32 only: an overlay is flat panels
        // and sharp text, where searching the smaller units took half of all
        // the intra pictures' time for no visible gain.
        {"ctu", "64"},
        {"min-cu-size", "32"},
        // Psychovisual rate-distortion preserves film grain, which the
        // renderer never draws. At these quantisers the deblocking filter
        // changes no error that shows and costs every decode; the update
        // pictures are reconstructed without it. One merge candidate is the
        // zero vector the update pictures rely on.
        {"psy-rd", "0"},
        {"deblock", "false"},
        {"max-merge", "1"},
    };
}

namespace {

HEVCUpdatePictureWriter makeUpdateWriter(const std::vector<HEVCNalUnit>& headers, std::uint32_t parameterSetId, int layerId) {
    const std::vector<std::uint8_t>* sps = nullptr;
    const std::vector<std::uint8_t>* pps = nullptr;
    for (const HEVCNalUnit& unit : headers) {
        if (unit.type == HEVCNalType::sps) sps = &unit.rbsp;
        if (unit.type == HEVCNalType::pps) pps = &unit.rbsp;
    }
    if (!sps || !pps) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::invalidBitstream,
                                     "Кодировщик HEVC не выдал наборы параметров.");
    }
    try {
        return HEVCUpdatePictureWriter(*sps, *pps, parameterSetId, layerId);
    } catch (const HEVCBitstreamError& error) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::invalidBitstream,
                                     std::string("Поток кодировщика HEVC не допускает кадров-обновлений (") + error.what() + ").");
    }
}

HEVCAlphaEncodingError layersDisagree(std::int64_t frame) {
    return HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::layersDisagree,
                                  "Кодировщики цвета и альфа-канала разошлись в кадре " + std::to_string(frame + 1) +
                                      " (ключевой кадр не получен сразу). Видео HEVC с альфой не записано.");
}

// The one IDR picture an encoder returns for the picture it was just fed.
HEVCEncodedPicture keyPicture(std::vector<HEVCEncodedPicture> pictures, std::int64_t frame) {
    if (pictures.size() != 1) throw layersDisagree(frame);
    return std::move(pictures.front());
}

std::int64_t bitsOf(const HEVCLayeredAccessUnit& unit) {
    std::int64_t bytes = 0;
    for (const HEVCNalUnit& nal : unit.nalUnits) bytes += static_cast<std::int64_t>(nal.rbsp.size()) + 5;
    return bytes * 8;
}

}  // namespace

HEVCAlphaStreamEncoder::HEVCAlphaStreamEncoder(const HEVCAlphaEncoderSettings& settings)
    : settings_(settings),
      converter_(settings.width, settings.height),
      colour_(settings.width, settings.height, settings.preset, settings.sharedOptions()),
      alpha_(settings.width, settings.height, settings.preset,
             concatenated(concatenated(settings.sharedOptions(),
                                       // Alpha uses the whole 0-255 range; the flag only reaches
                                       // the SPS's VUI, the coding decisions stay the colour's.
                                       {{"range", "full"}}),
                          settings.alphaExtraOptions)),
      quantiser_(settings.quantiser) {
    const std::vector<HEVCNalUnit> colourHeaders = colour_.headers();
    const std::vector<HEVCNalUnit> alphaHeaders = alpha_.headers();
    merger_ = std::make_unique<HEVCAlphaLayerMerger>(colourHeaders, alphaHeaders);
    // The ids the merger gives each layer's parameter sets.
    colourUpdates_ = std::make_unique<HEVCUpdatePictureWriter>(makeUpdateWriter(colourHeaders, 0, 0));
    alphaUpdates_ = std::make_unique<HEVCUpdatePictureWriter>(makeUpdateWriter(alphaHeaders, 1, 1));
}

HEVCLayeredAccessUnit HEVCAlphaStreamEncoder::encodeKeyFrame() {
    lastKeyFrame_ = nextFrame_;
    // Each encoder copies its input and returns its picture at once; the
    // update writer then takes that encoder's reconstruction.
    const auto keyFrameOf = [&](X265Encoder& encoder, HEVCUpdatePictureWriter& updates, const X265PlanarPicture& source) {
        HEVCEncodedPicture picture = keyPicture(encoder.encode(source, nextFrame_, true, quantiser_), nextFrame_);
        updates.restart(source, encoder.lastReconstruction());
        return picture;
    };
    auto alphaPicture = std::async(std::launch::async, [&] {
        return keyFrameOf(alpha_, *alphaUpdates_, converter_.alphaPicture());
    });
    HEVCEncodedPicture colourPicture;
    try {
        colourPicture = keyFrameOf(colour_, *colourUpdates_, converter_.colourPicture());
    } catch (...) {
        alphaPicture.wait();  // the helper reads the converter and the frame number
        throw;
    }
    HEVCLayeredAccessUnit unit = merger_->merge(colourPicture, alphaPicture.get());
    if (!unit.randomAccessPoint) throw layersDisagree(nextFrame_);
    return unit;
}

HEVCLayeredAccessUnit HEVCAlphaStreamEncoder::encodeConverted(bool keyFrame) {
    HEVCLayeredAccessUnit unit;
    if (keyFrame) {
        unit = encodeKeyFrame();
    } else {
        const auto pictureOrderCount = static_cast<std::int32_t>(nextFrame_ - lastKeyFrame_);
        auto alphaUpdate = std::async(std::launch::async, [&] {
            return alphaUpdates_->update(converter_.alphaPicture(), pictureOrderCount, quantiser_);
        });
        HEVCNalUnit colourUpdate;
        try {
            colourUpdate = colourUpdates_->update(converter_.colourPicture(), pictureOrderCount, quantiser_);
        } catch (...) {
            alphaUpdate.wait();
            throw;
        }
        unit.nalUnits = {std::move(colourUpdate), alphaUpdate.get()};
    }
    ++encodedPictures_;
    return finishUnit(std::move(unit), true);
}

HEVCLayeredAccessUnit HEVCAlphaStreamEncoder::finishUnit(HEVCLayeredAccessUnit unit, bool coded) {
    unit.pictureOrderCount = static_cast<std::int32_t>(nextFrame_ - lastKeyFrame_);
    unit.presentationIndex = nextFrame_;
    unit.decodeIndex = nextFrame_;
    ++nextFrame_;
    // The ceiling on the mean rate: one quantiser step per picture, up only
    // after a coded picture (a repeat costs a few bytes, whatever the
    // quantiser), down after any.
    bitsWritten_ += bitsOf(unit);
    const double allowed = static_cast<double>(settings_.averageBitRate) * static_cast<double>(nextFrame_) /
                           settings_.frameRate.framesPerSecond();
    if (static_cast<double>(bitsWritten_) > allowed) {
        if (coded) quantiser_ = std::min(quantiser_ + 1, 51);
    } else if (static_cast<double>(bitsWritten_) < allowed / 2) {
        quantiser_ = std::max(quantiser_ - 1, settings_.quantiser);
    }
    return unit;
}

HEVCLayeredAccessUnit HEVCAlphaStreamEncoder::encode(const PixelBufferView& frame) {
    converter_.convert(frame);
    if (nextFrame_ > 0) lastRunLength_ = nextFrame_ - runStart_;
    runStart_ = nextFrame_;
    // Key frame when this picture and a run like the last one would reach
    // the end of the interval; the first frame always is one.
    const std::int64_t interval = settings_.maxKeyFrameInterval;
    return encodeConverted(nextFrame_ == 0 || nextFrame_ + lastRunLength_ > lastKeyFrame_ + interval);
}

HEVCLayeredAccessUnit HEVCAlphaStreamEncoder::encodeRepeat() {
    if (nextFrame_ == 0) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::encoderFailed, "Повтор кадра до первого кадра.");
    }
    // The converter still holds the repeated picture.
    if (nextFrame_ - lastKeyFrame_ >= settings_.maxKeyFrameInterval) return encodeConverted(true);
    const auto pictureOrderCount = static_cast<std::int32_t>(nextFrame_ - lastKeyFrame_);
    HEVCLayeredAccessUnit unit;
    unit.nalUnits = {colourUpdates_->skipPicture(pictureOrderCount), alphaUpdates_->skipPicture(pictureOrderCount)};
    return finishUnit(std::move(unit), false);
}

}  // namespace pacemark
