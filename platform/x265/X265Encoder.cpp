// SPDX-License-Identifier: GPL-3.0-or-later
#include "X265Encoder.h"

#include "DiagnosticLog.h"
#include "HEVCAlphaEncodingError.h"
#include "HEVCBitReader.h"

#include <x265.h>

namespace pacemark {
namespace {

HEVCAlphaEncodingError encoderError(const std::string& detail) {
    return HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::encoderFailed,
                                  "Кодировщик HEVC не справился: " + detail + ".");
}

std::vector<HEVCNalUnit> parseNalUnits(const x265_nal* nals, std::uint32_t count) {
    std::vector<HEVCNalUnit> units;
    try {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::span<const std::uint8_t> payload(nals[i].payload, nals[i].sizeBytes);
            for (const auto unit : hevcSplitAnnexB(payload)) units.push_back(HEVCNalUnit::parse(unit));
        }
    } catch (const HEVCBitstreamError& error) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::invalidBitstream,
                                     std::string("Кодировщик HEVC выдал повреждённый блок данных (") + error.what() + ").");
    }
    return units;
}

}  // namespace

void X265Encoder::ParamDeleter::operator()(x265_param* param) const { x265_param_free(param); }
void X265Encoder::EncoderDeleter::operator()(x265_encoder* encoder) const { x265_encoder_close(encoder); }
void X265Encoder::PictureDeleter::operator()(x265_picture* picture) const { x265_picture_free(picture); }

X265Encoder::X265Encoder(int width, int height, const std::string& preset, const Options& options)
    : param_(x265_param_alloc()), input_(x265_picture_alloc()), output_(x265_picture_alloc()) {
    if (!param_ || !input_ || !output_) throw encoderError("не хватило памяти");
    if (x265_param_default_preset(param_.get(), preset.c_str(), nullptr) < 0) {
        throw encoderError("неизвестная предустановка «" + preset + "»");
    }
    param_->sourceWidth = width;
    param_->sourceHeight = height;
    param_->internalCsp = X265_CSP_I420;
    // x265 prints its log itself (it has no callback): silent unless the
    // diagnostic log is on, as FFmpeg's lines are.
    param_->logLevel = DiagnosticLog::isEnabled() ? X265_LOG_WARNING : X265_LOG_NONE;
    for (const auto& [name, value] : options) {
        if (x265_param_parse(param_.get(), name.c_str(), value.c_str()) != 0) {
            throw encoderError("параметр «" + name + "=" + value + "» не принят");
        }
    }
    encoder_.reset(x265_encoder_open(param_.get()));
    if (!encoder_) throw encoderError("не удалось открыть кодировщик " + std::to_string(width) + "×" + std::to_string(height));
    x265_picture_init(param_.get(), input_.get());
    input_->bitDepth = 8;
    input_->colorSpace = X265_CSP_I420;
}

X265Encoder::~X265Encoder() = default;

std::vector<HEVCNalUnit> X265Encoder::headers() {
    x265_nal* nals = nullptr;
    std::uint32_t count = 0;
    if (x265_encoder_headers(encoder_.get(), &nals, &count) < 0) throw encoderError("заголовки потока не получены");
    return parseNalUnits(nals, count);
}

bool X265Encoder::encodeOne(x265_picture* input, HEVCEncodedPicture& output) {
    x265_nal* nals = nullptr;
    std::uint32_t count = 0;
    const int result = x265_encoder_encode(encoder_.get(), &nals, &count, input, output_.get());
    if (result < 0) throw encoderError("кадр не закодирован");
    if (result == 0) return false;
    output.nalUnits = parseNalUnits(nals, count);
    output.presentationIndex = output_->pts;
    output.decodeIndex = output_->dts;
    return true;
}

std::vector<HEVCEncodedPicture> X265Encoder::encode(const X265PlanarPicture& picture, std::int64_t pts, bool keyFrame, int qp) {
    if (flushing_) throw encoderError("кадр после завершения потока");
    for (int plane = 0; plane < 3; ++plane) {
        // x265 reads the input planes only; its API lacks const.
        input_->planes[plane] = const_cast<std::uint8_t*>(picture.planes[plane]);
        input_->stride[plane] = picture.strides[plane];
    }
    input_->pts = pts;
    input_->sliceType = keyFrame ? X265_TYPE_IDR : X265_TYPE_P;
    input_->forceqp = qp < 0 ? 0 : qp + 1;  // x265 counts forced quantisers from 1
    std::vector<HEVCEncodedPicture> pictures;
    HEVCEncodedPicture encoded;
    if (encodeOne(input_.get(), encoded)) pictures.push_back(std::move(encoded));
    return pictures;
}

X265PlanarPicture X265Encoder::lastReconstruction() const {
    X265PlanarPicture picture;
    for (int plane = 0; plane < 3; ++plane) {
        picture.planes[plane] = static_cast<const std::uint8_t*>(output_->planes[plane]);
        picture.strides[plane] = output_->stride[plane];
    }
    return picture;
}

std::vector<HEVCEncodedPicture> X265Encoder::flush() {
    flushing_ = true;
    std::vector<HEVCEncodedPicture> pictures;
    HEVCEncodedPicture encoded;
    while (encodeOne(nullptr, encoded)) pictures.push_back(std::move(encoded));
    return pictures;
}

}  // namespace pacemark
