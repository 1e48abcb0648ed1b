// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>

#include "Layout/PacemarkPreset.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "Rendering/PanelStyleTable.h"
#include "Rendering/RecordingDrawingSurface.h"

// What the renderer asks of a drawing surface, checked as behaviour (what is
// drawn, in which order, inside which rectangle, following which style row),
// and the geometry it draws into (widget rectangles, route projections); the
// pixels of real renders are checked in the Rendering suite (hidden widgets,
// the clean style's underline and where the backdrop darkens there:
// LayoutFrameRendererPixelTest).

using namespace pacemark;

namespace {

using Kind = TelemetryWidgetKind;
using Style = TelemetryWidgetPanelStyle;
using Call = RecordedDrawingCall;

const DrawingColor green = DrawingColor::fromHex(0x35D05B);

PacemarkWidget makeWidget(Kind kind, TelemetryWidgetFrame frame, Style style) {
    return PacemarkWidget(UUID::random(), kind, frame, "", 0x35D05B, 0xA8A8A8, 0xFFFFFF, style, true);
}

// A 100-second ride at 36 km/h (gauge 0.45) and 300 W (gauge 0.5); `edit` changes every sample.
std::shared_ptr<const TelemetryActivity> makeActivity(std::size_t count = 101,
                                                      void (*edit)(TelemetrySample&) = nullptr) {
    std::vector<TelemetrySample> samples;
    for (std::size_t k = 0; k < count; ++k) {
        TelemetrySample s;
        s.elapsed = static_cast<double>(k);
        s.latitude = 45 + 0.001 * static_cast<double>(k);
        s.longitude = 7 + 0.002 * std::sin(static_cast<double>(k) / 10);
        s.altitudeMeters = 100 + static_cast<double>(k % 17);
        s.speedMetersPerSecond = 10;
        s.powerWatts = 300;
        s.heartRateBPM = 150;
        s.cadenceRPM = 90;
        s.distanceMeters = 10.0 * static_cast<double>(k);
        if (edit) edit(s);
        samples.push_back(s);
    }
    return std::make_shared<const TelemetryActivity>(std::nullopt, std::move(samples));
}

// One frame of a one-widget 1920×1080 layout, as the surface saw it.
struct Drawn {
    RecordingDrawingSurface surface{1920, 1080};
    DrawingRect rect;

    std::vector<Call> of(Call::Type type) const {
        std::vector<Call> result;
        std::copy_if(surface.calls().begin(), surface.calls().end(), std::back_inserter(result),
                     [&](const Call& call) { return call.type == type; });
        return result;
    }
    const Call& text(const std::string& text) const {
        const auto& calls = surface.calls();
        const auto found = std::find_if(calls.begin(), calls.end(), [&](const Call& call) {
            return call.type == Call::Type::drawText && call.text == text;
        });
        if (found == calls.end()) throw std::runtime_error("no text " + text);
        return *found;
    }
};

Drawn drawOne(const PacemarkWidget& widget, double elapsed = 50,
              std::shared_ptr<const TelemetryActivity> activity = makeActivity()) {
    Drawn drawn;
    drawn.rect = LayoutFrameRenderer::rect(widget, 1920, 1080);
    LayoutFrameRenderer(std::move(activity), PacemarkLayout{{widget}}, 1920, 1080, nullptr)
        .drawFrame(elapsed, drawn.surface);
    return drawn;
}

// The single arc element of a stroked path.
DrawingPath::Element arcOf(const Call& call) {
    EXPECT_EQ(call.path.elements().size(), 1u);
    return call.path.elements().front();
}

}  // namespace

// Every carded style draws the card its row describes: a rounded panel of the
// widget's rectangle with the row's fill and shadow, then an unshadowed
// border in the row's colour and width.
TEST(LayoutFrameRendererTest, PanelsFollowTheirStyleRow) {
    for (Style style : Style::allCases()) {
        SCOPED_TRACE(std::string(style.rawValue()));
        const PanelStyleRow& row = panelStyleRow(style);
        // Coordinates get a panel in every carded style (dial draws its disc elsewhere).
        const auto drawn = drawOne(makeWidget(Kind::gpsCoordinates, {0.2, 0.5, 0.2, 0.1}, style));
        const auto fills = drawn.of(Call::Type::fillPath);
        if (!row.hasCard) {
            for (const auto& fill : fills) EXPECT_FALSE(fill.state.shadow.has_value());
            EXPECT_TRUE(style != Style::cinematic || fills.empty());  // cinematic: the texts only
            continue;
        }
        ASSERT_FALSE(fills.empty());
        const auto& panel = fills.front();
        ASSERT_EQ(panel.path.elements().size(), 1u);
        const auto& card = panel.path.elements()[0];
        EXPECT_EQ(card.type, DrawingPath::ElementType::roundedRect);
        EXPECT_EQ(card.rect, drawn.rect);
        EXPECT_EQ(panel.state.fillColor, row.fill());
        EXPECT_EQ(panel.state.shadow, row.shadow());
        const Call border = drawn.of(Call::Type::strokePath).front();
        EXPECT_FALSE(border.state.shadow.has_value());
        EXPECT_EQ(border.state.strokeColor, row.border(green));
        EXPECT_EQ(border.state.lineWidth, row.borderWidth);
        // Broadcast adds an accent strip along the top.
        EXPECT_EQ(fills.size(), style == Style::broadcast ? 2u : 1u);
    }
}

// Metric widgets: the kind's texts in reading order, the title in the
// widget's title colour and the value in tabular figures. (That the texts of
// every style stay apart and inside their widget: TextInkLayoutTest.)
TEST(LayoutFrameRendererTest, MetricTextsAreInReadingOrder) {
    // Stacked (glass): title above value above unit.
    const auto glass = drawOne(makeWidget(Kind::speed, {0.04, 0.68, 0.15, 0.15}, Style::glass));
    const Call &title = glass.text("СКОР"), &value = glass.text("36.0"), &unit = glass.text("КМ/Ч");
    EXPECT_LT(title.rect.midY(), value.rect.midY());
    EXPECT_LT(value.rect.midY(), unit.rect.midY());
    EXPECT_EQ(title.color, DrawingColor::fromHex(0xA8A8A8));
    EXPECT_EQ(value.color, DrawingColor::white());
    EXPECT_EQ(unit.color.withAlpha(1), green);
    EXPECT_TRUE(value.font.monospacedDigits);

    // Elapsed time has no unit in any style.
    for (Style style : Style::allCases()) {
        const auto texts = drawOne(makeWidget(Kind::elapsedTime, {0.3, 0.3, 0.2, 0.15}, style), 65).surface.texts();
        EXPECT_EQ(texts.size(), 2u) << style.rawValue();
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "01:05"), 1) << style.rawValue();
    }
}

// Gauges sweep with the reading over their track, from the track's start;
// empty at zero, clamped at full scale. (That the dial is a centred circle:
// WidgetPreviewTest.)
TEST(LayoutFrameRendererTest, GaugeArcsFollowTheReading) {
    // The progress arc's end at `share` of the track.
    const auto expectShare = [](const std::vector<Call>& strokes, double share) {
        ASSERT_GE(strokes.size(), 2u);
        const auto track = arcOf(strokes[strokes.size() - 2]), progress = arcOf(strokes.back());
        EXPECT_DOUBLE_EQ(progress.startAngle, track.startAngle);
        EXPECT_NEAR(progress.endAngle, track.startAngle + share * (track.endAngle - track.startAngle), 1e-12);
        EXPECT_EQ(strokes.back().state.strokeColor.withAlpha(1), green);
    };
    const auto dialWidget = makeWidget(Kind::power, {0.25, 0.64, 0.13, 0.22}, Style::dial);
    const auto dial = drawOne(dialWidget);  // 300 W of 600
    const auto arcs = dial.of(Call::Type::strokePath);
    ASSERT_EQ(arcs.size(), 2u);
    expectShare(arcs, 0.5);
    const auto idle = drawOne(dialWidget, 50, makeActivity(101, [](TelemetrySample& s) { s.powerWatts = 0; }));
    EXPECT_EQ(idle.of(Call::Type::strokePath).size(), 1u);  // only the track
    expectShare(drawOne(dialWidget, 50, makeActivity(101, [](TelemetrySample& s) { s.powerWatts = 900; }))
                    .of(Call::Type::strokePath),
                1);

    // The elapsed-time ring: the share of the ride.
    const auto timerWidget = makeWidget(Kind::elapsedTime, {0.035, 0.775, 0.13, 0.18}, Style::cinematic);
    expectShare(drawOne(timerWidget, 25).of(Call::Type::strokePath), 0.25);

    // Cinematic metrics: gauge kinds keep their value clear of the arc at the right.
    const auto speed = drawOne(makeWidget(Kind::speed, {0.8, 0.055, 0.135, 0.13}, Style::cinematic));
    const auto distance = drawOne(makeWidget(Kind::distance, {0.8, 0.055, 0.135, 0.13}, Style::cinematic));
    EXPECT_LT(speed.text("36.0").rect.width, distance.text("0.5").rect.width);
}

// The route inside its style's inset, the dot where the sample is. (The
// centred "НЕТ GPS" of a ride without positions: WidgetPreviewTest.)
TEST(LayoutFrameRendererTest, RouteShowsWhereTheSampleIs) {
    const auto widget = makeWidget(Kind::route, {0.04, 0.84, 0.20, 0.10}, Style::glass);
    const auto activity = makeActivity();
    const LayoutFrameRenderer renderer(activity, PacemarkLayout{{widget}}, 1920, 1080, nullptr);
    const auto& projection = renderer.routeProjections().at(widget.id);
    const auto drawn = drawOne(widget, 50, activity);
    const auto strokes = drawn.of(Call::Type::strokePath);
    ASSERT_EQ(strokes.size(), 2u);  // border, route
    EXPECT_EQ(strokes[1].path, projection.path());
    EXPECT_EQ(projection.rect(), panelStyleRow(Style::glass).routeInset.apply(drawn.rect));
    const auto dot = drawn.of(Call::Type::fillEllipse);
    ASSERT_EQ(dot.size(), 1u);
    const DrawingPoint at = projection.project(*activity->samples[50].latitude, *activity->samples[50].longitude);
    EXPECT_DOUBLE_EQ(dot[0].rect.midX(), at.x);
    EXPECT_DOUBLE_EQ(dot[0].rect.midY(), at.y);
    EXPECT_EQ(dot[0].state.fillColor, green);

    // A sample without position: the line, no dot.
    std::vector<TelemetrySample> samples = activity->samples;
    samples[50].latitude.reset();
    const auto noFix = drawOne(widget, 50, std::make_shared<const TelemetryActivity>(std::nullopt, samples));
    EXPECT_EQ(noFix.of(Call::Type::strokePath).size(), 2u);
    EXPECT_TRUE(noFix.of(Call::Type::fillEllipse).empty());
}

// The bar fills with the share of the ride.
TEST(LayoutFrameRendererTest, ProgressFillsWithTheRideShare) {
    const auto bar = makeWidget(Kind::progress, {0.04, 0.955, 0.36, 0.018}, Style::glass);
    const auto start = drawOne(bar, 0).of(Call::Type::fillPath);
    ASSERT_EQ(start.size(), 1u);  // the track only
    EXPECT_FALSE(start[0].state.shadow.has_value());
    const auto quarter = drawOne(bar, 25);
    const auto fills = quarter.of(Call::Type::fillPath);
    ASSERT_EQ(fills.size(), 2u);
    EXPECT_EQ(fills[1].path.elements()[0].rect,
              (DrawingRect{quarter.rect.minX(), quarter.rect.minY(), 0.25 * quarter.rect.width, quarter.rect.height}));
    EXPECT_EQ(fills[1].state.fillColor, green);
    // One sample: a ride of no duration never fills the bar.
    EXPECT_EQ(drawOne(bar, 0, makeActivity(1)).of(Call::Type::fillPath).size(), 1u);
}

TEST(LayoutFrameRendererTest, AltitudeSparklineSpansItsRectangle) {
    const DrawingRect p{100, 200, 300, 60};
    const auto points = LayoutFrameRenderer::altitudeSparklinePoints(*makeActivity(150), p);
    ASSERT_EQ(points.size(), 75u);  // samples 0, 2, …, 148
    EXPECT_DOUBLE_EQ(points[0].y, p.maxY());  // sample 0, the lowest altitude, on the bottom edge
    EXPECT_DOUBLE_EQ(points[8].y, p.minY());  // sample 16, the highest, on the top edge

    // Samples without altitude keep their index on the x axis.
    std::vector<TelemetrySample> samples = makeActivity(10)->samples;
    for (std::size_t k = 0; k < samples.size(); k += 2) samples[k].altitudeMeters.reset();
    const auto odd = LayoutFrameRenderer::altitudeSparklinePoints(TelemetryActivity(std::nullopt, samples), p);
    ASSERT_EQ(odd.size(), 5u);
    EXPECT_DOUBLE_EQ(odd[0].x, p.minX() + p.width * 1 / 9);

    // A cinematic grade widget draws the sparkline, or only its texts without altitude.
    const auto grade = makeWidget(Kind::gradient, {0.20, 0.80, 0.16, 0.12}, Style::cinematic);
    EXPECT_EQ(drawOne(grade).of(Call::Type::strokePath).size(), 2u);  // rule, sparkline
    const auto without = drawOne(grade, 50, makeActivity(101, [](TelemetrySample& s) { s.altitudeMeters.reset(); }));
    EXPECT_EQ(without.surface.texts(), (std::vector<std::string>{"//", "УКЛОН", "--", "%"}));
    EXPECT_TRUE(without.of(Call::Type::fillEllipse).empty());
}

// (How a frame clamps: TelemetryWidgetFrameTest.)
TEST(LayoutGeometryTest, WidgetRectangleClampsThenScales) {
    PacemarkWidget widget = makeWidget(Kind::speed, {0.9, 0.9, 0.5, 0.5}, Style::glass);
    widget.frame = {0.9, 0.9, 0.5, 0.5};  // bypass the constructor's clamping: rect() must clamp on its own
    EXPECT_EQ(LayoutFrameRenderer::rect(widget, 1920, 1080), (DrawingRect{960, 540, 960, 540}));
}

TEST(LayoutGeometryTest, RouteProjection) {
    const std::vector<TelemetryTrackPoint> two = {{45, 7}, {46, 8}};
    EXPECT_FALSE(LayoutRouteProjection::make(two, {0, 0, 100, 50}));

    const std::vector<TelemetryTrackPoint> same = {{45, 7}, {45, 7}, {45, 7}};
    const auto degenerate = LayoutRouteProjection::make(same, {10, 20, 100, 50});
    ASSERT_TRUE(degenerate);  // a point: at the rectangle's lower left, not divided by zero
    for (const auto& element : degenerate->path().elements()) EXPECT_EQ(element.point, (DrawingPoint{10, 70}));

    const std::vector<TelemetryTrackPoint> northSouth = {{45.0, 7}, {45.5, 7}, {46.0, 7}};
    const auto line = LayoutRouteProjection::make(northSouth, {10, 20, 100, 50});
    ASSERT_TRUE(line);
    std::vector<DrawingPoint> points;
    for (const auto& element : line->path().elements()) points.push_back(element.point);
    EXPECT_EQ(points, (std::vector<DrawingPoint>{{10, 70}, {10, 45}, {10, 20}}));  // south at the bottom
    EXPECT_EQ(line->project(45.25, 7), (DrawingPoint{10, 57.5}));
}
