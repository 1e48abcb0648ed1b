// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProResPictureConverter.h"

#include <algorithm>
#include <cmath>

namespace pacemark {
namespace {

// BT.709 luma weights.
constexpr double kKr = 0.2126;
constexpr double kKb = 0.0722;
constexpr double kKg = 1.0 - kKr - kKb;

// Fixed-point scale of the matrix coefficients, which apply to straight
// colour in 0...65535. 2^20 keeps every sum inside 32 bits.
constexpr int kShift = 20;
constexpr double kScale = double(1 << kShift) / 65535.0;

constexpr std::int32_t coefficient(double value) {
    return static_cast<std::int32_t>(value * kScale + (value >= 0 ? 0.5 : -0.5));
}

// Y' = 64 + 876 (Kr R + Kg G + Kb B)
constexpr std::int32_t kYR = coefficient(876.0 * kKr);
constexpr std::int32_t kYG = coefficient(876.0 * kKg);
constexpr std::int32_t kYB = coefficient(876.0 * kKb);
// Cb = 512 + 896 (B - Y') / (2 (1 - Kb))
constexpr double kCbScale = 896.0 / (2.0 * (1.0 - kKb));
constexpr std::int32_t kCbR = coefficient(-kKr * kCbScale);
constexpr std::int32_t kCbG = coefficient(-kKg * kCbScale);
constexpr std::int32_t kCbB = coefficient((1.0 - kKb) * kCbScale);
// Cr = 512 + 896 (R - Y') / (2 (1 - Kr))
constexpr double kCrScale = 896.0 / (2.0 * (1.0 - kKr));
constexpr std::int32_t kCrR = coefficient((1.0 - kKr) * kCrScale);
constexpr std::int32_t kCrG = coefficient(-kKg * kCrScale);
constexpr std::int32_t kCrB = coefficient(-kKb * kCrScale);

constexpr std::int32_t kRound = 1 << (kShift - 1);
constexpr std::int32_t kYOffset = (64 << kShift) + kRound;
constexpr std::int32_t kChromaOffset = (512 << kShift) + kRound;

}  // namespace

ProResPictureConverter::ProResPictureConverter() : straight_(256 * 256, 0) {
    for (int a = 1; a < 256; ++a) {
        for (int c = 0; c < 256; ++c) {
            // A colour above its alpha is not valid premultiplied data; it is
            // read as full intensity rather than overflowing.
            const double value = std::min(double(c) * 65535.0 / double(a), 65535.0);
            straight_[std::size_t(a) * 256 + std::size_t(c)] = static_cast<std::uint16_t>(std::lround(value));
        }
    }
    for (int a = 0; a < 256; ++a) alpha10_[a] = static_cast<std::uint16_t>(std::lround(a * 1023.0 / 255.0));
}

void ProResPictureConverter::convert(PixelBufferView source, const Planes& into, std::int64_t firstRow,
                                     std::int64_t rowCount) const {
    const std::uint16_t* table = straight_.data();
    for (std::int64_t row = firstRow; row < firstRow + rowCount; ++row) {
        const std::uint8_t* bgra = source.row(row);
        std::uint16_t* y = into.y + row * into.yStride;
        std::uint16_t* cb = into.cb + row * into.cbStride;
        std::uint16_t* cr = into.cr + row * into.crStride;
        std::uint16_t* alpha = into.alpha + row * into.alphaStride;
        for (std::int64_t x = 0; x < source.width; ++x, bgra += 4) {
            const unsigned a = bgra[3];
            alpha[x] = alpha10_[a];
            if (a == 0) {
                // Transparent: black, whatever bytes the colour holds.
                y[x] = 64;
                cb[x] = 512;
                cr[x] = 512;
                continue;
            }
            const std::uint16_t* straight = table + a * 256;
            const std::int32_t r = straight[bgra[2]];
            const std::int32_t g = straight[bgra[1]];
            const std::int32_t b = straight[bgra[0]];
            y[x] = static_cast<std::uint16_t>((kYOffset + kYR * r + kYG * g + kYB * b) >> kShift);
            cb[x] = static_cast<std::uint16_t>((kChromaOffset + kCbR * r + kCbG * g + kCbB * b) >> kShift);
            cr[x] = static_cast<std::uint16_t>((kChromaOffset + kCrR * r + kCrG * g + kCrB * b) >> kShift);
        }
    }
}

}  // namespace pacemark
