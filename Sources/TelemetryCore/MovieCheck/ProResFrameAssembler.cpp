// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProResFrameAssembler.h"

#include <algorithm>

namespace pacemark {
namespace {

void putBig(std::uint8_t* at, int width, std::uint64_t value) {
    for (int i = width - 1; i >= 0; --i, value >>= 8) at[i] = std::uint8_t(value);
}

}  // namespace

ProResFrameAssembler::ProResFrameAssembler(std::span<const std::uint8_t> reference) {
    const ProResFrame frame = ProResFrame::parse(reference);
    if (frame.pictures.size() != 1) throw ProResFormatError("сборка кадра из срезов поддерживает только прогрессивные кадры");
    const ProResPicture& picture = frame.pictures[0];
    const std::size_t pictureHeaderSize = reference[picture.offset] >> 3;
    frameHeader_.assign(reference.begin(), reference.begin() + std::ptrdiff_t(picture.offset));
    pictureHeader_.assign(reference.begin() + std::ptrdiff_t(picture.offset),
                          reference.begin() + std::ptrdiff_t(picture.offset + pictureHeaderSize));
    for (const ProResSlice& slice : frame.slices) sliceMacroblocks_.push_back(slice.macroblocks);
    const int rowMacroblocks = (frame.width + 15) / 16;
    for (int sum = 0; sum < rowMacroblocks; sum += sliceMacroblocks_[rowSliceMacroblocks_.size()]) {
        rowSliceMacroblocks_.push_back(sliceMacroblocks_[rowSliceMacroblocks_.size()]);
    }
    macroblockRows_ = int(sliceMacroblocks_.size() / rowSliceMacroblocks_.size());
}

void ProResFrameAssembler::assemble(std::span<const std::span<const std::uint8_t>> slices,
                                    std::vector<std::uint8_t>& frame) const {
    if (slices.size() != sliceCount()) throw ProResFormatError("число срезов не соответствует размеру кадра");
    std::size_t sliceBytes = 0;
    for (std::size_t s = 0; s < slices.size(); ++s) {
        if (slices[s].empty() || slices[s].size() > 0xFFFF) {
            throw ProResFormatError("срез не помещается в индекс срезов", int(s));
        }
        sliceBytes += slices[s].size();
    }
    const std::size_t indexSize = 2 * slices.size();
    const std::size_t pictureSize = pictureHeader_.size() + indexSize + sliceBytes;
    const std::size_t frameSize = frameHeader_.size() + pictureSize;
    if (frameSize > 0xFFFFFFFFu) throw ProResFormatError("кадр больше 4 ГБ");

    frame.resize(frameSize);
    std::uint8_t* out = frame.data();
    std::copy(frameHeader_.begin(), frameHeader_.end(), out);
    putBig(out, 4, frameSize);
    out += frameHeader_.size();
    std::copy(pictureHeader_.begin(), pictureHeader_.end(), out);
    putBig(out + 1, 4, pictureSize);
    out += pictureHeader_.size();
    for (const auto& slice : slices) {
        putBig(out, 2, slice.size());
        out += 2;
    }
    for (const auto& slice : slices) out = std::copy(slice.begin(), slice.end(), out);
}

std::vector<std::span<const std::uint8_t>> ProResFrameAssembler::slicesOf(std::span<const std::uint8_t> frame) {
    const ProResFrame layout = ProResFrame::parse(frame);
    std::vector<std::span<const std::uint8_t>> slices;
    slices.reserve(layout.slices.size());
    for (const ProResSlice& slice : layout.slices) slices.push_back(frame.subspan(slice.offset, slice.size));
    return slices;
}

}  // namespace pacemark
