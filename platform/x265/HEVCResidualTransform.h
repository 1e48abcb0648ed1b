// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>

namespace pacemark {

// The integer transform, quantisation and scaling of HEVC residuals for 8-bit
// samples, square blocks of 4 to 32 samples (log2Size 2...5), flat scaling
// (no scaling lists). Coefficient (u, v) -- u across, v down -- is element
// v * size + u; residual sample (x, y) is element y * size + x.
//
// dequantise() and inverseTransform() compute exactly what every conforming
// decoder computes, so a picture reconstructed with them is the picture the
// decoders show: the encoder's reference never drifts from theirs.
// forwardTransform() and quantise() are the encoder's free choice; they are
// the usual approximations (a dead zone of a sixth for inter residuals).
namespace HEVCResidualTransform {

// Residual (-255...255) to coefficients.
void forwardTransform(std::span<const std::int16_t> residual, int log2Size, std::span<std::int32_t> coefficients);
// Coefficients to levels at quantiser `qp` (0...51). Returns whether any
// level is non-zero.
bool quantise(std::span<const std::int32_t> coefficients, int log2Size, int qp, std::span<std::int16_t> levels);
// Levels back to scaled coefficients, clipped to 16 bits.
void dequantise(std::span<const std::int16_t> levels, int log2Size, int qp, std::span<std::int16_t> coefficients);
// Scaled coefficients to residual samples (vertical pass, clip, horizontal pass).
void inverseTransform(std::span<const std::int16_t> coefficients, int log2Size, std::span<std::int16_t> residual);

// QpC of a 4:2:0 chroma block for the luma QP plus the PPS's chroma offset.
int chromaQp(int lumaQp, int offset);

}  // namespace HEVCResidualTransform
}  // namespace pacemark
