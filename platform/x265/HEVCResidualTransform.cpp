// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCResidualTransform.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace pacemark::HEVCResidualTransform {
namespace {

// The 32-point transform's distinct magnitudes: 64 * sqrt(2) * cos(m * pi / 64)
// as the standard rounds them, for m = 0...32 (m = 0 is only the DC row, 64).
constexpr std::array<int, 33> cosines = {64, 90, 90, 90, 89, 88, 87, 85, 83, 82, 80, 78, 75, 73, 70, 67, 64,
                                         61, 57, 54, 50, 46, 43, 38, 36, 31, 25, 22, 18, 13, 9,  4,  0};

// Row k, column n of the 32-point matrix; the N-point matrix is rows
// k * 32 / N of it, first N columns.
constexpr int matrixEntry(int k, int n) {
    if (k == 0) return 64;
    const int m = ((2 * n + 1) * k) % 128;
    if (m <= 32) return cosines[static_cast<std::size_t>(m)];
    if (m <= 64) return -cosines[static_cast<std::size_t>(64 - m)];
    if (m <= 96) return -cosines[static_cast<std::size_t>(m - 64)];
    return cosines[static_cast<std::size_t>(128 - m)];
}

constexpr std::array<std::array<std::int16_t, 32>, 32> makeMatrix() {
    std::array<std::array<std::int16_t, 32>, 32> matrix{};
    for (int k = 0; k < 32; ++k) {
        for (int n = 0; n < 32; ++n) matrix[static_cast<std::size_t>(k)][static_cast<std::size_t>(n)] = static_cast<std::int16_t>(matrixEntry(k, n));
    }
    return matrix;
}
constexpr auto matrix32 = makeMatrix();
static_assert(matrix32[8][0] == 83 && matrix32[8][1] == 36 && matrix32[24][0] == 36 && matrix32[1][31] == -90);

// The N-point matrices, rows k * 32 / N of the 32-point one, first N
// columns, each stored contiguously so that the loops below vectorise.
struct Matrices {
    std::array<std::array<std::int32_t, 32 * 32>, 4> ofSize{};  // log2Size 2...5
    Matrices() {
        for (int log2Size = 2; log2Size <= 5; ++log2Size) {
            const int size = 1 << log2Size;
            for (int k = 0; k < size; ++k) {
                for (int n = 0; n < size; ++n) {
                    ofSize[static_cast<std::size_t>(log2Size - 2)][static_cast<std::size_t>(k * size + n)] =
                        matrix32[static_cast<std::size_t>(k << (5 - log2Size))][static_cast<std::size_t>(n)];
                }
            }
        }
    }
};
const std::int32_t* matrixOf(int log2Size) {
    static const Matrices matrices;
    return matrices.ofSize[static_cast<std::size_t>(log2Size - 2)].data();
}

constexpr std::array<int, 6> quantScales = {26214, 23302, 20560, 18396, 16384, 14564};
constexpr std::array<int, 6> levelScales = {40, 45, 51, 57, 64, 72};

std::int16_t clip16(std::int64_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, -32768, 32767));
}

}  // namespace

void forwardTransform(std::span<const std::int16_t> residual, int log2Size, std::span<std::int32_t> coefficients) {
    const int size = 1 << log2Size;
    const std::int32_t* m = matrixOf(log2Size);
    // Vertical pass, then horizontal, with the usual intermediate shifts
    // (log2Size - 1 and log2Size + 6 for 8-bit samples). Sums stay within
    // 32 bits: 255 * 90 * 32 before the first shift, 46,000 * 90 * 32
    // before the second.
    const int shift1 = log2Size - 1, shift2 = log2Size + 6;
    std::array<std::int32_t, 32 * 32> vertical{};
    for (int k = 0; k < size; ++k) {
        std::int32_t* out = &vertical[static_cast<std::size_t>(k * size)];
        for (int y = 0; y < size; ++y) {
            const std::int32_t factor = m[k * size + y];
            const std::int16_t* in = &residual[static_cast<std::size_t>(y * size)];
            for (int x = 0; x < size; ++x) out[x] += factor * in[x];
        }
        for (int x = 0; x < size; ++x) out[x] = (out[x] + (1 << (shift1 - 1))) >> shift1;
    }
    for (int k = 0; k < size; ++k) {
        const std::int32_t* row = &vertical[static_cast<std::size_t>(k * size)];
        for (int l = 0; l < size; ++l) {
            const std::int32_t* basis = m + l * size;
            std::int32_t sum = 0;
            for (int x = 0; x < size; ++x) sum += basis[x] * row[x];
            coefficients[static_cast<std::size_t>(k * size + l)] = (sum + (1 << (shift2 - 1))) >> shift2;
        }
    }
}

bool quantise(std::span<const std::int32_t> coefficients, int log2Size, int qp, std::span<std::int16_t> levels) {
    const int count = 1 << (2 * log2Size);
    // 8-bit samples: transform shift 15 - 8 - log2Size.
    const int bits = 14 + qp / 6 + (7 - log2Size);
    const std::int64_t scale = quantScales[static_cast<std::size_t>(qp % 6)];
    const std::int64_t rounding = std::int64_t{85} << (bits - 9);
    bool any = false;
    for (int i = 0; i < count; ++i) {
        const std::int32_t c = coefficients[static_cast<std::size_t>(i)];
        const std::int64_t magnitude = std::min<std::int64_t>((std::llabs(c) * scale + rounding) >> bits, 32767);
        levels[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(c < 0 ? -magnitude : magnitude);
        any = any || magnitude != 0;
    }
    return any;
}

void dequantise(std::span<const std::int16_t> levels, int log2Size, int qp, std::span<std::int16_t> coefficients) {
    const int count = 1 << (2 * log2Size);
    const int bdShift = 8 + log2Size - 5;
    const std::int64_t scale = std::int64_t{16} * levelScales[static_cast<std::size_t>(qp % 6)];
    for (int i = 0; i < count; ++i) {
        const std::int64_t level = levels[static_cast<std::size_t>(i)];
        coefficients[static_cast<std::size_t>(i)] =
            clip16((((level * scale) << (qp / 6)) + (std::int64_t{1} << (bdShift - 1))) >> bdShift);
    }
}

void inverseTransform(std::span<const std::int16_t> coefficients, int log2Size, std::span<std::int16_t> residual) {
    const int size = 1 << log2Size;
    const std::int32_t* m = matrixOf(log2Size);
    // First (vertical) pass: sample row y gains coefficient row v times
    // basis v at y; rows of zeros, most of them, add nothing. Sums of 16-bit
    // values times 90, 32 of them, stay within 32 bits.
    std::array<std::int32_t, 32 * 32> sums{};
    for (int v = 0; v < size; ++v) {
        const std::int16_t* in = &coefficients[static_cast<std::size_t>(v * size)];
        bool any = false;
        for (int u = 0; u < size; ++u) any = any || in[u] != 0;
        if (!any) continue;
        for (int y = 0; y < size; ++y) {
            const std::int32_t factor = m[v * size + y];
            std::int32_t* out = &sums[static_cast<std::size_t>(y * size)];
            for (int u = 0; u < size; ++u) out[u] += factor * in[u];
        }
    }
    std::array<std::int32_t, 32 * 32> vertical{};
    for (std::size_t i = 0; i < static_cast<std::size_t>(size * size); ++i) vertical[i] = clip16((std::int64_t{sums[i]} + 64) >> 7);
    // Second (horizontal) pass: bdShift 20 - bit depth.
    for (int y = 0; y < size; ++y) {
        const std::int32_t* row = &vertical[static_cast<std::size_t>(y * size)];
        for (int x = 0; x < size; ++x) {
            std::int32_t sum = 0;
            for (int u = 0; u < size; ++u) sum += m[u * size + x] * row[u];
            residual[static_cast<std::size_t>(y * size + x)] = static_cast<std::int16_t>((sum + 2048) >> 12);
        }
    }
}

int chromaQp(int lumaQp, int offset) {
    const int qpi = std::clamp(lumaQp + offset, 0, 57);
    if (qpi < 30) return qpi;
    if (qpi > 43) return qpi - 6;
    constexpr std::array<int, 14> table = {29, 30, 31, 32, 33, 33, 34, 34, 35, 35, 36, 36, 37, 37};
    return table[static_cast<std::size_t>(qpi - 30)];
}

}  // namespace pacemark::HEVCResidualTransform
