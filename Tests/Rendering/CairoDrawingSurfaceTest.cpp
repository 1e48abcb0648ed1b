// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "CairoDrawingSurface.h"
#include "CairoPNG.h"
#include "Rendering/DrawingBounds.h"
#include "TestSupport.h"

using namespace pacemark;

namespace {

std::shared_ptr<const CairoDrawingSurfaceFactory> factory() {
    static const auto shared = std::make_shared<const CairoDrawingSurfaceFactory>();
    return shared;
}

std::uint8_t alphaAt(const OwnedPixelBuffer& picture, int x, int y) {
    return picture.bytes[static_cast<std::size_t>((y * picture.width + x) * 4 + 3)];
}

// The whole pixels whose alpha is above `threshold`; empty when there are none.
DrawingRect inkOf(const OwnedPixelBuffer& picture, std::uint8_t threshold = 0) {
    DrawingRect ink;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (alphaAt(picture, x, y) > threshold) {
                ink = bounds::unite(ink, {static_cast<double>(x), static_cast<double>(y), 1, 1});
            }
        }
    }
    return ink;
}

// The rightmost column holding any ink, or -1.
double rightmostInk(const OwnedPixelBuffer& picture) { return inkOf(picture).maxX() - 1; }

// `text` in white bold 40 px in a box 60 px high at (10, 10) of a 400 × 80 picture.
OwnedPixelBuffer drawText(const std::string& text, bool monospacedDigits, double width = 380,
                          double minimumScale = 1, DrawingTextAlignment alignment = DrawingTextAlignment::left) {
    OwnedPixelBuffer picture(400, 80);
    auto surface = factory()->makeSurface(picture.view());
    surface->drawText(text, {10, 10, width, 60}, {40, DrawingFontWeight::bold, monospacedDigits, minimumScale},
                      DrawingColor::white(), alignment);
    surface.reset();
    return picture;
}

}  // namespace

TEST(CairoDrawingSurfaceTest, MonospacedDigitsAllHaveOneAdvance) {
    // The bar after the digits moves by the digits' advance only.
    EXPECT_EQ(rightmostInk(drawText("1111|", true)), rightmostInk(drawText("8888|", true)));
    // Proportional digits differ, so the comparison above can fail.
    EXPECT_NE(rightmostInk(drawText("1111|", false)), rightmostInk(drawText("8888|", false)));
}

TEST(CairoDrawingSurfaceTest, TextStaysInsideItsRectangleAtEitherAlignment) {
    EXPECT_LE(rightmostInk(drawText("1234567890123456789012345", true)), 390);  // cut, never beyond the rectangle
    EXPECT_GT(rightmostInk(drawText("42", true, 380, 1, DrawingTextAlignment::right)), 370);  // right-aligned
}

// A value too wide for its box is drawn smaller on the same baseline instead
// of being cut, as long as the minimum scale allows.
TEST(CairoDrawingSurfaceTest, ShrinkableTextFitsOnItsBaselineBeforeBeingCut) {
    const auto draw = [](double width, double minimumScale) { return drawText("8888", true, width, minimumScale); };
    const auto natural = draw(380, 0.5);
    const double naturalWidth = rightmostInk(natural) - 10;
    ASSERT_GT(naturalWidth, 60);

    const double narrow = naturalWidth * 0.7;
    const auto shrunk = draw(narrow, 0.5);
    EXPECT_LE(rightmostInk(shrunk), 10 + narrow + 1);
    EXPECT_GT(rightmostInk(shrunk), 10 + narrow * 0.85) << "the digits fill the box instead of ending in an ellipsis";
    const DrawingRect naturalRows = inkOf(natural, 128), shrunkRows = inkOf(shrunk, 128);
    EXPECT_NEAR(shrunkRows.maxY(), naturalRows.maxY(), 1) << "same baseline";
    EXPECT_GT(shrunkRows.minY(), naturalRows.minY() + 3) << "smaller glyphs";

    // Without shrinking the line is cut instead.
    const DrawingRect cutRows = inkOf(draw(narrow, 1.0), 128);
    EXPECT_EQ(std::pair(cutRows.minY(), cutRows.maxY()), std::pair(naturalRows.minY(), naturalRows.maxY()));
}

// (Shadows, clearing and the BGRA byte order are checked through whole
// frames in LayoutFrameRendererPixelTest.)
TEST(CairoDrawingSurfaceTest, PaintingHonoursTheClipUntilTheStateIsRestored) {
    OwnedPixelBuffer picture(64, 64);
    auto surface = factory()->makeSurface(picture.view());
    surface->setFillColor(DrawingColor::white());
    surface->saveState();
    surface->clipToRect({0, 0, 32, 64});
    surface->fillEllipse({0, 0, 64, 64});
    surface->restoreState();
    surface->fillEllipse({40, 0, 8, 8});
    surface.reset();
    EXPECT_EQ(alphaAt(picture, 16, 32), 255);
    EXPECT_EQ(alphaAt(picture, 48, 32), 0);
    EXPECT_EQ(alphaAt(picture, 44, 4), 255);
}

TEST(CairoDrawingSurfaceTest, DegenerateInputDrawsNothing) {
    OwnedPixelBuffer picture(32, 32);
    auto surface = factory()->makeSurface(picture.view());
    surface->setFillColor(DrawingColor::white());
    DrawingPath odd;
    odd.addRoundedRect({4, 4, 10, 6}, 50);  // radius beyond half a side
    odd.addArc({std::nan(""), 3}, 5, 0, 1);
    odd.addRect({1, 1, -5, 3});
    surface->addPath(odd);
    surface->fillPath();
    surface->drawText("x", {0, 0, std::nan(""), 10}, {}, DrawingColor::white(), DrawingTextAlignment::left);
    EXPECT_FALSE(surface->drawLinearGradient(DrawingColor::white(), DrawingColor::black(), {3, 3}, {3, 3}));
    // The surface still works afterwards.
    surface->fillEllipse({20, 20, 10, 10});
    surface.reset();
    EXPECT_EQ(alphaAt(picture, 9, 7), 255);  // the clamped rounded rectangle
    EXPECT_EQ(alphaAt(picture, 25, 25), 255);
}

TEST(CairoDrawingSurfaceTest, RefusesViewsItCannotDrawInto) {
    std::vector<std::uint8_t> memory(64 * 64 * 4);
    EXPECT_EQ(factory()->makeSurface({nullptr, 64, 64, 256}), nullptr);
    EXPECT_EQ(factory()->makeSurface({memory.data(), 64, 64, 200}), nullptr);  // rows shorter than the width
    EXPECT_EQ(factory()->makeSurface({memory.data(), 63, 64, 253}), nullptr);  // not whole 4-byte words
    EXPECT_NE(factory()->makeSurface({memory.data(), 64, 64, 256}), nullptr);
}

TEST(CairoDrawingSurfaceTest, MissingFontFilesAreReportedInRussian) {
    pacemark::testing::TemporaryFolder empty;
    const auto error =
        pacemark::testing::thrownBy<DrawingFontError>([&] { CairoDrawingSurfaceFactory broken(empty.path()); });
    EXPECT_NE(error.errorDescription().find("fonts-inter"), std::string::npos);
    EXPECT_NE(error.errorDescription().find("Не удалось загрузить шрифт"), std::string::npos);
}
