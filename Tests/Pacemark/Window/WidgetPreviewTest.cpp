// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <functional>
#include <ranges>
#include <string>
#include <vector>

#include "Layout/PacemarkPreset.h"
#include "Rendering/RecordingDrawingSurface.h"
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

// The widget's preview on a transparent canvas, `scale` pixels per point,
// with its selection outline when `selected`.
QImage draw(const TelemetryActivity& activity, const PacemarkWidget& w, double elapsed = 300, int scale = 1,
            bool selected = false) {
    testing::application();
    QImage image(static_cast<int>(kCanvasWidth) * scale, static_cast<int>(kCanvasHeight) * scale,
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const TelemetrySample sample = activity.sample(elapsed);
    const WidgetPreview preview(activity, sample, w, selected);
    {
        auto surface = CairoDrawingSurfaceFactory().makeSurface(
            {image.bits(), image.width(), image.height(), static_cast<std::int64_t>(image.bytesPerLine())});
        ScaledDrawingSurface scaled(*surface, scale);
        preview.draw(scaled, kCanvasWidth, kCanvasHeight);
    }
    QPainter painter(&image);
    painter.scale(scale, scale);
    preview.paintSelection(painter, pointsOf(w));
    return image;
}

bool inked(const QImage& image, QPointF point) { return qAlpha(image.pixel(point.toPoint())) > 0; }
// A panel's black fill (with or without its shadow), not a shadow alone, white lines or text.
bool onCard(const QImage& image, QPointF point) {
    const QRgb p = image.pixel(point.toPoint());
    return qAlpha(p) > 60 && qRed(p) < 30;
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

bool isAccent(QRgb p) { return qAlpha(p) > 160 && qRed(p) > 150 && qGreen(p) < 90 && qBlue(p) < 90; }
bool isValueWhite(QRgb p) { return qAlpha(p) > 200 && qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200; }
bool isGreen(QRgb p) { return qAlpha(p) > 120 && qGreen(p) > 120 && qRed(p) < 120; }

// Which view draws a widget, seen in its pixels: the card of the carded
// styles lies under every view but the progress bar; the dial's card is a
// centred circle (nothing at the left edge of a wide widget); clean and
// cinematic draw none (a cinematic coordinate widget is the coordinate view
// without a panel); every view draws something inside its rectangle.
TEST(WidgetPreviewTest, EveryKindDrawsItsViewOnItsStylesPanel) {
    const TelemetryActivity activity = ride();
    for (const Style style : TelemetryWidgetPanelStyle::allCases()) {
        for (const Kind kind : {Kind::speed, Kind::elapsedTime, Kind::gradient, Kind::gpsCoordinates, Kind::route,
                                Kind::progress}) {
            SCOPED_TRACE(std::string(style.rawValue()) + " " + std::string(kind.rawValue()));
            const PacemarkWidget w = widget(kind, style);
            const QImage image = draw(activity, w);
            const QRectF r = pointsOf(w);
            const bool carded = style == Style::glass || style == Style::broadcast || style == Style::pill ||
                                style == Style::sticker || style == Style::outline;
            const QPointF leftEdge(r.left() + 3, r.center().y() - 1);
            EXPECT_EQ(onCard(image, leftEdge), carded && kind != Kind::progress);
            EXPECT_TRUE(inkBox(image, r.toAlignedRect(), [](QRgb p) { return qAlpha(p) > 0; }).isValid());
            if (kind == Kind::gpsCoordinates) {  // the longitude line in the accent
                EXPECT_TRUE(inkBox(image, r.toAlignedRect(), isAccent).isValid());
            }
            // The whole view stays near its rectangle (shadows fall at most 40 points beyond it).
            EXPECT_FALSE(inked(image, {r.left() - 45, r.top() - 45}));
        }
    }
}

// A selected clean widget: the dashed green outline, the short accent
// underline at the bottom left and no panel fill.
TEST(WidgetPreviewTest, SelectedCleanWidgetShowsItsSelectionMarks) {
    const PacemarkWidget w = widget(Kind::speed, Style::clean);
    const QImage image = draw(ride(), w, 300, 1, true);
    const QRectF r = pointsOf(w);

    const int top = static_cast<int>(r.top());
    const auto topEdge = std::views::iota(static_cast<int>(r.left()) + 12, static_cast<int>(r.right()) - 12);
    const auto green = std::ranges::count_if(topEdge, [&](int x) { return isGreen(image.pixel(x, top)); });
    EXPECT_GT(green, 0.4 * std::ranges::size(topEdge));
    EXPECT_LT(green, 0.8 * std::ranges::size(topEdge));

    const QRect underline = inkBox(image, QRectF(r.left(), r.bottom() - 6, r.width(), 5).toAlignedRect(),
                                   [](QRgb p) { return qAlpha(p) > 40 && qRed(p) > 2 * qGreen(p) + 20; });
    EXPECT_NEAR(underline.left() - r.left(), 2, 1);
    EXPECT_NEAR(underline.width(), 56, 2);
    EXPECT_FALSE(inked(image, {r.right() - 6, r.center().y()}));
}

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

// The dial's card is a circle, not a rounded rectangle, behind coordinates
// and as the gauge's disc; the coordinate texts stay inside the circle.
TEST(WidgetPreviewTest, DialIsDrawnAsACircle) {
    for (const Kind kind : {Kind::gpsCoordinates, Kind::speed}) {
        const PacemarkWidget w = widget(kind, Style::dial, {0.2, 0.2, 0.4, 0.3});
        const QImage image = draw(ride(), w);
        const QRectF r = pointsOf(w);
        const QPointF c = r.center();
        const double radius = r.height() * 0.94 / 2 - 3;
        EXPECT_TRUE(onCard(image, c + QPointF(radius, 0)));
        EXPECT_TRUE(onCard(image, c - QPointF(0, radius)));
        EXPECT_TRUE(onCard(image, c + QPointF(radius, -radius) * 0.68));
        EXPECT_FALSE(onCard(image, c + QPointF(radius, -radius) * 0.85));
        EXPECT_FALSE(onCard(image, c + QPointF(radius + 10, 0)));
        if (kind == Kind::gpsCoordinates) {  // left of the circle: shadow at most, no text
            const QRectF outside(r.left(), r.top(), c.x() - r.height() * 0.5 - r.left() - 2, r.height());
            EXPECT_FALSE(inkBox(image, outside.toAlignedRect(), [](QRgb p) { return qAlpha(p) > 0 && qRed(p) > 60; })
                             .isValid());
        }
    }
}

using WidgetPreviewWindowTest = testing::WindowTest;

// At the smallest window the canvas is smallest: there every preset's
// widgets still draw their value inside the widget, its digits at least as
// tall as the capitals of a title at its minimum size, with neither the title
// nor the unit over it.
TEST_F(WidgetPreviewWindowTest, EveryPresetKeepsItsValuesReadableAtTheMinimumWindowSize) {
    window_->resize(1120, 720);
    ASSERT_EQ(window_->size(), QSize(1120, 720));
    QCoreApplication::processEvents();
    const QSizeF canvas = editor()->canvasRect().size();
    ASSERT_FALSE(canvas.isEmpty());
    const auto width = static_cast<std::int64_t>(std::lround(canvas.width()));
    const auto height = static_cast<std::int64_t>(std::lround(canvas.height()));
    constexpr int scale = 2;
    constexpr int kReadableDigits = 7;  // points: 10 × 0.727
    const TelemetryActivity activity = ride();
    const TelemetrySample sample = activity.sample(300);
    // The ink of the lines equal to `text` of the widget's preview, in pixels:
    // drawn alone, under the states and clips the widget set up.
    const auto inkOf = [&](const PacemarkWidget& w, const std::string& text) {
        RecordingDrawingSurface recorded(width, height);
        WidgetPreview(activity, sample, w, false).draw(recorded, width, height);
        QImage image(static_cast<int>(width) * scale, static_cast<int>(height) * scale,
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            auto surface = CairoDrawingSurfaceFactory().makeSurface(
                {image.bits(), image.width(), image.height(), static_cast<std::int64_t>(image.bytesPerLine())});
            ScaledDrawingSurface scaled(*surface, scale);
            for (const RecordedDrawingCall& call : recorded.calls()) {
                using enum RecordedDrawingCall::Type;
                if (call.type == saveState) scaled.saveState();
                if (call.type == restoreState) scaled.restoreState();
                if (call.type == clipToRect) scaled.clipToRect(call.rect);
                if (call.type == clipToPath) scaled.addPath(call.path);
                if (call.type == clipToPath) scaled.clipToPath();
                if (call.type == drawText && call.text == text) {
                    scaled.drawText(call.text, call.rect, call.font, call.color, call.alignment);
                }
            }
        }
        return inkBox(image, image.rect(), [](QRgb p) { return qAlpha(p) > 80; });
    };
    for (const PacemarkPreset preset : PacemarkPreset::allCases()) {
        for (const PacemarkWidget& w : preset.layout().widgets) {
            if (w.kind == Kind::route || w.kind == Kind::progress || w.kind == Kind::gpsCoordinates) continue;
            SCOPED_TRACE(std::string(preset.rawValue()) + " " + std::string(w.kind.rawValue()));
            const TelemetryWidgetFrame f = w.frame.clamped();
            const QRectF r(f.x * width * scale, f.y * height * scale, f.width * width * scale,
                           f.height * height * scale);
            const QRect value = inkOf(w, w.kind.formattedValue(sample, activity));
            ASSERT_TRUE(value.isValid());
            EXPECT_TRUE(r.contains(value));
            EXPECT_GE(value.height(), kReadableDigits * scale);
            EXPECT_FALSE(value.intersects(inkOf(w, w.displayTitle())));
            if (!w.kind.unit().empty()) {
                EXPECT_FALSE(value.intersects(inkOf(w, std::string(w.kind.unit()))));
            }
        }
    }
}

}  // namespace
}  // namespace pacemark
