// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaStreamEncoder.h"

#include "HEVCAlphaEncodingError.h"

#include "HEVCBitReader.h"

#include <algorithm>
#include <future>

namespace pacemark {
namespace {

X265Encoder::Options withBitRate(X265Encoder::Options options, std::int64_t bitsPerSecond) {
    options.emplace_back("bitrate", std::to_string(std::max<std::int64_t>(bitsPerSecond / 1000, 1)));
    return options;
}

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
        // The stream encoder decides every picture's type (IDR or P) and
        // tells both encoders, so that they decide alike whatever their
        // pictures show: no GOP of the encoder's own, no scene cuts, closed.
        {"keyint", "-1"},
        {"scenecut", "0"},
        {"hist-scenecut", "0"},
        {"open-gop", "0"},
        {"radl", "0"},
        // Low-delay P with one reference, so that skip pictures can be
        // spliced between the encoder's pictures: each P picture refers to
        // the picture before it, which a skip picture copies exactly.
        // Temporal motion vector prediction would read the skip picture's
        // (zero) motion instead of the encoder's own, and drift; wavefront
        // entry points would need their own layout in every skip slice.
        {"bframes", "0"},
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
        // the encoding time (intra pictures come every two seconds, for
        // seeking) for no visible gain, and most of the picture is one
        // large unchanged unit.
        {"ctu", "64"},
        {"min-cu-size", "32"},
        // The quantiser is capped: average bit rate control alone let a
        // frame of thin antialiased edges drift to 40 dB of alpha, while the
        // cap keeps both layers above 42 dB at a small fraction of the bit
        // rate allowed.
        {"qpmax", "32"},
        // Psychovisual rate-distortion preserves film grain, which the
        // renderer never draws. At these quantisers the deblocking filter
        // changes no error that shows and costs every encode and every
        // decode; one merge candidate finds the unchanged picture as well
        // as two.
        {"psy-rd", "0"},
        {"deblock", "false"},
        {"max-merge", "1"},
    };
}

namespace {

HEVCSkipPictureWriter makeSkipWriter(const std::vector<HEVCNalUnit>& headers, std::uint32_t parameterSetId, int layerId) {
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
        return HEVCSkipPictureWriter(*sps, *pps, parameterSetId, layerId);
    } catch (const HEVCBitstreamError& error) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::invalidBitstream,
                                     std::string("Поток кодировщика HEVC не допускает повтор кадров (") + error.what() + ").");
    }
}

}  // namespace

HEVCAlphaStreamEncoder::HEVCAlphaStreamEncoder(const HEVCAlphaEncoderSettings& settings)
    : settings_(settings),
      converter_(settings.width, settings.height),
      colour_(settings.width, settings.height, settings.preset,
              withBitRate(settings.sharedOptions(), settings.colourBitRate())),
      alpha_(settings.width, settings.height, settings.preset,
             concatenated(concatenated(withBitRate(settings.sharedOptions(), settings.alphaBitRate()),
                                       // Alpha uses the whole 0-255 range; the flag only reaches
                                       // the SPS's VUI, the coding decisions stay the colour's.
                                       {{"range", "full"}}),
                          settings.alphaExtraOptions)) {
    const std::vector<HEVCNalUnit> colourHeaders = colour_.headers();
    const std::vector<HEVCNalUnit> alphaHeaders = alpha_.headers();
    merger_ = std::make_unique<HEVCAlphaLayerMerger>(colourHeaders, alphaHeaders);
    // The ids the merger gives each layer's parameter sets.
    colourSkips_ = std::make_unique<HEVCSkipPictureWriter>(makeSkipWriter(colourHeaders, 0, 0));
    alphaSkips_ = std::make_unique<HEVCSkipPictureWriter>(makeSkipWriter(alphaHeaders, 1, 1));
}

void HEVCAlphaStreamEncoder::encodeConverted(bool keyFrame) {
    if (keyFrame) lastKeyFrame_ = nextFrame_;
    // The layers are independent encodes of one converted picture (each
    // encoder copies its input), so they run side by side.
    auto alphaPictures = std::async(std::launch::async, [&] {
        return alpha_.encode(converter_.alphaPicture(), nextFrame_, keyFrame);
    });
    std::vector<HEVCEncodedPicture> colourPictures;
    try {
        colourPictures = colour_.encode(converter_.colourPicture(), nextFrame_, keyFrame);
    } catch (...) {
        alphaPictures.wait();  // the helper reads the converter and the frame number
        throw;
    }
    for (auto& picture : colourPictures) colourQueue_.push_back(std::move(picture));
    for (auto& picture : alphaPictures.get()) alphaQueue_.push_back(std::move(picture));
    ++nextFrame_;
    ++encodedPictures_;
    pendingFrames_.push_back(false);
}

std::vector<HEVCLayeredAccessUnit> HEVCAlphaStreamEncoder::encode(const PixelBufferView& frame) {
    converter_.convert(frame);
    if (nextFrame_ > 0) lastRunLength_ = nextFrame_ - runStart_;
    runStart_ = nextFrame_;
    // Key frame when this picture and a run like the last one would reach
    // the end of the interval; the first frame always is one.
    const std::int64_t interval = settings_.maxKeyFrameInterval;
    encodeConverted(nextFrame_ == 0 || nextFrame_ + lastRunLength_ > lastKeyFrame_ + interval);
    return pairUp();
}

std::vector<HEVCLayeredAccessUnit> HEVCAlphaStreamEncoder::encodeRepeat() {
    if (nextFrame_ == 0) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::encoderFailed, "Повтор кадра до первого кадра.");
    }
    if (nextFrame_ - lastKeyFrame_ >= settings_.maxKeyFrameInterval) {
        // The converter still holds the repeated picture.
        encodeConverted(true);
        return pairUp();
    }
    ++nextFrame_;
    pendingFrames_.push_back(true);
    return emitReady();
}

std::vector<HEVCLayeredAccessUnit> HEVCAlphaStreamEncoder::finish() {
    for (auto& picture : colour_.flush()) colourQueue_.push_back(std::move(picture));
    for (auto& picture : alpha_.flush()) alphaQueue_.push_back(std::move(picture));
    std::vector<HEVCLayeredAccessUnit> units = pairUp();
    if (!colourQueue_.empty() || !alphaQueue_.empty() || !pendingFrames_.empty() || !merged_.empty()) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::layersDisagree,
                                     "Кодировщики цвета и альфа-канала выдали разное число кадров. Видео HEVC с альфой не записано.");
    }
    return units;
}

std::vector<HEVCLayeredAccessUnit> HEVCAlphaStreamEncoder::pairUp() {
    // The two encoders may hand out a picture on different calls; pictures
    // are paired strictly in their decoding order.
    while (!colourQueue_.empty() && !alphaQueue_.empty()) {
        merged_.push_back(merger_->merge(colourQueue_.front(), alphaQueue_.front()));
        colourQueue_.pop_front();
        alphaQueue_.pop_front();
    }
    return emitReady();
}

std::vector<HEVCLayeredAccessUnit> HEVCAlphaStreamEncoder::emitReady() {
    // Frames leave in presentation order (which is decoding order without B
    // pictures): a repeat as soon as every frame before it has left, an
    // encoded frame once both encoders have returned it.
    std::vector<HEVCLayeredAccessUnit> units;
    while (!pendingFrames_.empty()) {
        const std::int64_t index = emittedFrames_;
        HEVCLayeredAccessUnit unit;
        if (pendingFrames_.front()) {
            const auto pictureOrderCount = static_cast<std::int32_t>(index - emittedKeyFrame_);
            unit.nalUnits = {colourSkips_->skipPicture(pictureOrderCount), alphaSkips_->skipPicture(pictureOrderCount)};
            unit.pictureOrderCount = pictureOrderCount;
        } else if (!merged_.empty()) {
            unit = std::move(merged_.front());
            merged_.pop_front();
            if (unit.randomAccessPoint) emittedKeyFrame_ = index;
            const auto pictureOrderCount = static_cast<std::int32_t>(index - emittedKeyFrame_);
            if (!unit.randomAccessPoint) renumber(unit, pictureOrderCount);
            unit.pictureOrderCount = pictureOrderCount;
        } else {
            break;
        }
        pendingFrames_.pop_front();
        unit.presentationIndex = index;
        unit.decodeIndex = index;
        units.push_back(std::move(unit));
        ++emittedFrames_;
    }
    return units;
}

void HEVCAlphaStreamEncoder::renumber(HEVCLayeredAccessUnit& unit, std::int32_t pictureOrderCount) const {
    try {
        for (HEVCNalUnit& nal : unit.nalUnits) {
            (nal.layerId == 0 ? *colourSkips_ : *alphaSkips_).renumber(nal, pictureOrderCount);
        }
    } catch (const HEVCBitstreamError& error) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::invalidBitstream,
                                     std::string("Кодировщик HEVC выдал поток, который не удалось разобрать (") + error.what() + ").");
    }
}

}  // namespace pacemark
