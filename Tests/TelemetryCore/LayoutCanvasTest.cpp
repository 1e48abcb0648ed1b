// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include "Layout/PacemarkPreset.h"
#include "Rendering/LayoutCanvas.h"
#include "Rendering/LayoutCanvasSurface.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "Rendering/RecordingDrawingSurface.h"
#include "TestRides.h"

using namespace pacemark;

namespace {

using Call = RecordedDrawingCall;

constexpr PacemarkLayoutAspect kWide{16, 9};

void expectRect(const DrawingRect& actual, const DrawingRect& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
    EXPECT_NEAR(actual.width, expected.width, 1e-9);
    EXPECT_NEAR(actual.height, expected.height, 1e-9);
}

PacemarkWidget speedWidget(TelemetryWidgetFrame frame) {
    return PacemarkWidget(UUID::random(), TelemetryWidgetKind::speed, frame, "", 0x35D05B, 0xA8A8A8, 0xFFFFFF,
                          TelemetryWidgetPanelStyle::glass, true);
}

}  // namespace

TEST(LayoutCanvasTest, ATallerPictureHoldsTheLayoutAcrossItsWidthOnTheBottomEdge) {
    const LayoutCanvas portrait = LayoutCanvas::fit(kWide, 1080, 1920);
    expectRect(portrait.area, {0, 1920 - 607.5, 1080, 607.5});
    EXPECT_DOUBLE_EQ(portrait.scale, 0.5625);
    // The widget keeps its 1920 × 1080 shape, scaled, instead of being stretched upright.
    const PacemarkWidget widget = speedWidget({0.04, 0.68, 0.15, 0.15});
    const DrawingRect wide = LayoutFrameRenderer::rect(widget, 1920, 1080);
    EXPECT_NEAR(portrait.widgetRect(widget).width / portrait.widgetRect(widget).height, wide.width / wide.height, 1e-12);
    // The whole picture in layout units reaches above the layout's area.
    expectRect(portrait.designPicture(), {0, -(1920 - 607.5) / 0.5625, 1920, 1920 / 0.5625});
}

TEST(LayoutCanvasTest, AWiderPictureHoldsTheLayoutCentredAcrossItsHeight) {
    const LayoutCanvas cinema = LayoutCanvas::fit(kWide, 2560, 1080);
    expectRect(cinema.area, {320, 0, 1920, 1080});
    // A portrait layout on a landscape picture: its 1080 × 1920 units in the middle.
    expectRect(LayoutCanvas::fit({9, 16}, 1920, 1080).area, {(1920 - 607.5) / 2, 0, 607.5, 1080});
}

// Everything of a frame, not only the widgets' rectangles, follows the one
// factor: at 3840 × 2160 every coordinate, length, line, shadow and font of
// the 1920 × 1080 frame doubles.
TEST(LayoutCanvasTest, EveryLengthOfAFrameFollowsTheScale) {
    const auto ride = pacemark::testing::rideOfSeconds(1200);
    for (const PacemarkPreset preset : PacemarkPreset::allCases()) {
        SCOPED_TRACE(std::string(preset.rawValue()));
        const PacemarkLayout layout = preset.layout();
        const LayoutFrameRenderer fullHD(ride, layout, 1920, 1080, nullptr);
        const LayoutFrameRenderer ultraHD(ride, layout, 3840, 2160, nullptr);
        RecordingDrawingSurface small(1920, 1080), large(3840, 2160);
        fullHD.drawFrame(600, small);
        ultraHD.drawFrame(600, large);
        ASSERT_EQ(small.calls().size(), large.calls().size());
        for (std::size_t k = 0; k < small.calls().size(); ++k) {
            const Call& a = small.calls()[k];
            const Call& b = large.calls()[k];
            ASSERT_EQ(a.type, b.type);
            expectRect(b.rect, {a.rect.x * 2, a.rect.y * 2, a.rect.width * 2, a.rect.height * 2});
            EXPECT_DOUBLE_EQ(b.lineWidth, a.lineWidth * 2);
            if (a.type == Call::Type::drawText) {
                EXPECT_DOUBLE_EQ(b.font.size, a.font.size * 2);
            }
            EXPECT_DOUBLE_EQ(b.shadow.blur, a.shadow.blur * 2);
            EXPECT_DOUBLE_EQ(b.shadow.offset.y, a.shadow.offset.y * 2);
            EXPECT_EQ(b.text, a.text);
            ASSERT_EQ(a.path.elements().size(), b.path.elements().size());
            for (std::size_t e = 0; e < a.path.elements().size(); ++e) {
                const auto& pa = a.path.elements()[e];
                const auto& pb = b.path.elements()[e];
                EXPECT_NEAR(pb.point.x, pa.point.x * 2, 1e-9);
                EXPECT_NEAR(pb.point.y, pa.point.y * 2, 1e-9);
                EXPECT_NEAR(pb.radius, pa.radius * 2, 1e-9);
                expectRect(pb.rect, {pa.rect.x * 2, pa.rect.y * 2, pa.rect.width * 2, pa.rect.height * 2});
            }
        }
    }
}

TEST(LayoutCanvasTest, HairlinesKeepOnePixelOnSmallPictures) {
    RecordingDrawingSurface picture(640, 360);
    LayoutCanvasSurface surface(picture, LayoutCanvas::fit(kWide, 640, 360));
    for (const double width : {1.0, 0.8, 6.0}) surface.setLineWidth(width);
    ASSERT_EQ(picture.calls().size(), 3u);
    EXPECT_DOUBLE_EQ(picture.calls()[0].lineWidth, 1);
    EXPECT_DOUBLE_EQ(picture.calls()[1].lineWidth, 0.8);
    EXPECT_DOUBLE_EQ(picture.calls()[2].lineWidth, 2);
}


