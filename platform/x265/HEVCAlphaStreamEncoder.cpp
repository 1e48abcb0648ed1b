#include "HEVCAlphaStreamEncoder.h"

#include "HEVCAlphaEncodingError.h"

#include <algorithm>

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
    constexpr std::int64_t largestSide = 16384;
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
    if (writer.framesPerSecond > 1000) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::encoderFailed,
                                     "Частота " + std::to_string(writer.framesPerSecond) +
                                         " кадров в секунду не подходит для HEVC с альфой (не больше 1000).");
    }
    settings.framesPerSecond = static_cast<int>(std::max<std::int64_t>(writer.framesPerSecond, 1));
    settings.averageBitRate = std::max<std::int64_t>(hevc.averageBitRateBitsPerSecond, 1000);
    settings.maxKeyFrameInterval = static_cast<int>(std::clamp<std::int64_t>(hevc.maxKeyFrameIntervalFrames, 1, 10000));
    return settings;
}

X265Encoder::Options HEVCAlphaEncoderSettings::sharedOptions() const {
    const std::string keyint = std::to_string(maxKeyFrameInterval);
    return {
        {"fps", std::to_string(framesPerSecond)},
        // Fixed GOP: an IDR exactly every keyint frames, never earlier on a
        // scene cut, closed, and a fixed B-frame pattern, so that picture
        // types and order depend only on the frame number -- both encoders
        // then decide alike whatever their pictures show.
        {"keyint", keyint},
        {"min-keyint", keyint},
        {"scenecut", "0"},
        {"hist-scenecut", "0"},
        {"open-gop", "0"},
        {"bframes", "3"},
        {"b-adapt", "0"},
        {"radl", "0"},
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
    };
}

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
    merger_ = std::make_unique<HEVCAlphaLayerMerger>(colour_.headers(), alpha_.headers());
}

std::vector<HEVCLayeredAccessUnit> HEVCAlphaStreamEncoder::encode(const PixelBufferView& frame) {
    converter_.convert(frame);
    for (auto& picture : colour_.encode(converter_.colourPicture(), nextFrame_)) colourQueue_.push_back(std::move(picture));
    for (auto& picture : alpha_.encode(converter_.alphaPicture(), nextFrame_)) alphaQueue_.push_back(std::move(picture));
    ++nextFrame_;
    return pairUp();
}

std::vector<HEVCLayeredAccessUnit> HEVCAlphaStreamEncoder::encodeRepeat() {
    for (auto& picture : colour_.encode(converter_.colourPicture(), nextFrame_)) colourQueue_.push_back(std::move(picture));
    for (auto& picture : alpha_.encode(converter_.alphaPicture(), nextFrame_)) alphaQueue_.push_back(std::move(picture));
    ++nextFrame_;
    return pairUp();
}

std::vector<HEVCLayeredAccessUnit> HEVCAlphaStreamEncoder::finish() {
    for (auto& picture : colour_.flush()) colourQueue_.push_back(std::move(picture));
    for (auto& picture : alpha_.flush()) alphaQueue_.push_back(std::move(picture));
    std::vector<HEVCLayeredAccessUnit> units = pairUp();
    if (!colourQueue_.empty() || !alphaQueue_.empty()) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::layersDisagree,
                                     "Кодировщики цвета и альфа-канала выдали разное число кадров. Видео HEVC с альфой не записано.");
    }
    return units;
}

std::vector<HEVCLayeredAccessUnit> HEVCAlphaStreamEncoder::pairUp() {
    // The two encoders may hand out a picture on different calls; pictures
    // are paired strictly in their decoding order.
    std::vector<HEVCLayeredAccessUnit> units;
    while (!colourQueue_.empty() && !alphaQueue_.empty()) {
        units.push_back(merger_->merge(colourQueue_.front(), alphaQueue_.front()));
        colourQueue_.pop_front();
        alphaQueue_.pop_front();
    }
    return units;
}

}  // namespace pacemark
