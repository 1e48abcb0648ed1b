// SPDX-License-Identifier: GPL-3.0-or-later
#include "OverlayCompositor.h"

#include <gtest/gtest.h>

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

TEST(OverlayCompositorTest, OpaqueWhiteIsLimitedRangeWhite) {
    TestPicture<std::uint8_t> picture(limited709, 8, 8, 16, 90, 200);
    Overlay overlay(8, 8);
    overlay.fill(255, 255, 255, 255);
    OverlayCompositor compositor(limited709, 8, 8, 0);
    compositor.setOverlay(overlay.view());
    compositor.composite(picture.view());
    EXPECT_EQ(picture.luma(3, 5), 235);
    EXPECT_EQ(picture.chroma(1, 2, 1), 128);
    EXPECT_EQ(picture.chroma(2, 2, 1), 128);
}

TEST(OverlayCompositorTest, OpaqueWhiteIsFullRangeWhiteInAFullRangeClip) {
    const YUVPictureFormat full{YUVMatrix::bt709, true, 8, 1, 1};
    TestPicture<std::uint8_t> picture(full, 4, 4, 0, 0, 0);
    Overlay overlay(4, 4);
    overlay.fill(255, 255, 255, 255);
    OverlayCompositor compositor(full, 4, 4, 0);
    compositor.setOverlay(overlay.view());
    compositor.composite(picture.view());
    EXPECT_EQ(picture.luma(0, 0), 255);
    EXPECT_EQ(picture.chroma(1, 0, 0), 128);
}

TEST(OverlayCompositorTest, RedUsesTheClipsMatrix) {
    // Y' of pure red: 16 + 219 Kr, with Kr 0.2126 (BT.709) and 0.299 (BT.601).
    for (const auto& [matrix, luma] : {std::pair{YUVMatrix::bt709, 63}, std::pair{YUVMatrix::bt601, 81}}) {
        const YUVPictureFormat format{matrix, false, 8, 1, 1};
        TestPicture<std::uint8_t> picture(format, 2, 2, 100, 100, 100);
        Overlay overlay(2, 2);
        overlay.fill(255, 0, 0, 255);
        OverlayCompositor compositor(format, 2, 2, 0);
        compositor.setOverlay(overlay.view());
        compositor.composite(picture.view());
        EXPECT_EQ(picture.luma(1, 1), luma);
        EXPECT_EQ(picture.chroma(2, 0, 0), 240);  // Cr of pure red is the top of the range in every matrix
    }
}

TEST(OverlayCompositorTest, TenBitClipGetsTenBitValues) {
    const YUVPictureFormat format{YUVMatrix::bt2020, false, 10, 1, 1};
    TestPicture<std::uint16_t> picture(format, 4, 2, 64, 512, 512);
    Overlay overlay(4, 2);
    overlay.fill(255, 255, 255, 255);
    overlay.set(1, 1, 0, 0, 255, 255);  // blue in the first chroma block
    OverlayCompositor compositor(format, 4, 2, 0);
    compositor.setOverlay(overlay.view());
    compositor.composite(picture.view());
    EXPECT_EQ(picture.luma(0, 0), 940);
    // 64 + 876 Kb with BT.2020's Kb 0.0593.
    EXPECT_EQ(picture.luma(1, 1), 116);
    EXPECT_EQ(picture.chroma(1, 1, 0), 512);
    // The block of three whites and one blue: Cb 512 + 448 / 4.
    EXPECT_EQ(picture.chroma(1, 0, 0), 624);
}

// White is HDR reference white (203 cd/m²): 75 % of the HLG signal, 58 % of PQ's.
TEST(OverlayCompositorTest, WhiteInAnHDRClipIsReferenceWhite) {
    for (const auto& [transfer, luma] : {std::pair{YUVTransfer::hlg, 721}, std::pair{YUVTransfer::pq, 573}}) {
        const YUVPictureFormat format{YUVMatrix::bt2020, false, 10, 1, 1, transfer};
        TestPicture<std::uint16_t> picture(format, 2, 2, 64, 512, 512);
        Overlay overlay(2, 2);
        overlay.fill(255, 255, 255, 255);
        OverlayCompositor compositor(format, 2, 2, 0);
        compositor.setOverlay(overlay.view());
        compositor.composite(picture.view());
        EXPECT_EQ(picture.luma(0, 0), luma);
        EXPECT_EQ(picture.chroma(1, 0, 0), 512);
    }
}

// A translucent colour keeps its hue and alpha in an HDR clip: the curve is
// applied to the straight colour, not to the premultiplied one.
TEST(OverlayCompositorTest, TranslucentWhiteInAnHDRClipIsReferenceWhiteAtItsAlpha) {
    const YUVPictureFormat format{YUVMatrix::bt2020, false, 10, 1, 1, YUVTransfer::hlg};
    TestPicture<std::uint16_t> picture(format, 2, 2, 64, 512, 512);
    Overlay overlay(2, 2);
    overlay.fill(51, 51, 51, 51);  // white at alpha 0.2
    OverlayCompositor compositor(format, 2, 2, 0);
    compositor.setOverlay(overlay.view());
    compositor.composite(picture.view());
    // 64 · 0.8 + 721 · 0.2
    EXPECT_EQ(picture.luma(0, 0), 195);
}

TEST(OverlayCompositorTest, HalfTransparentGreyBlendsWithTheClip) {
    TestPicture<std::uint8_t> picture(limited709, 2, 2, 16, 128, 128);
    Overlay overlay(2, 2);
    overlay.fill(128, 128, 128, 128);  // premultiplied: white at alpha 0.5
    OverlayCompositor compositor(limited709, 2, 2, 0);
    compositor.setOverlay(overlay.view());
    compositor.composite(picture.view());
    // 16 · (1 − 128/255) + (16 · 128/255 + 219 · 128/255) = 16 + 219 · 0.502
    EXPECT_EQ(picture.luma(0, 0), 126);
    EXPECT_EQ(picture.chroma(1, 0, 0), 128);
}

TEST(OverlayCompositorTest, TransparentOverlayLeavesThePictureAlone) {
    TestPicture<std::uint8_t> picture(limited709, 64, 32, 77, 99, 111);
    const auto before = picture.planes[0];
    Overlay overlay(64, 32);
    OverlayCompositor compositor(limited709, 64, 32, 0);
    compositor.setOverlay(overlay.view());
    compositor.composite(picture.view());
    EXPECT_EQ(compositor.coveredLumaSamples(), 0);
    EXPECT_EQ(picture.planes[0], before);
}

TEST(OverlayCompositorTest, OnlyTheCoveredRunsAreTouched) {
    TestPicture<std::uint8_t> picture(limited709, 200, 4, 50, 128, 128);
    Overlay overlay(200, 4);
    overlay.set(10, 0, 255, 255, 255, 255);
    overlay.set(150, 3, 255, 255, 255, 255);
    OverlayCompositor compositor(limited709, 200, 4, 0);
    compositor.setOverlay(overlay.view());
    EXPECT_EQ(compositor.coveredLumaSamples(), 2);
    compositor.composite(picture.view());
    EXPECT_EQ(picture.luma(10, 0), 235);
    EXPECT_EQ(picture.luma(11, 0), 50);
    EXPECT_EQ(picture.luma(150, 3), 235);
    EXPECT_EQ(picture.luma(150, 2), 50);
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
