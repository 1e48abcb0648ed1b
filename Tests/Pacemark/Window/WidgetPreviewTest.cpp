// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "ScaledDrawingSurface.h"
#include "TestRides.h"
#include "WidgetPreview.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

using Kind = TelemetryWidgetKind;
using Style = TelemetryWidgetPanelStyle;

constexpr std::int64_t kCanvasWidth = 640;
constexpr std::int64_t kCanvasHeight = 360;

// A red accent, grey labels and white values.
PacemarkWidget widget(Kind kind, Style style, TelemetryWidgetFrame frame = {0.2, 0.2, 0.3, 0.25}) {
    return PacemarkWidget(UUID::random(), kind, frame, "", 0xFF2020, 0x808080, 0xFFFFFF, style, true);
}

// Ten minutes of the test ride; without GPS when `withGPS` is false; the
// last sample at `lastElapsed` when given.
TelemetryActivity ride(bool withGPS = true, std::optional<double> lastElapsed = std::nullopt) {
    std::vector<TelemetrySample> samples = testing::rideOfSeconds(600)->samples;
    for (TelemetrySample& sample : samples) {
        if (!withGPS) sample.latitude = sample.longitude = std::nullopt;
    }
    if (lastElapsed) samples.back().elapsed = *lastElapsed;
    return TelemetryActivity(std::nullopt, std::move(samples));
}

QRectF pointsOf(const PacemarkWidget& w) {
    const TelemetryWidgetFrame f = w.frame.clamped();
    return {f.x * kCanvasWidth, f.y * kCanvasHeight, f.width * kCanvasWidth, f.height * kCanvasHeight};
}

// The widget's preview on a transparent canvas, `scale` pixels per point.
QImage draw(const TelemetryActivity& activity, const PacemarkWidget& w, double elapsed = 300, int scale = 1) {
    testing::application();
    QImage image(static_cast<int>(kCanvasWidth) * scale, static_cast<int>(kCanvasHeight) * scale,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const TelemetrySample sample = activity.sample(elapsed);
    {  // the surface is finished before the image is read
        auto surface = CairoDrawingSurfaceFactory().makeSurface(
            {image.bits(), image.width(), image.height(), static_cast<std::int64_t>(image.bytesPerLine())});
        ScaledDrawingSurface scaled(*surface, scale);
        WidgetPreview(activity, sample, w, false).draw(scaled, kCanvasWidth, kCanvasHeight);
    }
    return image;
}

// The rows and columns (in pixels) holding pixels that `match`, inside `area`.
QRect inkBox(const QImage& image, const QRect& area, const std::function<bool(QRgb)>& match) {
    QRect box;
    for (int y = std::max(area.top(), 0); y <= std::min(area.bottom(), image.height() - 1); ++y) {
        for (int x = std::max(area.left(), 0); x <= std::min(area.right(), image.width() - 1); ++x) {
            if (match(image.pixel(x, y))) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

bool isValueWhite(QRgb p) { return qAlpha(p) > 200 && qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200; }

// A value too wide for its widget is drawn smaller, down to 45 % of its size,
// and only then cut: a short and a very long time in the same narrow widget.
TEST(WidgetPreviewTest, TooWideValueShrinksToFortyFivePercentBeforeItIsCut) {
    const PacemarkWidget w = widget(Kind::elapsedTime, Style::glass, {0.2, 0.2, 0.2, 0.2});
    const QRectF r = pointsOf(w);
    constexpr int scale = 4;
    const auto valueHeight = [&](double elapsed) {
        return inkBox(draw(ride(true, elapsed), w, elapsed, scale),
                      QRectF(r.topLeft() * scale, r.size() * scale).toAlignedRect(), isValueWhite)
            .height();
    };
    EXPECT_NEAR(static_cast<double>(valueHeight(9.0e15)) / valueHeight(5), 0.45, 0.03);
}

// A route without GPS says "НЕТ GPS" in a small centred line, in every
// style; with GPS the line spans the widget.
TEST(WidgetPreviewTest, RouteWithoutGPSSaysSo) {
    const auto whiteInk = [](QRgb p) {
        return qAlpha(p) > 60 && qRed(p) > 60 && qRed(p) == qGreen(p) && qGreen(p) == qBlue(p);
    };
    for (const Style style : {Style::clean, Style::cinematic}) {
        const PacemarkWidget w = widget(Kind::route, style, {0.2, 0.2, 0.4, 0.4});
        const QRectF r = pointsOf(w);
        const QRect text = inkBox(draw(ride(false), w), r.toAlignedRect(), whiteInk);
        ASSERT_TRUE(text.isValid());
        EXPECT_NEAR(text.center().x(), r.center().x(), 3);
        EXPECT_NEAR(text.center().y(), r.center().y(), 8);
        EXPECT_LT(text.height(), 20);
        EXPECT_GT(text.width(), 60);
        EXPECT_GT(inkBox(draw(ride(), w), r.toAlignedRect(), whiteInk).height(), r.height() * 0.6);
    }
}

// The dial's card behind a view without a gauge (coordinates) is a circle,
// not a rounded rectangle.
TEST(WidgetPreviewTest, DialCardIsACircle) {
    const PacemarkWidget w = widget(Kind::gpsCoordinates, Style::dial, {0.2, 0.2, 0.4, 0.3});
    const QImage image = draw(ride(), w);
    const QRectF r = pointsOf(w);
    const double radius = r.height() * 0.94 / 2 - 3;
    // A panel's black fill (with or without its shadow), not a shadow alone or text.
    const auto onCard = [&](QPointF point) {
        const QRgb p = image.pixel(point.toPoint());
        return qAlpha(p) > 60 && qRed(p) < 30;
    };
    EXPECT_TRUE(onCard(r.center() + QPointF(radius, 0)));
    EXPECT_FALSE(onCard(r.center() + QPointF(radius, -radius) * 0.85));
}

}  // namespace
}  // namespace pacemark
