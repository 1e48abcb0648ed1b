// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaFrameConverter.h"

#include "HEVCAlphaEncodingError.h"

#include <cstring>

namespace pacemark {
namespace {

// BT.709 with Kr = 0.2126, Kb = 0.0722 scaled to limited range (Y' 16..235,
// Cb/Cr 16..240); coefficients in 1/65536.
constexpr std::int32_t yR = 11966, yG = 40254, yB = 4064;         // 219/255 * (Kr, Kg, Kb)
constexpr std::int32_t cbR = -6596, cbG = -22189, cbB = 28784;    // 224/255 * (B' - Y') / 1.8556
constexpr std::int32_t crR = 28784, crG = -26145, crB = -2639;    // 224/255 * (R' - Y') / 1.5748

// Y' of black: the formula below at r = g = b = 0.
constexpr std::uint8_t transparentLuma = static_cast<std::uint8_t>(((16 << 16) + 32768) >> 16);

std::uint8_t clampToByte(std::int32_t value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

}  // namespace

HEVCAlphaFrameConverter::HEVCAlphaFrameConverter(int width, int height) : width_(width), height_(height) {
    if (width <= 0 || height <= 0 || width % 2 != 0 || height % 2 != 0) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::unsupportedSize,
                                     "Для HEVC с альфой ширина и высота кадра должны быть чётными и больше нуля (задано " +
                                         std::to_string(width) + "×" + std::to_string(height) + ").");
    }
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    luma_.resize(pixels);
    alpha_.resize(pixels);
    cb_.resize(pixels / 4);
    cr_.resize(pixels / 4);
    neutralChroma_.assign(pixels / 4, 128);
}

void HEVCAlphaFrameConverter::convert(const PixelBufferView& frame) {
    if (!frame.isValid() || frame.width != width_ || frame.height != height_) {
        throw HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::unsupportedSize,
                                     "Размер видеокадра не совпадает с размером видео.");
    }
    const auto w = static_cast<std::size_t>(width_);
    for (int y = 0; y < height_; y += 2) {
        const std::uint8_t* rows[2] = {frame.row(y), frame.row(y + 1)};
        std::uint8_t* lumaRows[2] = {&luma_[static_cast<std::size_t>(y) * w], &luma_[static_cast<std::size_t>(y + 1) * w]};
        std::uint8_t* alphaRows[2] = {&alpha_[static_cast<std::size_t>(y) * w], &alpha_[static_cast<std::size_t>(y + 1) * w]};
        std::uint8_t* cbRow = &cb_[static_cast<std::size_t>(y / 2) * (w / 2)];
        std::uint8_t* crRow = &cr_[static_cast<std::size_t>(y / 2) * (w / 2)];
        for (int x = 0; x < width_; x += 2) {
            // Most of an overlay is fully transparent, and premultiplied
            // transparency is all zero bytes: such a block is black at
            // alpha 0 without any arithmetic.
            std::uint64_t top, bottom;
            std::memcpy(&top, rows[0] + 4 * x, sizeof top);
            std::memcpy(&bottom, rows[1] + 4 * x, sizeof bottom);
            if ((top | bottom) == 0) {
                lumaRows[0][x] = lumaRows[0][x + 1] = lumaRows[1][x] = lumaRows[1][x + 1] = transparentLuma;
                alphaRows[0][x] = alphaRows[0][x + 1] = alphaRows[1][x] = alphaRows[1][x + 1] = 0;
                cbRow[x / 2] = crRow[x / 2] = 128;
                continue;
            }
            std::int32_t sumR = 0, sumG = 0, sumB = 0;
            for (int dy = 0; dy < 2; ++dy) {
                for (int dx = 0; dx < 2; ++dx) {
                    const std::uint8_t* px = rows[dy] + 4 * (x + dx);
                    const std::int32_t b = px[0], g = px[1], r = px[2];
                    lumaRows[dy][x + dx] = static_cast<std::uint8_t>((yR * r + yG * g + yB * b + (16 << 16) + 32768) >> 16);
                    alphaRows[dy][x + dx] = px[3];
                    sumR += r;
                    sumG += g;
                    sumB += b;
                }
            }
            // Chroma of the 2x2 block's mean colour (the transform is linear).
            const std::int32_t cb = (cbR * sumR + cbG * sumG + cbB * sumB + (128 << 18) + (1 << 17)) >> 18;
            const std::int32_t cr = (crR * sumR + crG * sumG + crB * sumB + (128 << 18) + (1 << 17)) >> 18;
            cbRow[x / 2] = clampToByte(cb);
            crRow[x / 2] = clampToByte(cr);
        }
    }
}

X265PlanarPicture HEVCAlphaFrameConverter::colourPicture() const {
    X265PlanarPicture picture;
    picture.planes[0] = luma_.data();
    picture.planes[1] = cb_.data();
    picture.planes[2] = cr_.data();
    picture.strides[0] = width_;
    picture.strides[1] = picture.strides[2] = width_ / 2;
    return picture;
}

X265PlanarPicture HEVCAlphaFrameConverter::alphaPicture() const {
    X265PlanarPicture picture;
    picture.planes[0] = alpha_.data();
    picture.planes[1] = picture.planes[2] = neutralChroma_.data();
    picture.strides[0] = width_;
    picture.strides[1] = picture.strides[2] = width_ / 2;
    return picture;
}

}  // namespace pacemark
