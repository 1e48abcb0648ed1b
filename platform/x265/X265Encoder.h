// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HEVCAlphaLayerMerger.h"
#include "HEVCNalUnit.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct x265_encoder;
struct x265_param;
struct x265_picture;

namespace pacemark {

// One 8-bit 4:2:0 picture in caller memory.
struct X265PlanarPicture {
    const std::uint8_t* planes[3] = {nullptr, nullptr, nullptr};
    int strides[3] = {0, 0, 0};
};

// Owns one libx265 encoder. The options are x265's own names and values
// (as on its command line), applied in order after the preset; a name or
// value x265 rejects throws HEVCAlphaEncodingError (encoderFailed).
class X265Encoder {
public:
    using Options = std::vector<std::pair<std::string, std::string>>;

    X265Encoder(int width, int height, const std::string& preset, const Options& options);
    ~X265Encoder();
    X265Encoder(const X265Encoder&) = delete;
    X265Encoder& operator=(const X265Encoder&) = delete;

    // VPS, SPS and PPS for the whole stream.
    std::vector<HEVCNalUnit> headers();
    // Feeds one picture (presentation index `pts`) of the type the caller
    // chose: an IDR picture when `keyFrame`, else a P picture, at quantiser
    // `qp` (0...51) or, when negative, the encoder's own. Returns the picture
    // the encoder finished, if any, in decoding order.
    std::vector<HEVCEncodedPicture> encode(const X265PlanarPicture& picture, std::int64_t pts, bool keyFrame, int qp = -1);
    // Drains the delayed pictures; no picture may be fed afterwards.
    std::vector<HEVCEncodedPicture> flush();
    // The decoded samples of the picture encode() or flush() returned last,
    // at the coded size (the SPS's); valid until the next call.
    X265PlanarPicture lastReconstruction() const;

private:
    bool encodeOne(x265_picture* input, HEVCEncodedPicture& output);

    struct ParamDeleter {
        void operator()(x265_param* param) const;
    };
    struct EncoderDeleter {
        void operator()(x265_encoder* encoder) const;
    };
    struct PictureDeleter {
        void operator()(x265_picture* picture) const;
    };
    std::unique_ptr<x265_param, ParamDeleter> param_;
    std::unique_ptr<x265_encoder, EncoderDeleter> encoder_;
    std::unique_ptr<x265_picture, PictureDeleter> input_;
    std::unique_ptr<x265_picture, PictureDeleter> output_;
    bool flushing_ = false;
};

}  // namespace pacemark
