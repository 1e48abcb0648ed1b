// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaFrameConverter.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace pacemark {
namespace {

// Two 2x2 blocks: the left one fully transparent, the right one transparent
// but for one opaque red pixel, so that a shortcut for transparent blocks
// that fires on a partly transparent block, or writes other values than the
// formula, shows in the planes.
TEST(HEVCAlphaFrameConverterTest, TransparentBlocksConvertAsEveryOtherBlock) {
    std::array<std::uint8_t, 4 * 4 * 2> bgra{};
    const std::size_t red = 4 * 2;  // pixel (2, 0)
    bgra[red + 2] = 255;
    bgra[red + 3] = 255;
    HEVCAlphaFrameConverter converter(4, 2);
    converter.convert(PixelBufferView{bgra.data(), 4, 2, 16});

    const X265PlanarPicture colour = converter.colourPicture();
    const X265PlanarPicture alpha = converter.alphaPicture();
    const std::array<int, 8> luma{16, 16, 63, 16, 16, 16, 16, 16};
    const std::array<int, 8> alphaValues{0, 0, 255, 0, 0, 0, 0, 0};
    for (std::size_t i = 0; i < luma.size(); ++i) {
        EXPECT_EQ(colour.planes[0][i], luma[i]) << "luma " << i;
        EXPECT_EQ(alpha.planes[0][i], alphaValues[i]) << "alpha " << i;
    }
    // Chroma of the right block is that of a quarter-intensity red.
    EXPECT_EQ(colour.planes[1][0], 128);
    EXPECT_EQ(colour.planes[2][0], 128);
    EXPECT_EQ(colour.planes[1][1], 122);
    EXPECT_EQ(colour.planes[2][1], 156);
}

}  // namespace
}  // namespace pacemark
