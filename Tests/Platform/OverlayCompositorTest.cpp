// SPDX-License-Identifier: GPL-3.0-or-later
#include "OverlayCompositor.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace pacemark {
namespace {

// A picture of one format filled with one value per plane, and an overlay
// picture to draw into.
template <typename Sample>
struct TestPicture {
    TestPicture(const YUVPictureFormat& format, int width, int height, Sample y, Sample cb, Sample cr)
        : chromaWidth((width + (1 << format.chromaShiftX) - 1) >> format.chromaShiftX),
          chromaHeight((height + (1 << format.chromaShiftY) - 1) >> format.chromaShiftY),
          width(width) {
        planes[0].assign(static_cast<std::size_t>(width * height), y);
        planes[1].assign(static_cast<std::size_t>(chromaWidth * chromaHeight), cb);
        planes[2].assign(static_cast<std::size_t>(chromaWidth * chromaHeight), cr);
    }
    YUVPlanes view() {
        YUVPlanes result;
        for (int i = 0; i < 3; ++i) {
            result.data[i] = reinterpret_cast<std::uint8_t*>(planes[i].data());
            result.bytesPerRow[i] = static_cast<std::ptrdiff_t>((i == 0 ? width : chromaWidth) * sizeof(Sample));
        }
        return result;
    }
    Sample luma(int x, int y) const { return planes[0][static_cast<std::size_t>(y * width + x)]; }
    Sample chroma(int plane, int x, int y) const { return planes[plane][static_cast<std::size_t>(y * chromaWidth + x)]; }

    int chromaWidth;
    int chromaHeight;
    int width;
    std::vector<Sample> planes[3];
};

struct Overlay {
    Overlay(int width, int height) : width(width), height(height), pixels(static_cast<std::size_t>(width * height), 0) {}
    // Premultiplied B, G, R, A in the renderer's byte order.
    void set(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
        pixels[static_cast<std::size_t>(y * width + x)] =
            std::uint32_t(b) | (std::uint32_t(g) << 8) | (std::uint32_t(r) << 16) | (std::uint32_t(a) << 24);
    }
    void fill(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) set(x, y, r, g, b, a);
    }
    PixelBufferView view() { return {reinterpret_cast<std::uint8_t*>(pixels.data()), width, height, width * 4}; }
    int width;
    int height;
    std::vector<std::uint32_t> pixels;
};

constexpr YUVPictureFormat limited709{YUVMatrix::bt709, false, 8, 1, 1};

// Composites `overlay` over `picture` with a compositor of the picture's format and size.
template <typename Sample>
void composite(const YUVPictureFormat& format, TestPicture<Sample>& picture, Overlay& overlay) {
    OverlayCompositor compositor(format, overlay.width, overlay.height, 0);
    compositor.setOverlay(overlay.view());
    compositor.composite(picture.view());
}

// Sample values of one pixel; -1 where a row does not say.
struct YCbCr {
    int y = -1, cb = -1, cr = -1;
};

// An 8×8 picture of `format`, all `background`, under an overlay of one
// premultiplied colour: the values of a pixel inside.
template <typename Sample>
YCbCr compositedUniformly(const YUVPictureFormat& format, YCbCr background, std::array<std::uint8_t, 4> rgba) {
    TestPicture<Sample> picture(format, 8, 8, Sample(background.y), Sample(background.cb), Sample(background.cr));
    Overlay overlay(8, 8);
    overlay.fill(rgba[0], rgba[1], rgba[2], rgba[3]);
    composite(format, picture, overlay);
    return {picture.luma(5, 3), picture.chroma(1, 2, 1), picture.chroma(2, 2, 1)};
}

// One colour over the whole clip comes out as the clip's range, matrix,
// depth and transfer say.
TEST(OverlayCompositorTest, UniformColourTakesTheClipsFormat) {
    const YUVPictureFormat full{YUVMatrix::bt709, true, 8, 1, 1};
    const YUVPictureFormat rec601{YUVMatrix::bt601, false, 8, 1, 1};
    const YUVPictureFormat hlg{YUVMatrix::bt2020, false, 10, 1, 1, YUVTransfer::hlg};
    const YUVPictureFormat pq{YUVMatrix::bt2020, false, 10, 1, 1, YUVTransfer::pq};
    const std::array<std::uint8_t, 4> white{255, 255, 255, 255}, red{255, 0, 0, 255};
    const struct {
        const char* name;
        YUVPictureFormat format;
        YCbCr background;
        std::array<std::uint8_t, 4> rgba;
        YCbCr expected;
    } rows[] = {
        {"white, limited range", limited709, {16, 90, 200}, white, {235, 128, 128}},
        {"white, full range", full, {0, 0, 0}, white, {255, 128, 128}},
        // Y' of pure red: 16 + 219 Kr, with Kr 0.2126 (BT.709) and 0.299 (BT.601);
        // its Cr is the top of the range in every matrix.
        {"red, BT.709", limited709, {100, 100, 100}, red, {63, -1, 240}},
        {"red, BT.601", rec601, {100, 100, 100}, red, {81, -1, 240}},
        // HDR reference white (203 cd/m²): 75 % of the HLG signal, 58 % of PQ's.
        {"white, HLG", hlg, {64, 512, 512}, white, {721, 512, -1}},
        {"white, PQ", pq, {64, 512, 512}, white, {573, 512, -1}},
        // The curve is applied to the straight colour: 64 · 0.8 + 721 · 0.2.
        {"white at alpha 0.2, HLG", hlg, {64, 512, 512}, {51, 51, 51, 51}, {195, -1, -1}},
        // 16 · (1 − 128/255) + (16 · 128/255 + 219 · 128/255) = 16 + 219 · 0.502
        {"white at alpha 0.5", limited709, {16, 128, 128}, {128, 128, 128, 128}, {126, 128, -1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const YCbCr got = row.format.bitDepth > 8 ? compositedUniformly<std::uint16_t>(row.format, row.background, row.rgba)
                                                  : compositedUniformly<std::uint8_t>(row.format, row.background, row.rgba);
        EXPECT_EQ(got.y, row.expected.y);
        if (row.expected.cb >= 0) {
            EXPECT_EQ(got.cb, row.expected.cb);
        }
        if (row.expected.cr >= 0) {
            EXPECT_EQ(got.cr, row.expected.cr);
        }
    }
}

TEST(OverlayCompositorTest, TenBitClipGetsTenBitValues) {
    const YUVPictureFormat format{YUVMatrix::bt2020, false, 10, 1, 1};
    TestPicture<std::uint16_t> picture(format, 4, 2, 64, 512, 512);
    Overlay overlay(4, 2);
    overlay.fill(255, 255, 255, 255);
    overlay.set(1, 1, 0, 0, 255, 255);  // blue in the first chroma block
    composite(format, picture, overlay);
    EXPECT_EQ(picture.luma(0, 0), 940);
    // 64 + 876 Kb with BT.2020's Kb 0.0593.
    EXPECT_EQ(picture.luma(1, 1), 116);
    EXPECT_EQ(picture.chroma(1, 1, 0), 512);
    // The block of three whites and one blue: Cb 512 + 448 / 4.
    EXPECT_EQ(picture.chroma(1, 0, 0), 624);
}

// Only the pixels the overlay covers change: a transparent overlay covers
// none, and a row's covered runs end at its last covered pixel.
TEST(OverlayCompositorTest, OnlyTheCoveredPixelsAreTouched) {
    TestPicture<std::uint8_t> picture(limited709, 200, 4, 50, 128, 128);
    Overlay overlay(200, 4);
    OverlayCompositor compositor(limited709, 200, 4, 0);
    compositor.setOverlay(overlay.view());
    EXPECT_EQ(compositor.coveredLumaSamples(), 0);

    overlay.set(10, 0, 255, 255, 255, 255);
    overlay.set(150, 3, 255, 255, 255, 255);
    compositor.setOverlay(overlay.view());
    EXPECT_EQ(compositor.coveredLumaSamples(), 2);
    auto expected = picture.planes[0];
    expected[10] = 235;
    expected[3 * 200 + 150] = 235;
    compositor.composite(picture.view());
    EXPECT_EQ(picture.planes[0], expected);
}

// A clip stored landscape and shown turned clockwise by 90°: the upright
// overlay's top-left corner is the stored picture's bottom-left.
TEST(OverlayCompositorTest, OverlayIsTurnedIntoTheStoredOrientation) {
    const YUVPictureFormat format{YUVMatrix::bt709, false, 8, 0, 0};
    for (const auto& [rotation, storedX, storedY] :
         {std::tuple{90, 0, 3}, std::tuple{180, 5, 3}, std::tuple{270, 5, 0}, std::tuple{0, 0, 0}}) {
        OverlayCompositor compositor(format, 6, 4, rotation);
        Overlay overlay(static_cast<int>(compositor.overlayWidth()), static_cast<int>(compositor.overlayHeight()));
        overlay.set(0, 0, 255, 255, 255, 255);
        TestPicture<std::uint8_t> picture(format, 6, 4, 16, 128, 128);
        compositor.setOverlay(overlay.view());
        compositor.composite(picture.view());
        EXPECT_EQ(picture.luma(storedX, storedY), 235) << rotation;
        EXPECT_EQ(compositor.coveredLumaSamples(), 1) << rotation;
    }
}

}  // namespace
}  // namespace pacemark
