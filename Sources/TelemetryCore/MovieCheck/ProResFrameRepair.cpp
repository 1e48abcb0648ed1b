// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProResFrameRepair.h"

#include <algorithm>

#include "ProResFrame.h"

namespace pacemark {
namespace {

void addToBig(std::vector<std::uint8_t>& bytes, std::size_t at, int width, std::size_t added) {
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = value << 8 | bytes[at + std::size_t(i)];
    value += added;
    if (value >> (8 * width)) throw ProResFormatError("срез после исправления не помещается в индекс срезов");
    for (int i = width - 1; i >= 0; --i, value >>= 8) bytes[at + std::size_t(i)] = std::uint8_t(value);
}

}  // namespace

std::vector<std::uint8_t> ProResFrameRepair::repair(std::span<const std::uint8_t> frame) {
    const ProResFrame layout = ProResFrame::parse(frame);
    // Zero padding after the frame is left as it is.

    // Slices that need one more byte, and where their alpha ends.
    std::vector<std::size_t> growing;
    std::vector<std::size_t> paddingBits;  // absolute bit positions to set to 1
    for (std::size_t s = 0; s < layout.slices.size(); ++s) {
        const ProResSlice& slice = layout.slices[s];
        if (!layout.alphaBits) break;
        ProResAlphaScan scan;
        try {
            scan = scanProResAlpha(frame.subspan(slice.alphaOffset, slice.alphaSize), layout.alphaBits,
                                   slice.macroblocks * 256);
        } catch (const ProResFormatError& error) {
            throw ProResFormatError(error.errorDescription(), int(s));
        }
        if (scan.ending == ProResAlphaEnding::complete) continue;
        if (scan.endBit < slice.alphaSize * 8) {
            paddingBits.push_back(slice.alphaOffset * 8 + scan.endBit);
        } else {
            growing.push_back(s);
        }
    }

    std::vector<std::uint8_t> out;
    out.reserve(frame.size() + growing.size());
    std::size_t copied = 0;
    for (const std::size_t s : growing) {
        const ProResSlice& slice = layout.slices[s];
        const std::size_t end = slice.alphaOffset + slice.alphaSize;
        out.insert(out.end(), frame.begin() + std::ptrdiff_t(copied), frame.begin() + std::ptrdiff_t(end));
        out.push_back(0x80);  // the run code "1" (no repeats), then padding
        copied = end;
    }
    out.insert(out.end(), frame.begin() + std::ptrdiff_t(copied), frame.end());

    // Header fields and padding bits lie before every inserted byte that
    // follows them; shift positions by the bytes inserted ahead.
    std::vector<std::size_t> insertedAt;  // in frame order, as the slices lie
    for (const std::size_t s : growing) insertedAt.push_back(layout.slices[s].alphaOffset + layout.slices[s].alphaSize);
    const auto shifted = [&](std::size_t at) {
        return at + std::size_t(std::upper_bound(insertedAt.begin(), insertedAt.end(), at) - insertedAt.begin());
    };
    for (const std::size_t bit : paddingBits) {
        out[shifted(bit / 8)] |= std::uint8_t(0x80u >> (bit % 8));
    }
    for (const std::size_t s : growing) {
        const ProResSlice& slice = layout.slices[s];
        addToBig(out, shifted(slice.sizeEntryOffset), 2, 1);
        addToBig(out, shifted(layout.pictures[slice.pictureIndex].offset) + 1, 4, 1);
    }
    if (!growing.empty()) addToBig(out, 0, 4, growing.size());
    if (layout.versionTooLow()) out[ProResFrame::kVersionOffset + 1] = 1;
    out[ProResFrame::kAlphaTypeOffset] &= 0x0F;
    return out;
}

}  // namespace pacemark
