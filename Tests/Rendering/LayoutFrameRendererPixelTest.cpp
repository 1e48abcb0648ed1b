// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "CairoDrawingSurface.h"
#include "CairoPNG.h"
#include "Layout/PacemarkPreset.h"
#include "RideFixture.h"
#include "Rendering/LayoutFrameRenderer.h"

using namespace pacemark;

namespace {

using Kind = TelemetryWidgetKind;
using Style = TelemetryWidgetPanelStyle;

std::shared_ptr<const CairoDrawingSurfaceFactory> factory() {
    static const auto shared = std::make_shared<const CairoDrawingSurfaceFactory>();
    return shared;
}

std::shared_ptr<const TelemetryActivity> ride() {
    static const auto shared = pacemark::testing::makeRide(1200);
    return shared;
}

PacemarkWidget makeWidget(Kind kind, TelemetryWidgetFrame frame, Style style, bool visible = true) {
    return PacemarkWidget(UUID::random(), kind, frame, "", 0x35D05B, 0xA8A8A8, 0xFFFFFF, style, visible);
}

OwnedPixelBuffer render(const PacemarkLayout& layout, double elapsed, std::int64_t width = 960,
                        std::int64_t height = 540) {
    const LayoutFrameRenderer renderer(ride(), layout, width, height, factory());
    OwnedPixelBuffer frame(width, height);
    std::fill(frame.bytes.begin(), frame.bytes.end(), 0x5A);  // the frame must replace whatever was there
    renderer.render(elapsed, frame.view());
    return frame;
}

std::uint8_t alphaAt(const OwnedPixelBuffer& picture, double x, double y) {
    const auto px = static_cast<std::int64_t>(x), py = static_cast<std::int64_t>(y);
    return picture.bytes[static_cast<std::size_t>((py * picture.width + px) * 4 + 3)];
}

// Largest alpha in a rectangle of the picture.
std::uint8_t maxAlpha(const OwnedPixelBuffer& picture, DrawingRect area) {
    std::uint8_t result = 0;
    for (auto y = static_cast<std::int64_t>(area.minY()); y < static_cast<std::int64_t>(area.maxY()); ++y) {
        for (auto x = static_cast<std::int64_t>(area.minX()); x < static_cast<std::int64_t>(area.maxX()); ++x) {
            result = std::max(result, alphaAt(picture, static_cast<double>(x), static_cast<double>(y)));
        }
    }
    return result;
}

}  // namespace

// Ink only where visible widgets are: the frame is cleared of what the
// buffer held, hidden widgets (route and backdrop too) draw nothing.
TEST(LayoutFrameRendererPixelTest, AlphaOnlyWhereVisibleWidgetsAre) {
    const PacemarkLayout layout = PacemarkLayout::preset(PacemarkPreset::compactRace);
    const auto frame = render(layout, 500);
    // The widgets sit in the lower third; the upper half stays clear.
    EXPECT_EQ(maxAlpha(frame, {0, 0, 960, 270}), 0);
    EXPECT_EQ(maxAlpha(frame, {760, 0, 200, 540}), 0);  // right of the last widget (x 0.74)
    // A glass panel is there.
    const DrawingRect r = LayoutFrameRenderer::rect(layout.widgets[0], 960, 540);
    EXPECT_GT(alphaAt(frame, r.minX() + 4, r.midY()), 100);

    for (Style style : {Style::glass, Style::cinematic}) {
        PacemarkLayout hidden = PacemarkLayout::preset(PacemarkPreset::cinematicHud);
        hidden.widgets.push_back(makeWidget(Kind::route, {0.1, 0.1, 0.3, 0.3}, style));
        for (auto& widget : hidden.widgets) widget.isVisible = false;
        const auto blank = render(hidden, 300);
        EXPECT_TRUE(std::all_of(blank.bytes.begin(), blank.bytes.end(), [](std::uint8_t b) { return b == 0; }));
    }
}

TEST(LayoutFrameRendererPixelTest, CinematicBackdropDarkensTheEdgesOnly) {
    const PacemarkLayout layout{{makeWidget(Kind::distance, {0.45, 0.1, 0.12, 0.09}, Style::cinematic)}};
    const auto frame = render(layout, 100);
    EXPECT_GT(alphaAt(frame, 2, 20), 150);     // left edge, top: black α 0.76
    EXPECT_LT(alphaAt(frame, 380, 20), 30);    // fading toward the middle
    EXPECT_GT(alphaAt(frame, 957, 270), 120);  // right edge: black α 0.58
    EXPECT_GT(alphaAt(frame, 480, 537), 90);   // bottom edge: black α 0.46
    EXPECT_EQ(alphaAt(frame, 560, 200), 0);    // between the bands, away from the widget
    // Black only: colour bytes stay 0 in the bands.
    EXPECT_EQ(frame.bytes[(20 * 960 + 2) * 4 + 0], 0);
}

TEST(LayoutFrameRendererPixelTest, CleanWidgetHasNoPanelButItsUnderline) {
    const auto widget = makeWidget(Kind::speed, {0.3, 0.3, 0.3, 0.3}, Style::clean);
    const auto frame = render(PacemarkLayout{{widget}}, 100);
    const DrawingRect r = LayoutFrameRenderer::rect(widget, 960, 540);
    // The panel's corners, away from the texts, stay empty.
    EXPECT_EQ(maxAlpha(frame, {r.maxX() - 30, r.minY(), 30, 10}), 0);
    EXPECT_EQ(maxAlpha(frame, {r.maxX() - 30, r.maxY() - 10, 30, 10}), 0);
    // The underline at the bottom left in accent α 0.9 (premultiplied green byte ≈ 0xD0 × 0.9).
    const double x = r.minX() + 20, y = r.maxY() - 1.5;  // on the underline, a few pixels thick
    EXPECT_NEAR(alphaAt(frame, x, y), 230, 2);
    const auto* pixel = &frame.bytes[static_cast<std::size_t>((static_cast<int>(y) * 960 + static_cast<int>(x)) * 4)];
    EXPECT_NEAR(pixel[1], 0xD0 * 0.9, 2);
    EXPECT_NEAR(pixel[2], 0x35 * 0.9, 2);
}

// The movie's panel shadows fall toward the top (the style rows' shift and
// the surface's offset agree), blurred: they reach beside the panel too, but
// not far.
TEST(LayoutFrameRendererPixelTest, PanelShadowsFallTowardTheTop) {
    const auto widget = makeWidget(Kind::gpsCoordinates, {0.3, 0.4, 0.3, 0.2}, Style::glass);
    const auto frame = render(PacemarkLayout{{widget}}, 100);
    const DrawingRect r = LayoutFrameRenderer::rect(widget, 960, 540);
    const std::uint8_t above = alphaAt(frame, r.midX(), r.minY() - 6);
    EXPECT_GT(above, 0);
    EXPECT_GT(above, alphaAt(frame, r.midX(), r.maxY() + 6) * 2);
    EXPECT_GT(alphaAt(frame, r.maxX() + 6, r.midY()), 0);
    EXPECT_EQ(alphaAt(frame, r.maxX() + 45, r.midY()), 0);
}

// The cached static layer never changes a pixel: every preset at several
// times, and a layout whose static panel lies over an earlier widget's value
// text (it cannot be drawn ahead).
TEST(LayoutFrameRendererPixelTest, CachedFramesEqualFramesDrawnAfresh) {
    std::vector<PacemarkLayout> layouts;
    for (PacemarkPreset preset : PacemarkPreset::allCases()) layouts.push_back(PacemarkLayout::preset(preset));
    layouts.push_back({{makeWidget(Kind::speed, {0.1, 0.1, 0.3, 0.3}, Style::clean),
                        makeWidget(Kind::power, {0.15, 0.2, 0.3, 0.2}, Style::glass),
                        makeWidget(Kind::route, {0.2, 0.5, 0.3, 0.3}, Style::cinematic),
                        makeWidget(Kind::progress, {0.1, 0.6, 0.5, 0.05}, Style::outline)}});
    for (std::size_t k = 0; k < layouts.size(); ++k) {
        SCOPED_TRACE("layout " + std::to_string(k));
        const LayoutFrameRenderer renderer(ride(), layouts[k], 1920, 1080, factory());
        EXPECT_GT(renderer.cachedStepCount(), 0u);
        OwnedPixelBuffer cached(1920, 1080), fresh(1920, 1080);
        for (double elapsed : {0.0, 311.4, 777.0, 5000.0}) {
            renderer.render(elapsed, cached.view());
            renderer.renderWithoutCache(elapsed, fresh.view());
            EXPECT_TRUE(cached.bytes == fresh.bytes) << "at " << elapsed;
        }
    }
}

TEST(LayoutFrameRendererPixelTest, BuffersOfTheWrongShapeAreLeftUntouched) {
    const LayoutFrameRenderer renderer(ride(), PacemarkLayout::preset(PacemarkPreset::minimal), 320, 180, factory());
    OwnedPixelBuffer wrongSize(321, 180);
    std::fill(wrongSize.bytes.begin(), wrongSize.bytes.end(), 7);
    renderer.render(5, wrongSize.view());
    EXPECT_TRUE(std::all_of(wrongSize.bytes.begin(), wrongSize.bytes.end(), [](std::uint8_t b) { return b == 7; }));
    renderer.render(5, {nullptr, 320, 180, 1280});  // no memory: nothing happens
}

TEST(LayoutFrameRendererPixelTest, ConcurrentRendersMatchTheSingleThreadedFrame) {
    const LayoutFrameRenderer renderer(ride(), PacemarkLayout::preset(PacemarkPreset::classicGauges), 640, 360,
                                       factory());
    OwnedPixelBuffer expected(640, 360);
    renderer.renderWithoutCache(400, expected.view());
    // Both threads race to build the cached layer and to fill the shared shadow and font caches.
    std::vector<OwnedPixelBuffer> frames(2, OwnedPixelBuffer(640, 360));
    std::vector<std::thread> threads;
    for (auto& frame : frames) {
        threads.emplace_back([&renderer, &frame] {
            for (int k = 0; k < 5; ++k) renderer.render(400, frame.view());
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& frame : frames) EXPECT_TRUE(frame.bytes == expected.bytes);
}

namespace {

// Speed alternating 5 and 15 m/s, one sample a second, zigzagging north
// (each sample on the other side of the route, so the dot moves far).
std::shared_ptr<const TelemetryActivity> alternatingRide() {
    std::vector<TelemetrySample> samples(40);
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const double t = static_cast<double>(k);
        samples[k].elapsed = t;
        samples[k].speedMetersPerSecond = k % 2 == 0 ? 5.0 : 15.0;
        samples[k].latitude = 45.0 + 0.0001 * t;
        samples[k].longitude = k % 2 == 0 ? 7.0 : 7.001;
    }
    return std::make_shared<const TelemetryActivity>(std::nullopt, std::move(samples));
}

// How many pixels differ between two frames inside `area`, counting only
// those `where` accepts.
template <class Where>
int changedPixels(const OwnedPixelBuffer& a, const OwnedPixelBuffer& b, DrawingRect area, Where where) {
    int changed = 0;
    for (auto y = static_cast<std::int64_t>(area.minY()); y < static_cast<std::int64_t>(area.maxY()); ++y) {
        for (auto x = static_cast<std::int64_t>(area.minX()); x < static_cast<std::int64_t>(area.maxX()); ++x) {
            const auto at = static_cast<std::size_t>((y * a.width + x) * 4);
            if (!where(static_cast<double>(x), static_cast<double>(y))) continue;
            if (!std::equal(a.bytes.begin() + at, a.bytes.begin() + at + 4, b.bytes.begin() + at)) ++changed;
        }
    }
    return changed;
}

}  // namespace

// Half-way between two samples a smooth frame shows other readings than the
// sample in force: the dial's arc and the route's dot have moved; in steps
// they have not. The ring is looked at away from the value text in the
// middle of the dial, which changes with the number.
TEST(LayoutFrameRendererPixelTest, SmoothMotionMovesGaugesBetweenSamples) {
    const PacemarkWidget dial = makeWidget(Kind::speed, {0.05, 0.05, 0.3, 0.5}, Style::dial);
    const PacemarkWidget route = makeWidget(Kind::route, {0.55, 0.1, 0.4, 0.6}, Style::glass);
    const PacemarkLayout layout{{dial, route}};
    const DrawingRect dialRect = LayoutFrameRenderer::rect(dial, 960, 540);
    const DrawingRect routeRect = LayoutFrameRenderer::rect(route, 960, 540);
    const double ring = std::min(dialRect.width, dialRect.height) * 0.94 / 2;
    const auto onTheRing = [&](double x, double y) {
        const double dx = x - dialRect.midX(), dy = y - dialRect.midY();
        return std::hypot(dx, dy) > 0.7 * ring && std::abs(dy) > 0.45 * ring;
    };
    const auto anywhere = [](double, double) { return true; };

    const auto frames = [&](TelemetryMotion motion) {
        const LayoutFrameRenderer renderer(alternatingRide(), layout, 960, 540, factory(), motion);
        std::pair<OwnedPixelBuffer, OwnedPixelBuffer> pair{OwnedPixelBuffer(960, 540), OwnedPixelBuffer(960, 540)};
        renderer.render(14.0, pair.first.view());
        renderer.render(14.5, pair.second.view());
        // The static layer holds in every motion: the cached frame is the fresh one.
        OwnedPixelBuffer fresh(960, 540);
        renderer.renderWithoutCache(14.5, fresh.view());
        EXPECT_TRUE(fresh.bytes == pair.second.bytes);
        return pair;
    };
    const auto [stepsAt14, stepsAt14Half] = frames({});
    EXPECT_EQ(changedPixels(stepsAt14, stepsAt14Half, dialRect, anywhere), 0);
    EXPECT_EQ(changedPixels(stepsAt14, stepsAt14Half, routeRect, anywhere), 0);

    for (std::int64_t rate : {std::int64_t{10}, TelemetryMotion::everyFrame}) {
        SCOPED_TRACE(rate);
        const auto [at14, at14Half] = frames({TelemetryMotionMode::smooth, rate, TelemetryValueSmoothing::none});
        EXPECT_TRUE(at14.bytes == stepsAt14.bytes);  // at a sample the frame is the sample's
        EXPECT_GT(changedPixels(at14, at14Half, dialRect, onTheRing), 50);
        EXPECT_GT(changedPixels(at14, at14Half, routeRect, anywhere), 50);
    }
}
