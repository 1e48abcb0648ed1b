// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCUpdatePictureWriter.h"

#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"
#include "HEVCCabacEncoder.h"
#include "HEVCResidualTransform.h"
#include "HEVCSliceHeader.h"

#include <algorithm>
#include <cstring>

namespace pacemark {
namespace {

// Context initValues of a P slice without cabac_init_flag (initType 1).
constexpr std::array<int, 3> splitCuFlagInit = {107, 139, 126};
constexpr std::array<int, 3> cuSkipFlagInit = {197, 185, 201};
constexpr int predModeFlagInit = 149;
constexpr int partModeInit = 154;
constexpr int mergeFlagInit = 110;
constexpr std::array<int, 3> splitTransformFlagInit = {124, 138, 94};
constexpr std::array<int, 2> cbfLumaInit = {153, 111};
constexpr std::array<int, 5> cbfChromaInit = {149, 107, 167, 154, 154};
constexpr int transformSkipFlagInit = 139;
constexpr std::array<int, 18> lastPrefixInit = {125, 110, 94, 110, 95, 79, 125, 111, 110,
                                                78,  110, 111, 111, 95, 94, 108, 123, 108};
constexpr std::array<int, 4> codedSubBlockFlagInit = {121, 140, 61, 154};
constexpr std::array<int, 42> sigCoeffFlagInit = {
    155, 154, 139, 153, 139, 123, 123, 63,  153, 166, 183, 140, 136, 153, 154, 166, 183, 140, 136, 153, 154,
    166, 183, 140, 136, 153, 154, 170, 153, 123, 123, 107, 121, 107, 121, 167, 151, 183, 140, 151, 183, 140};
constexpr std::array<int, 24> greater1FlagInit = {154, 196, 196, 167, 154, 152, 167, 182, 182, 134, 149, 136,
                                                  153, 121, 136, 137, 169, 194, 166, 167, 154, 167, 137, 182};
constexpr std::array<int, 6> greater2FlagInit = {107, 167, 91, 122, 107, 167};

template <std::size_t N>
std::array<HEVCCabacContext, N> initialised(const std::array<int, N>& values, int qp) {
    std::array<HEVCCabacContext, N> contexts{};
    for (std::size_t i = 0; i < N; ++i) contexts[i] = HEVCCabacContext::initialised(values[i], qp);
    return contexts;
}

// Every context variable the update slices use, at the slice QP.
struct Contexts {
    explicit Contexts(int qp)
        : splitCu(initialised(splitCuFlagInit, qp)),
          skip(initialised(cuSkipFlagInit, qp)),
          predMode(HEVCCabacContext::initialised(predModeFlagInit, qp)),
          partMode(HEVCCabacContext::initialised(partModeInit, qp)),
          mergeFlag(HEVCCabacContext::initialised(mergeFlagInit, qp)),
          splitTransform(initialised(splitTransformFlagInit, qp)),
          cbfLuma(initialised(cbfLumaInit, qp)),
          cbfChroma(initialised(cbfChromaInit, qp)),
          transformSkip{HEVCCabacContext::initialised(transformSkipFlagInit, qp),
                        HEVCCabacContext::initialised(transformSkipFlagInit, qp)},
          lastX(initialised(lastPrefixInit, qp)),
          lastY(initialised(lastPrefixInit, qp)),
          codedSubBlock(initialised(codedSubBlockFlagInit, qp)),
          sigCoeff(initialised(sigCoeffFlagInit, qp)),
          greater1(initialised(greater1FlagInit, qp)),
          greater2(initialised(greater2FlagInit, qp)) {}
    std::array<HEVCCabacContext, 3> splitCu;
    std::array<HEVCCabacContext, 3> skip;
    HEVCCabacContext predMode, partMode, mergeFlag;
    std::array<HEVCCabacContext, 3> splitTransform;
    std::array<HEVCCabacContext, 2> cbfLuma;
    std::array<HEVCCabacContext, 5> cbfChroma;
    std::array<HEVCCabacContext, 2> transformSkip;
    std::array<HEVCCabacContext, 18> lastX, lastY;
    std::array<HEVCCabacContext, 4> codedSubBlock;
    std::array<HEVCCabacContext, 42> sigCoeff;
    std::array<HEVCCabacContext, 24> greater1;
    std::array<HEVCCabacContext, 6> greater2;
};

struct Position {
    int x = 0;
    int y = 0;
};

// The up-right diagonal scan of a size x size block.
std::vector<Position> diagonalScan(int size) {
    std::vector<Position> scan;
    for (int line = 0; line < 2 * size - 1; ++line) {
        for (int y = std::min(line, size - 1); y >= 0 && line - y < size; --y) scan.push_back({line - y, y});
    }
    return scan;
}

const std::vector<Position>& scanOf(int size) {
    static const std::array<std::vector<Position>, 4> scans = {diagonalScan(1), diagonalScan(2), diagonalScan(4),
                                                               diagonalScan(8)};
    return scans[static_cast<std::size_t>(size == 1 ? 0 : size == 2 ? 1 : size == 4 ? 2 : 3)];
}

// last_sig_coeff_{x,y}_prefix of a position, and the first position of each prefix.
constexpr std::array<int, 32> lastPrefixOf = {0, 1, 2, 3, 4, 4, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7,
                                              8, 8, 8, 8, 8, 8, 8, 8, 9, 9, 9, 9, 9, 9, 9, 9};
constexpr std::array<int, 10> lastPrefixStart = {0, 1, 2, 3, 4, 6, 8, 12, 16, 24};
// sigCtx of 4x4 blocks by position.
constexpr std::array<int, 16> sigContextOf4x4 = {0, 1, 4, 5, 2, 3, 4, 5, 6, 6, 8, 8, 7, 7, 8, 8};

// One transform unit's levels: luma, then the two chroma blocks.
struct TransformUnit {
    int x = 0, y = 0;  // luma position in the picture
    int log2Size = 0;  // luma
    std::array<std::vector<std::int16_t>, 3> levels;
    std::array<bool, 3> coded{};
};

class UpdateSliceCoder {
public:
    UpdateSliceCoder(const HEVCSequenceParameterSet& sps, const HEVCPictureParameterSet& pps, int qp,
                     HEVCBitWriter& writer, HEVCUpdatePictureWriter::Picture* decoded,
                     const HEVCUpdatePictureWriter::Picture* source, HEVCUpdatePictureWriter::Picture* lastSource)
        : sps_(sps), pps_(pps), cabac_(writer), contexts_(qp), decoded_(decoded), source_(source),
          lastSource_(lastSource) {
        chromaQp_[0] = qp;
        chromaQp_[1] = HEVCResidualTransform::chromaQp(qp, pps.cbQpOffset);
        chromaQp_[2] = HEVCResidualTransform::chromaQp(qp, pps.crQpOffset);
        minBlock_ = 1 << sps.log2MinCodingBlockSize;
        columns_ = static_cast<int>(sps.widthLumaSamples) / minBlock_;
        rows_ = static_cast<int>(sps.heightLumaSamples) / minBlock_;
        depth_.assign(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_), 0);
        skipped_.assign(depth_.size(), 0);
    }

    void codePicture() {
        const int ctb = 1 << sps_.log2CodingTreeBlockSize;
        const int ctbColumns = (static_cast<int>(sps_.widthLumaSamples) + ctb - 1) / ctb;
        const int ctbCount = ctbColumns * ((static_cast<int>(sps_.heightLumaSamples) + ctb - 1) / ctb);
        for (int address = 0; address < ctbCount; ++address) {
            codeQuadtree((address % ctbColumns) * ctb, (address / ctbColumns) * ctb, sps_.log2CodingTreeBlockSize, 0);
            cabac_.encodeTerminate(address + 1 == ctbCount ? 1 : 0);  // end_of_slice_segment_flag
        }
    }

private:
    int width() const { return static_cast<int>(sps_.widthLumaSamples); }
    int height() const { return static_cast<int>(sps_.heightLumaSamples); }

    void codeQuadtree(int x, int y, int log2Size, int depth) {
        const int size = 1 << log2Size;
        const bool inside = x + size <= width() && y + size <= height();
        const bool canSplit = log2Size > sps_.log2MinCodingBlockSize;
        bool split = !inside;
        if (inside && canSplit) {
            // A changed block is split as far as it goes, so that only its
            // changed parts carry residuals.
            split = source_ && changed(x, y, size);
            const int increment = (x > 0 && depthAt(x - 1, y) > depth) + (y > 0 && depthAt(x, y - 1) > depth);
            cabac_.encodeBin(contexts_.splitCu[static_cast<std::size_t>(increment)], split ? 1 : 0);
        }
        if (split) {
            const int half = size / 2;
            for (int k = 0; k < 4; ++k) {
                const int subX = x + (k % 2) * half, subY = y + (k / 2) * half;
                if (subX < width() && subY < height()) codeQuadtree(subX, subY, log2Size - 1, depth + 1);
            }
            return;
        }
        codingUnit(x, y, log2Size, depth);
    }

    void codingUnit(int x, int y, int log2Size, int depth) {
        const int size = 1 << log2Size;
        std::vector<TransformUnit> units;
        const bool residual = source_ && changed(x, y, size) && prepareResiduals(x, y, log2Size, units);
        // cu_skip_flag; its context counts skipped neighbours.
        const int increment = (x > 0 && skippedAt(x - 1, y)) + (y > 0 && skippedAt(x, y - 1));
        cabac_.encodeBin(contexts_.skip[static_cast<std::size_t>(increment)], residual ? 0 : 1);
        mark(x, y, size, depth, !residual);
        // merge_idx is not sent with one merge candidate.
        if (!residual) return;
        cabac_.encodeBin(contexts_.predMode, 0);   // pred_mode_flag: inter
        cabac_.encodeBin(contexts_.partMode, 1);   // part_mode: 2Nx2N
        cabac_.encodeBin(contexts_.mergeFlag, 1);  // merge_flag; rqt_root_cbf is inferred 1
        std::size_t next = 0;
        transformTree(units, next, log2Size, 0, true, true);
        reconstruct(units);
        copyBlock(*source_, *lastSource_, x, y, size);
    }

    // Residual against the decoded picture, transformed and quantised, in
    // transform units of the largest size allowed. False when every level
    // is zero (the unit is then skipped: the change is below the quantiser).
    bool prepareResiduals(int x, int y, int log2Size, std::vector<TransformUnit>& units) {
        const int log2Unit = std::min(log2Size, sps_.log2MaxTransformBlockSize);
        const int unit = 1 << log2Unit;
        const int perSide = 1 << (log2Size - log2Unit);
        bool any = false;
        // z-order, the order of the transform tree.
        for (int k = 0; k < perSide * perSide; ++k) {
            int ux = 0, uy = 0;
            for (int bit = 0; (1 << bit) < perSide * perSide; bit += 2) {
                ux |= ((k >> bit) & 1) << (bit / 2);
                uy |= ((k >> (bit + 1)) & 1) << (bit / 2);
            }
            TransformUnit tu;
            tu.x = x + ux * unit;
            tu.y = y + uy * unit;
            tu.log2Size = log2Unit;
            for (int c = 0; c < 3; ++c) {
                const int shift = c == 0 ? 0 : 1;
                const int log2 = log2Unit - shift, n = 1 << log2;
                const int px = tu.x >> shift, py = tu.y >> shift;
                std::vector<std::int16_t> residual(static_cast<std::size_t>(n * n));
                const auto& sourcePlane = (*source_)[static_cast<std::size_t>(c)];
                const auto& decodedPlane = (*decoded_)[static_cast<std::size_t>(c)];
                for (int j = 0; j < n; ++j) {
                    const std::uint8_t* s = sourcePlane.row(py + j) + px;
                    const std::uint8_t* d = decodedPlane.row(py + j) + px;
                    for (int i = 0; i < n; ++i) residual[static_cast<std::size_t>(j * n + i)] = static_cast<std::int16_t>(s[i] - d[i]);
                }
                std::vector<std::int32_t> coefficients(residual.size());
                HEVCResidualTransform::forwardTransform(residual, log2, coefficients);
                tu.levels[static_cast<std::size_t>(c)].resize(residual.size());
                tu.coded[static_cast<std::size_t>(c)] =
                    HEVCResidualTransform::quantise(coefficients, log2, chromaQp_[static_cast<std::size_t>(c)], tu.levels[static_cast<std::size_t>(c)]);
                any = any || tu.coded[static_cast<std::size_t>(c)];
            }
            units.push_back(std::move(tu));
        }
        return any;
    }

    // transform_tree: split exactly where the block exceeds the largest
    // transform; the units were prepared in this order.
    void transformTree(const std::vector<TransformUnit>& units, std::size_t& next, int log2Size, int depth,
                       bool parentCb, bool parentCr) {
        const bool split = log2Size > sps_.log2MaxTransformBlockSize;
        if (!split && log2Size > sps_.log2MinTransformBlockSize && depth < sps_.maxTransformHierarchyDepthInter) {
            cabac_.encodeBin(contexts_.splitTransform[static_cast<std::size_t>(5 - log2Size)], 0);
        }
        const std::size_t count = split ? std::size_t{1} << (2 * (log2Size - sps_.log2MaxTransformBlockSize)) : 1;
        bool cb = false, cr = false;
        for (std::size_t i = next; i < next + count; ++i) {
            cb = cb || units[i].coded[1];
            cr = cr || units[i].coded[2];
        }
        if (depth == 0 || parentCb) cabac_.encodeBin(contexts_.cbfChroma[static_cast<std::size_t>(depth)], cb ? 1 : 0);
        if (depth == 0 || parentCr) cabac_.encodeBin(contexts_.cbfChroma[static_cast<std::size_t>(depth)], cr ? 1 : 0);
        if (split) {
            for (int k = 0; k < 4; ++k) transformTree(units, next, log2Size - 1, depth + 1, cb, cr);
            return;
        }
        const TransformUnit& tu = units[next++];
        // cbf_luma is inferred 1 at the root when neither chroma block is coded.
        if (depth != 0 || cb || cr) cabac_.encodeBin(contexts_.cbfLuma[depth == 0 ? 1 : 0], tu.coded[0] ? 1 : 0);
        for (int c = 0; c < 3; ++c) {
            if (tu.coded[static_cast<std::size_t>(c)]) residualCoding(tu.levels[static_cast<std::size_t>(c)], c == 0 ? tu.log2Size : tu.log2Size - 1, c);
        }
    }

    void residualCoding(const std::vector<std::int16_t>& levels, int log2Size, int component) {
        const bool luma = component == 0;
        const int size = 1 << log2Size;
        if (pps_.transformSkip && log2Size == 2) cabac_.encodeBin(contexts_.transformSkip[luma ? 0 : 1], 0);
        const int subBlocks = size / 4;
        const std::vector<Position>& blockScan = scanOf(subBlocks);
        const std::vector<Position>& coefficientScan = scanOf(4);
        const auto level = [&](int subBlock, int n) {
            const Position b = blockScan[static_cast<std::size_t>(subBlock)], c = coefficientScan[static_cast<std::size_t>(n)];
            return levels[static_cast<std::size_t>((b.y * 4 + c.y) * size + b.x * 4 + c.x)];
        };
        // The last significant coefficient in scan order.
        int lastSubBlock = subBlocks * subBlocks - 1, lastPosition = 15;
        while (level(lastSubBlock, lastPosition) == 0) {
            if (--lastPosition < 0) {
                lastPosition = 15;
                --lastSubBlock;
            }
        }
        const Position lastBlock = blockScan[static_cast<std::size_t>(lastSubBlock)];
        const Position lastInBlock = coefficientScan[static_cast<std::size_t>(lastPosition)];
        codeLastPosition(lastBlock.x * 4 + lastInBlock.x, lastBlock.y * 4 + lastInBlock.y, log2Size, luma);

        std::vector<std::uint8_t> codedSubBlocks(static_cast<std::size_t>(subBlocks * subBlocks), 0);
        const auto csbf = [&](int bx, int by) {
            return bx < subBlocks && by < subBlocks ? codedSubBlocks[static_cast<std::size_t>(by * subBlocks + bx)] : std::uint8_t{0};
        };
        int greater1Context = 1;  // carried from sub-block to sub-block
        for (int i = lastSubBlock; i >= 0; --i) {
            const Position block = blockScan[static_cast<std::size_t>(i)];
            bool any = false;
            for (int n = 0; n < 16; ++n) any = any || level(i, n) != 0;
            bool inferDc = false;
            if (i < lastSubBlock && i > 0) {
                const int increment = std::min(1, csbf(block.x + 1, block.y) + csbf(block.x, block.y + 1)) + (luma ? 0 : 2);
                cabac_.encodeBin(contexts_.codedSubBlock[static_cast<std::size_t>(increment)], any ? 1 : 0);
                inferDc = true;
            } else {
                any = true;  // inferred for the first and the last sub-block
            }
            codedSubBlocks[static_cast<std::size_t>(block.y * subBlocks + block.x)] = any ? 1 : 0;
            if (!any) continue;
            const int previous = csbf(block.x + 1, block.y) | (csbf(block.x, block.y + 1) << 1);

            // sig_coeff_flag, from the last position down.
            std::array<int, 16> significant{};  // scan positions, in coding order
            int count = 0;
            if (i == lastSubBlock) significant[static_cast<std::size_t>(count++)] = lastPosition;
            for (int n = (i == lastSubBlock ? lastPosition - 1 : 15); n >= 0; --n) {
                const bool nonZero = level(i, n) != 0;
                if (n == 0 && inferDc) {
                    // Inferred significant when nothing else in the coded sub-block is.
                    if (nonZero || count == 0) significant[static_cast<std::size_t>(count++)] = 0;
                    break;
                }
                const Position c = coefficientScan[static_cast<std::size_t>(n)];
                cabac_.encodeBin(contexts_.sigCoeff[static_cast<std::size_t>(sigContext(block, c, previous, log2Size, luma))], nonZero ? 1 : 0);
                if (nonZero) {
                    significant[static_cast<std::size_t>(count++)] = n;
                    inferDc = false;
                }
            }

            // coeff_abs_level_greater1_flag for the first eight, greater2 for
            // the first of those above 1.
            int contextSet = (i == 0 || !luma) ? 0 : 2;
            if (greater1Context == 0) ++contextSet;
            greater1Context = 1;
            std::array<int, 16> base{};
            int firstGreater1 = -1;
            for (int k = 0; k < count; ++k) {
                const int magnitude = std::abs(level(i, significant[static_cast<std::size_t>(k)]));
                base[static_cast<std::size_t>(k)] = 1;
                if (k >= 8) continue;
                const bool greater1 = magnitude > 1;
                cabac_.encodeBin(contexts_.greater1[static_cast<std::size_t>(contextSet * 4 + greater1Context + (luma ? 0 : 16))], greater1 ? 1 : 0);
                if (greater1) {
                    base[static_cast<std::size_t>(k)] = 2;
                    greater1Context = 0;
                    if (firstGreater1 < 0) firstGreater1 = k;
                } else if (greater1Context > 0 && greater1Context < 3) {
                    ++greater1Context;
                }
            }
            if (firstGreater1 >= 0) {
                const bool greater2 = std::abs(level(i, significant[static_cast<std::size_t>(firstGreater1)])) > 2;
                cabac_.encodeBin(contexts_.greater2[static_cast<std::size_t>(contextSet + (luma ? 0 : 4))], greater2 ? 1 : 0);
                if (greater2) base[static_cast<std::size_t>(firstGreater1)] = 3;
            }
            for (int k = 0; k < count; ++k) cabac_.encodeBypass(level(i, significant[static_cast<std::size_t>(k)]) < 0 ? 1 : 0, 1);
            // coeff_abs_level_remaining where the flags leave the level open.
            int rice = 0;
            for (int k = 0; k < count; ++k) {
                const int magnitude = std::abs(level(i, significant[static_cast<std::size_t>(k)]));
                const int threshold = k < 8 ? (k == firstGreater1 ? 3 : 2) : 1;
                if (base[static_cast<std::size_t>(k)] != threshold) continue;
                codeRemaining(magnitude - threshold, rice);
                if (magnitude > 3 * (1 << rice)) rice = std::min(rice + 1, 4);
            }
        }
    }

    int sigContext(Position block, Position inBlock, int previous, int log2Size, bool luma) const {
        const int xC = block.x * 4 + inBlock.x, yC = block.y * 4 + inBlock.y;
        int context = 0;
        if (log2Size == 2) {
            context = sigContextOf4x4[static_cast<std::size_t>((yC << 2) + xC)];
        } else if (xC + yC == 0) {
            context = 0;
        } else {
            const int xP = inBlock.x, yP = inBlock.y;
            switch (previous) {
                case 0: context = xP + yP == 0 ? 2 : xP + yP < 3 ? 1 : 0; break;
                case 1: context = yP == 0 ? 2 : yP == 1 ? 1 : 0; break;
                case 2: context = xP == 0 ? 2 : xP == 1 ? 1 : 0; break;
                default: context = 2; break;
            }
            if (luma) {
                if (block.x > 0 || block.y > 0) context += 3;
                context += log2Size == 3 ? 9 : 21;  // diagonal scan
            } else {
                context += log2Size == 3 ? 9 : 12;
            }
        }
        return luma ? context : 27 + context;
    }

    void codeLastPosition(int x, int y, int log2Size, bool luma) {
        const int offset = luma ? 3 * (log2Size - 2) + ((log2Size - 1) >> 2) : 15;
        const int shift = luma ? (log2Size + 1) >> 2 : log2Size - 2;
        const int maximum = (log2Size << 1) - 1;
        const auto prefix = [&](int prefixValue, std::array<HEVCCabacContext, 18>& contexts) {
            for (int bin = 0; bin < prefixValue; ++bin) cabac_.encodeBin(contexts[static_cast<std::size_t>(offset + (bin >> shift))], 1);
            if (prefixValue < maximum) cabac_.encodeBin(contexts[static_cast<std::size_t>(offset + (prefixValue >> shift))], 0);
        };
        const int prefixX = lastPrefixOf[static_cast<std::size_t>(x)], prefixY = lastPrefixOf[static_cast<std::size_t>(y)];
        prefix(prefixX, contexts_.lastX);
        prefix(prefixY, contexts_.lastY);
        if (prefixX > 3) cabac_.encodeBypass(static_cast<std::uint32_t>(x - lastPrefixStart[static_cast<std::size_t>(prefixX)]), (prefixX >> 1) - 1);
        if (prefixY > 3) cabac_.encodeBypass(static_cast<std::uint32_t>(y - lastPrefixStart[static_cast<std::size_t>(prefixY)]), (prefixY >> 1) - 1);
    }

    // A Rice prefix up to four, then an Exp-Golomb code of order rice + 1.
    void codeRemaining(int value, int rice) {
        if (value < (4 << rice)) {
            const int prefix = value >> rice;
            cabac_.encodeBypass((1u << (prefix + 1)) - 2, prefix + 1);  // prefix ones, then a zero
            if (rice > 0) cabac_.encodeBypass(static_cast<std::uint32_t>(value & ((1 << rice) - 1)), rice);
            return;
        }
        cabac_.encodeBypass(15, 4);
        int rest = value - (4 << rice), k = rice + 1;
        while (rest >= (1 << k)) {
            cabac_.encodeBypass(1, 1);
            rest -= 1 << k;
            ++k;
        }
        cabac_.encodeBypass(0, 1);
        cabac_.encodeBypass(static_cast<std::uint32_t>(rest), k);
    }

    // The decoded picture gains each coded unit's residual, as a decoder adds it.
    void reconstruct(const std::vector<TransformUnit>& units) {
        for (const TransformUnit& tu : units) {
            for (int c = 0; c < 3; ++c) {
                if (!tu.coded[static_cast<std::size_t>(c)]) continue;
                const int shift = c == 0 ? 0 : 1;
                const int log2 = tu.log2Size - shift, n = 1 << log2;
                std::vector<std::int16_t> scaled(static_cast<std::size_t>(n * n)), residual(scaled.size());
                HEVCResidualTransform::dequantise(tu.levels[static_cast<std::size_t>(c)], log2, chromaQp_[static_cast<std::size_t>(c)], scaled);
                HEVCResidualTransform::inverseTransform(scaled, log2, residual);
                auto& plane = (*decoded_)[static_cast<std::size_t>(c)];
                for (int j = 0; j < n; ++j) {
                    std::uint8_t* d = plane.row((tu.y >> shift) + j) + (tu.x >> shift);
                    for (int i = 0; i < n; ++i) d[i] = static_cast<std::uint8_t>(std::clamp(d[i] + residual[static_cast<std::size_t>(j * n + i)], 0, 255));
                }
            }
        }
    }

    bool changed(int x, int y, int size) const {
        for (int c = 0; c < 3; ++c) {
            const int shift = c == 0 ? 0 : 1, n = size >> shift;
            const auto& a = (*source_)[static_cast<std::size_t>(c)];
            const auto& b = (*lastSource_)[static_cast<std::size_t>(c)];
            for (int j = 0; j < n; ++j) {
                if (std::memcmp(a.row((y >> shift) + j) + (x >> shift), b.row((y >> shift) + j) + (x >> shift), static_cast<std::size_t>(n)) != 0) return true;
            }
        }
        return false;
    }

    static void copyBlock(const HEVCUpdatePictureWriter::Picture& from, HEVCUpdatePictureWriter::Picture& to, int x, int y, int size) {
        for (int c = 0; c < 3; ++c) {
            const int shift = c == 0 ? 0 : 1, n = size >> shift;
            for (int j = 0; j < n; ++j) {
                std::memcpy(to[static_cast<std::size_t>(c)].row((y >> shift) + j) + (x >> shift),
                            from[static_cast<std::size_t>(c)].row((y >> shift) + j) + (x >> shift), static_cast<std::size_t>(n));
            }
        }
    }

    std::size_t cell(int x, int y) const {
        return static_cast<std::size_t>(y / minBlock_) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(x / minBlock_);
    }
    int depthAt(int x, int y) const { return depth_[cell(x, y)]; }
    bool skippedAt(int x, int y) const { return skipped_[cell(x, y)] != 0; }
    void mark(int x, int y, int size, int depth, bool skipped) {
        for (int row = y; row < std::min(height(), y + size); row += minBlock_) {
            for (int column = x; column < std::min(width(), x + size); column += minBlock_) {
                depth_[cell(column, row)] = static_cast<std::uint8_t>(depth);
                skipped_[cell(column, row)] = skipped ? 1 : 0;
            }
        }
    }

    const HEVCSequenceParameterSet& sps_;
    const HEVCPictureParameterSet& pps_;
    std::array<int, 3> chromaQp_{};
    HEVCCabacEncoder cabac_;
    Contexts contexts_;
    HEVCUpdatePictureWriter::Picture* decoded_;
    const HEVCUpdatePictureWriter::Picture* source_;  // null: skip everything
    HEVCUpdatePictureWriter::Picture* lastSource_;
    int minBlock_ = 8;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<std::uint8_t> depth_;
    std::vector<std::uint8_t> skipped_;
};

void overwriteBits(std::vector<std::uint8_t>& bytes, std::size_t bitPosition, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        const std::size_t bit = bitPosition + static_cast<std::size_t>(i);
        const auto mask = static_cast<std::uint8_t>(0x80u >> (bit % 8));
        if ((value >> (count - 1 - i)) & 1u) {
            bytes[bit / 8] |= mask;
        } else {
            bytes[bit / 8] &= static_cast<std::uint8_t>(~mask);
        }
    }
}

std::uint32_t lsbOf(std::int32_t pictureOrderCount, int log2MaxLsb) {
    return static_cast<std::uint32_t>(pictureOrderCount) & ((std::uint32_t{1} << log2MaxLsb) - 1);
}

HEVCUpdatePictureWriter::Plane makePlane(int width, int height) {
    HEVCUpdatePictureWriter::Plane plane;
    plane.width = width;
    plane.height = height;
    plane.samples.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    return plane;
}

}  // namespace

HEVCUpdatePictureWriter::HEVCUpdatePictureWriter(std::span<const std::uint8_t> spsRbsp,
                                                 std::span<const std::uint8_t> ppsRbsp,
                                                 std::uint32_t pictureParameterSetId, int layerId)
    : sps_(HEVCSequenceParameterSet::parse(spsRbsp)),
      pps_(HEVCPictureParameterSet::parse(ppsRbsp)),
      pictureParameterSetId_(pictureParameterSetId),
      layerId_(layerId) {
    if (pps_.transquantBypass) throw HEVCBitstreamError("кадры-обновления с кодированием без потерь не поддерживаются");
    if (pps_.tiles || pps_.entropyCodingSync) throw HEVCBitstreamError("кадры-обновления с плитками или волновой обработкой не поддерживаются");
    if (sps_.chromaArrayType() != 1 || sps_.bitDepthLumaMinus8 != 0 || sps_.bitDepthChromaMinus8 != 0) {
        throw HEVCBitstreamError("кадры-обновления пишутся только для 8-битного 4:2:0");
    }
    if (sps_.scalingListEnabled || pps_.signDataHiding || pps_.cuQpDeltaEnabled || sps_.log2MaxTransformBlockSize < 3) {
        throw HEVCBitstreamError("кадры-обновления не поддерживают такие параметры преобразования");
    }
    // A coded unit's transform edges would be deblocked by decoders, not here.
    if (!pps_.deblockingFilterDisabled && !pps_.deblockingFilterOverrideEnabled) {
        throw HEVCBitstreamError("кадры-обновления требуют отключаемого деблокинга");
    }
    // The conformance window of 4:2:0 counts in chroma samples.
    visibleWidth_ = static_cast<int>(sps_.widthLumaSamples - 2 * (sps_.confWinLeft + sps_.confWinRight));
    visibleHeight_ = static_cast<int>(sps_.heightLumaSamples - 2 * (sps_.confWinTop + sps_.confWinBottom));
    if (sps_.confWinLeft != 0 || sps_.confWinTop != 0) throw HEVCBitstreamError("окно соответствия сдвинуто влево или вверх");

    skipRbsp_ = sliceHeader(0, pps_.initQp, &pocBit_);
    HEVCBitWriter writer;
    UpdateSliceCoder coder(sps_, pps_, pps_.initQp, writer, nullptr, nullptr, nullptr);
    coder.codePicture();
    writer.writeTrailingBits();  // rbsp_slice_segment_trailing_bits
    skipRbsp_.insert(skipRbsp_.end(), writer.bytes().begin(), writer.bytes().end());

    const int width = static_cast<int>(sps_.widthLumaSamples), height = static_cast<int>(sps_.heightLumaSamples);
    for (Picture* picture : {&decoded_, &lastSource_, &source_}) {
        (*picture)[0] = makePlane(width, height);
        (*picture)[1] = makePlane(width / 2, height / 2);
        (*picture)[2] = makePlane(width / 2, height / 2);
    }
}

std::vector<std::uint8_t> HEVCUpdatePictureWriter::sliceHeader(std::int32_t pictureOrderCount, int sliceQp,
                                                               std::size_t* pocBit) const {
    HEVCBitWriter w;
    w.writeFlag(true);  // first_slice_segment_in_pic_flag
    w.writeUnsignedExpGolomb(pictureParameterSetId_);
    for (int i = 0; i < pps_.numExtraSliceHeaderBits; ++i) w.writeFlag(false);  // slice_reserved_flag
    w.writeUnsignedExpGolomb(static_cast<std::uint32_t>(HEVCSliceType::p));
    if (pps_.outputFlagPresent) w.writeFlag(true);  // pic_output_flag
    if (pocBit) *pocBit = w.bitPosition();
    w.writeBits(lsbOf(pictureOrderCount, sps_.log2MaxPicOrderCntLsb), sps_.log2MaxPicOrderCntLsb);
    // An explicit reference set: the previous picture, used.
    w.writeFlag(false);                                              // short_term_ref_pic_set_sps_flag
    if (!sps_.shortTermRefPicSets.empty()) w.writeFlag(false);       // inter_ref_pic_set_prediction_flag
    w.writeUnsignedExpGolomb(1);                                     // num_negative_pics
    w.writeUnsignedExpGolomb(0);                                     // num_positive_pics
    w.writeUnsignedExpGolomb(0);                                     // delta_poc_s0_minus1
    w.writeFlag(true);                                               // used_by_curr_pic_s0_flag
    if (sps_.longTermRefPicsPresent) {
        if (!sps_.usedByCurrPicLongTermSps.empty()) w.writeUnsignedExpGolomb(0);  // num_long_term_sps
        w.writeUnsignedExpGolomb(0);                                             // num_long_term_pics
    }
    if (sps_.temporalMvp) w.writeFlag(false);  // slice_temporal_mvp_enabled_flag
    if (sps_.sampleAdaptiveOffset) {
        w.writeFlag(false);                                 // slice_sao_luma_flag
        if (sps_.chromaArrayType() != 0) w.writeFlag(false);  // slice_sao_chroma_flag
    }
    w.writeFlag(true);            // num_ref_idx_active_override_flag
    w.writeUnsignedExpGolomb(0);  // num_ref_idx_l0_active_minus1: one reference
    if (pps_.cabacInitPresent) w.writeFlag(false);  // cabac_init_flag
    if (pps_.weightedPred) {
        // pred_weight_table() with default weights.
        w.writeUnsignedExpGolomb(0);                                   // luma_log2_weight_denom
        if (sps_.chromaArrayType() != 0) w.writeSignedExpGolomb(0);   // delta_chroma_log2_weight_denom
        w.writeFlag(false);                                            // luma_weight_l0_flag[0]
        if (sps_.chromaArrayType() != 0) w.writeFlag(false);          // chroma_weight_l0_flag[0]
    }
    w.writeUnsignedExpGolomb(4);  // five_minus_max_num_merge_cand: one merge candidate
    w.writeSignedExpGolomb(sliceQp - pps_.initQp);  // slice_qp_delta
    if (pps_.sliceChromaQpOffsetsPresent) {
        w.writeSignedExpGolomb(0);
        w.writeSignedExpGolomb(0);
    }
    bool deblocking = !pps_.deblockingFilterDisabled;
    if (pps_.deblockingFilterOverrideEnabled) {
        // Switched off wherever the PPS allows: residuals are reconstructed
        // here without the filter.
        const bool override = deblocking;
        w.writeFlag(override);  // deblocking_filter_override_flag
        if (override) {
            w.writeFlag(true);  // slice_deblocking_filter_disabled_flag
            deblocking = false;
        }
    }
    if (pps_.loopFilterAcrossSlices && deblocking) w.writeFlag(false);
    if (pps_.sliceSegmentHeaderExtensionPresent) w.writeUnsignedExpGolomb(0);
    w.writeByteAlignment();
    return w.bytes();
}

HEVCNalUnit HEVCUpdatePictureWriter::sliceUnit(std::vector<std::uint8_t> rbsp) const {
    HEVCNalUnit unit;
    unit.type = 1;  // TRAIL_R
    unit.layerId = layerId_;
    unit.temporalIdPlus1 = 1;
    unit.rbsp = std::move(rbsp);
    return unit;
}

HEVCNalUnit HEVCUpdatePictureWriter::skipPicture(std::int32_t pictureOrderCount) const {
    HEVCNalUnit unit = sliceUnit(skipRbsp_);
    overwriteBits(unit.rbsp, pocBit_, lsbOf(pictureOrderCount, sps_.log2MaxPicOrderCntLsb), sps_.log2MaxPicOrderCntLsb);
    return unit;
}

void HEVCUpdatePictureWriter::loadSource(const X265PlanarPicture& source, Picture& into) const {
    // Beyond the visible picture, the last visible column and row repeat.
    for (int c = 0; c < 3; ++c) {
        const int shift = c == 0 ? 0 : 1;
        const int width = visibleWidth_ >> shift, height = visibleHeight_ >> shift;
        Plane& plane = into[static_cast<std::size_t>(c)];
        for (int y = 0; y < plane.height; ++y) {
            const std::uint8_t* from = source.planes[c] + static_cast<std::ptrdiff_t>(std::min(y, height - 1)) * source.strides[c];
            std::uint8_t* to = plane.row(y);
            std::memcpy(to, from, static_cast<std::size_t>(width));
            std::memset(to + width, from[width - 1], static_cast<std::size_t>(plane.width - width));
        }
    }
}

void HEVCUpdatePictureWriter::restart(const X265PlanarPicture& source, const X265PlanarPicture& decoded) {
    loadSource(source, lastSource_);
    for (int c = 0; c < 3; ++c) {
        Plane& plane = decoded_[static_cast<std::size_t>(c)];
        for (int y = 0; y < plane.height; ++y) {
            std::memcpy(plane.row(y), decoded.planes[c] + static_cast<std::ptrdiff_t>(y) * decoded.strides[c], static_cast<std::size_t>(plane.width));
        }
    }
    started_ = true;
}

HEVCNalUnit HEVCUpdatePictureWriter::update(const X265PlanarPicture& source, std::int32_t pictureOrderCount, int qp) {
    if (!started_) throw HEVCBitstreamError("кадр-обновление без опорного IDR-кадра");
    loadSource(source, source_);
    std::vector<std::uint8_t> rbsp = sliceHeader(pictureOrderCount, qp, nullptr);
    HEVCBitWriter writer;
    UpdateSliceCoder coder(sps_, pps_, qp, writer, &decoded_, &source_, &lastSource_);
    coder.codePicture();
    writer.writeTrailingBits();
    rbsp.insert(rbsp.end(), writer.bytes().begin(), writer.bytes().end());
    return sliceUnit(std::move(rbsp));
}

X265PlanarPicture HEVCUpdatePictureWriter::decodedPicture() const {
    X265PlanarPicture picture;
    for (int c = 0; c < 3; ++c) {
        picture.planes[c] = decoded_[static_cast<std::size_t>(c)].samples.data();
        picture.strides[c] = decoded_[static_cast<std::size_t>(c)].width;
    }
    return picture;
}

}  // namespace pacemark
