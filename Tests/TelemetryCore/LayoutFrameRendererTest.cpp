#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Layout/PacemarkPreset.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "Rendering/PanelStyleTable.h"
#include "Rendering/RecordingDrawingSurface.h"

using namespace pacemark;

namespace {

using Kind = TelemetryWidgetKind;
using Style = TelemetryWidgetPanelStyle;
using Call = RecordedDrawingCall;

constexpr double W = 1920;
constexpr double H = 1080;
constexpr double degrees = std::numbers::pi / 180;

PacemarkWidget makeWidget(Kind kind, TelemetryWidgetFrame frame, Style style, bool visible = true) {
    return PacemarkWidget(UUID::random(), kind, frame, "", 0x35D05B, 0xA8A8A8, 0xFFFFFF, style, visible);
}

// A 100-second ride; every reading present unless `withPosition`/`withAltitude` say otherwise.
std::shared_ptr<const TelemetryActivity> makeActivity(std::size_t count = 101, bool withPosition = true,
                                                      bool withAltitude = true) {
    std::vector<TelemetrySample> samples;
    for (std::size_t k = 0; k < count; ++k) {
        TelemetrySample s;
        s.elapsed = static_cast<double>(k);
        if (withPosition) {
            s.latitude = 45 + 0.001 * static_cast<double>(k);
            s.longitude = 7 + 0.002 * std::sin(static_cast<double>(k) / 10);
        }
        if (withAltitude) s.altitudeMeters = 100 + static_cast<double>(k % 17);
        s.speedMetersPerSecond = 10;  // 36 km/h: gauge 0.45
        s.powerWatts = 300;
        s.heartRateBPM = 150;
        s.cadenceRPM = 90;
        s.distanceMeters = 10.0 * static_cast<double>(k);
        samples.push_back(s);
    }
    return std::make_shared<const TelemetryActivity>(std::nullopt, std::move(samples));
}

// Draws one frame of a one-widget layout and returns what was asked of the surface.
RecordingDrawingSurface drawOne(const PacemarkWidget& widget, double elapsed = 50,
                                std::shared_ptr<const TelemetryActivity> activity = makeActivity()) {
    const LayoutFrameRenderer renderer(std::move(activity), PacemarkLayout{{widget}}, 1920, 1080, nullptr);
    RecordingDrawingSurface surface(1920, 1080);
    renderer.drawFrame(elapsed, surface);
    return surface;
}

std::vector<Call> ofType(const RecordingDrawingSurface& surface, Call::Type type) {
    std::vector<Call> result;
    for (const auto& call : surface.calls()) {
        if (call.type == type) result.push_back(call);
    }
    return result;
}

const Call& textCall(const RecordingDrawingSurface& surface, const std::string& text) {
    const auto& calls = surface.calls();
    const auto found = std::find_if(calls.begin(), calls.end(), [&](const Call& call) {
        return call.type == Call::Type::drawText && call.text == text;
    });
    if (found == calls.end()) throw std::runtime_error("no text " + text);
    return *found;
}

// The single arc element of a stroked path.
DrawingPath::Element arcOf(const Call& call) {
    EXPECT_EQ(call.path.elements().size(), 1u);
    return call.path.elements().front();
}

void expectRect(const DrawingRect& actual, const DrawingRect& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-9);
    EXPECT_NEAR(actual.y, expected.y, 1e-9);
    EXPECT_NEAR(actual.width, expected.width, 1e-9);
    EXPECT_NEAR(actual.height, expected.height, 1e-9);
}

const DrawingColor white = DrawingColor::white();
const DrawingColor black = DrawingColor::black();
const DrawingColor green = DrawingColor::fromHex(0x35D05B);

}  // namespace

TEST(LayoutFrameRendererTest, HiddenWidgetsDrawNothingButTheClear) {
    auto hiddenCinematic = makeWidget(Kind::speed, {0.1, 0.1, 0.2, 0.2}, Style::cinematic, false);
    auto hiddenGlass = makeWidget(Kind::route, {0.5, 0.5, 0.2, 0.2}, Style::glass, false);
    const LayoutFrameRenderer renderer(makeActivity(), PacemarkLayout{{hiddenCinematic, hiddenGlass}}, 1920, 1080,
                                       nullptr);
    EXPECT_FALSE(renderer.drawsCinematicBackdrop());
    EXPECT_TRUE(renderer.routeProjections().empty());
    RecordingDrawingSurface surface(1920, 1080);
    renderer.drawFrame(10, surface);
    EXPECT_TRUE(surface.paintingCalls().empty());
    ASSERT_FALSE(surface.calls().empty());
    EXPECT_EQ(surface.calls().front().type, Call::Type::clear);
    EXPECT_EQ(surface.calls().front().rect, (DrawingRect{0, 0, W, H}));
}

// Every carded style: a rounded panel of the widget's rectangle with its
// fill and a shadow cast toward the top, then an unshadowed border stroked one
// pixel inside with the radius one smaller.
TEST(LayoutFrameRendererTest, PanelStylesUseTheirRadiusColoursAndShadows) {
    struct Expectation {
        Style style;
        double radius;
        DrawingColor fill;
        DrawingColor border;
        double borderWidth;
        DrawingShadow shadow;
    };
    const DrawingRect r{0.2 * W, 0.5 * H, 0.2 * W, 0.1 * H};  // 384 × 108
    const double h = r.height;
    const Expectation expectations[] = {
        {Style::glass, std::min(std::max(h * 0.14, 8.0), 18.0), black.withAlpha(0.58), white.withAlpha(0.16), 1,
         {{0, 10}, 20, black.withAlpha(0.24)}},
        {Style::broadcast, std::min(std::max(h * 0.10, 6.0), 10.0), black.withAlpha(0.72), white.withAlpha(0.12), 1,
         {{0, 8}, 16, black.withAlpha(0.30)}},
        {Style::pill, h / 2, black.withAlpha(0.50), green.withAlpha(0.58), 1.5, {{0, 9}, 18, black.withAlpha(0.30)}},
        {Style::sticker, std::min(std::max(h * 0.18, 10.0), 22.0), black.withAlpha(0.46), green.withAlpha(0.62), 1.5,
         {{0, 8}, 18, black.withAlpha(0.28)}},
        {Style::outline, std::min(std::max(h * 0.12, 6.0), 14.0), black.withAlpha(0.28), green.withAlpha(0.46), 1,
         {{0, 6}, 12, black.withAlpha(0.18)}},
        {Style::dial, h / 2, black.withAlpha(0.54), green.withAlpha(0.72), 1, {{0, 10}, 18, black.withAlpha(0.30)}},
    };
    for (Style style : Style::allCases()) EXPECT_EQ(panelStyleRow(style).style, style) << style.rawValue();
    for (const auto& expected : expectations) {
        SCOPED_TRACE(std::string(expected.style.rawValue()));
        // Coordinates get a panel in every style but cinematic (the dial panel appears only here and behind routes).
        const auto surface = drawOne(makeWidget(Kind::gpsCoordinates, {0.2, 0.5, 0.2, 0.1}, expected.style));
        const Call panel = ofType(surface, Call::Type::fillPath).front();
        EXPECT_EQ(panel.state.fillColor, expected.fill);
        EXPECT_EQ(panel.state.shadow, expected.shadow);
        ASSERT_EQ(panel.path.elements().size(), 1u);
        EXPECT_EQ(panel.path.elements()[0].type, DrawingPath::ElementType::roundedRect);
        expectRect(panel.path.elements()[0].rect, r);
        EXPECT_DOUBLE_EQ(panel.path.elements()[0].radius, expected.radius);
        const Call border = ofType(surface, Call::Type::strokePath).front();
        EXPECT_FALSE(border.state.shadow.has_value());
        EXPECT_EQ(border.state.strokeColor, expected.border);
        EXPECT_EQ(border.state.lineWidth, expected.borderWidth);
        expectRect(border.path.elements()[0].rect, r.insetBy(1, 1));
        EXPECT_DOUBLE_EQ(border.path.elements()[0].radius, expected.radius - 1);
    }

    // Broadcast adds the accent strip along the top, without shadow.
    const auto broadcast = drawOne(makeWidget(Kind::gpsCoordinates, {0.2, 0.5, 0.2, 0.1}, Style::broadcast));
    const auto fills = ofType(broadcast, Call::Type::fillPath);
    ASSERT_EQ(fills.size(), 2u);
    const double t = std::max(std::min(h * 0.045, 6.0), 3.0);
    expectRect(fills[1].path.elements()[0].rect, {r.minX() + 2, r.minY() + 2, r.width - 4, t});
    EXPECT_DOUBLE_EQ(fills[1].path.elements()[0].radius, t / 2);
    EXPECT_EQ(fills[1].state.fillColor, green.withAlpha(0.88));
    EXPECT_FALSE(fills[1].state.shadow.has_value());

    // Cinematic coordinates: no panel at all, the texts only.
    const auto cinematic = drawOne(makeWidget(Kind::gpsCoordinates, {0.2, 0.5, 0.2, 0.1}, Style::cinematic));
    EXPECT_TRUE(ofType(cinematic, Call::Type::fillPath).empty());
    EXPECT_EQ(cinematic.texts().size(), 3u);
}

TEST(LayoutFrameRendererTest, CleanSpeedHasOnlyItsUnderlineAndTexts) {
    const auto widget = makeWidget(Kind::speed, {0.04, 0.72, 0.15, 0.17}, Style::clean);
    const auto surface = drawOne(widget);
    const DrawingRect r = LayoutFrameRenderer::rect(widget, 1920, 1080);
    const auto fills = ofType(surface, Call::Type::fillPath);
    ASSERT_EQ(fills.size(), 1u);
    const double t = std::max(std::min(r.height * 0.045, 5.0), 2.0);
    const double length = std::min(std::max(r.height * 0.68, 34.0), r.width * 0.46);
    expectRect(fills[0].path.elements()[0].rect, {r.minX() + std::max(r.width * 0.02, 2.0), r.maxY() - t, length, t});
    EXPECT_DOUBLE_EQ(fills[0].path.elements()[0].radius, t / 2);
    EXPECT_EQ(fills[0].state.fillColor, green.withAlpha(0.9));
    EXPECT_TRUE(ofType(surface, Call::Type::strokePath).empty());
    EXPECT_EQ(surface.texts(), (std::vector<std::string>{"СКОР", "36.0", "КМ/Ч"}));
}

TEST(LayoutFrameRendererTest, StackedMetricPlacesTitleValueAndUnit) {
    const auto widget = makeWidget(Kind::speed, {0.04, 0.68, 0.15, 0.15}, Style::glass);
    const auto surface = drawOne(widget);
    const DrawingRect r = LayoutFrameRenderer::rect(widget, 1920, 1080);
    const double w = r.width, h = r.height;
    const double ls = std::max(std::min(w * 0.13, h * 0.16), 14.0);
    const double vs = std::max(std::min(w * 0.36, h * 0.48), 18.0);
    const DrawingRect i = r.insetBy(std::max(w * 0.08, 10.0), std::max(h * 0.1, 8.0));

    const Call& title = textCall(surface, "СКОР");
    expectRect(title.rect, {i.minX(), i.minY(), i.width, ls * 1.25});
    EXPECT_EQ(title.font, (DrawingFont{ls, DrawingFontWeight::semibold, false}));
    EXPECT_EQ(title.color, DrawingColor::fromHex(0xA8A8A8));
    const Call& value = textCall(surface, "36.0");
    expectRect(value.rect, {i.minX(), i.midY() - vs * 0.52, i.width, vs * 1.15});
    EXPECT_EQ(value.font, (DrawingFont{vs, DrawingFontWeight::bold, true, 0.5}));
    EXPECT_EQ(value.alignment, DrawingTextAlignment::left);
    const Call& unit = textCall(surface, "КМ/Ч");
    expectRect(unit.rect, {i.minX(), i.maxY() - ls * 1.25, i.width, ls * 1.25});
    EXPECT_EQ(unit.color, green.withAlpha(0.95));
}

TEST(LayoutFrameRendererTest, ElapsedTimeDrawsNoUnitInAnyStyle) {
    for (Style style : Style::allCases()) {
        SCOPED_TRACE(std::string(style.rawValue()));
        const auto surface = drawOne(makeWidget(Kind::elapsedTime, {0.3, 0.3, 0.2, 0.15}, style), 65);
        for (const auto& text : surface.texts()) EXPECT_FALSE(text.empty());
        const auto texts = surface.texts();
        EXPECT_EQ(std::count(texts.begin(), texts.end(), "01:05"), 1);
        EXPECT_EQ(texts.size(), 2u);  // title and value, nothing else
    }
}

TEST(LayoutFrameRendererTest, PillRowAlignsValueAndUnitToTheRight) {
    const auto widget = makeWidget(Kind::heartRate, {0.76, 0.67, 0.15, 0.09}, Style::pill);
    const auto surface = drawOne(widget);
    const DrawingRect r = LayoutFrameRenderer::rect(widget, 1920, 1080);
    const double w = r.width, h = r.height;
    const DrawingRect i = r.insetBy(std::max(h * 0.26, 12.0), std::max(h * 0.16, 4.0));
    const double d = std::max(std::min(h * 0.16, 9.0), 5.0);
    const double tw = std::min(w * 0.36, std::max(w * 0.27, 34.0));
    const double uw = std::min(w * 0.24, std::max(w * 0.16, 24.0));
    const double g = std::max(w * 0.025, 6.0);

    const auto dots = ofType(surface, Call::Type::fillEllipse);
    ASSERT_EQ(dots.size(), 1u);
    expectRect(dots[0].rect, {i.minX(), r.midY() - d / 2, d, d});
    expectRect(textCall(surface, "ПУЛЬС").rect, {i.minX() + d + g, i.minY(), tw, i.height});
    const double x = i.minX() + d + g + tw + g;
    const Call& value = textCall(surface, "150");
    expectRect(value.rect, {x, i.minY(), std::max(i.maxX() - x - uw - g, 24.0), i.height});
    EXPECT_EQ(value.alignment, DrawingTextAlignment::right);
    const Call& unit = textCall(surface, "УД/МИН");
    expectRect(unit.rect, {i.maxX() - uw, i.minY(), uw, i.height});
    EXPECT_EQ(unit.alignment, DrawingTextAlignment::right);
}

TEST(LayoutFrameRendererTest, DialArcsSpanTheirAngles) {
    const auto widget = makeWidget(Kind::power, {0.25, 0.64, 0.13, 0.22}, Style::dial);
    const DrawingRect r = LayoutFrameRenderer::rect(widget, 1920, 1080);
    const double s = std::min(r.width, r.height) * 0.94;
    const double radius = std::max(s / 2 - 10, 8.0) - std::max(s * 0.035, 5.0);

    const auto surface = drawOne(widget);  // 300 W of 600: p = 0.5
    const auto arcs = ofType(surface, Call::Type::strokePath);
    ASSERT_EQ(arcs.size(), 2u);
    const auto track = arcOf(arcs[0]);
    EXPECT_EQ(track.point, (DrawingPoint{r.midX(), r.midY()}));
    EXPECT_DOUBLE_EQ(track.radius, radius);
    EXPECT_DOUBLE_EQ(track.startAngle, 135 * degrees);
    EXPECT_DOUBLE_EQ(track.endAngle, 405 * degrees);
    EXPECT_EQ(arcs[0].state.strokeColor, white.withAlpha(0.18));
    EXPECT_EQ(arcs[0].state.lineCap, DrawingLineCap::round);
    EXPECT_DOUBLE_EQ(arcs[0].state.lineWidth, std::max(s * 0.045, 5.0));
    const auto progress = arcOf(arcs[1]);
    EXPECT_DOUBLE_EQ(progress.startAngle, 135 * degrees);
    EXPECT_NEAR(progress.endAngle, (135 + 0.5 * 270) * degrees, 1e-12);
    EXPECT_EQ(arcs[1].state.strokeColor, green.withAlpha(0.95));

    // The disc casts its shadow and the ring is inset by one pixel.
    const auto disc = ofType(surface, Call::Type::fillEllipse).front();
    expectRect(disc.rect, {r.midX() - s / 2, r.midY() - s / 2, s, s});
    EXPECT_EQ(disc.state.shadow, (DrawingShadow{{0, 10}, 18, black.withAlpha(0.3)}));
    expectRect(ofType(surface, Call::Type::strokeEllipse).front().rect,
               DrawingRect{r.midX() - s / 2, r.midY() - s / 2, s, s}.insetBy(1, 1));

    // No power: only the grey track. Full scale: the accent covers all 270°.
    auto idle = makeActivity();
    std::vector<TelemetrySample> samples = idle->samples;
    for (auto& sample : samples) sample.powerWatts = 0;
    const auto zero = drawOne(widget, 50, std::make_shared<const TelemetryActivity>(std::nullopt, samples));
    EXPECT_EQ(ofType(zero, Call::Type::strokePath).size(), 1u);
    for (auto& sample : samples) sample.powerWatts = 900;
    const auto full = drawOne(widget, 50, std::make_shared<const TelemetryActivity>(std::nullopt, samples));
    EXPECT_DOUBLE_EQ(arcOf(ofType(full, Call::Type::strokePath)[1]).endAngle, 405 * degrees);
}

TEST(LayoutFrameRendererTest, RouteDrawsTheTrackAndTheDotOrSaysNoGPS) {
    const auto widget = makeWidget(Kind::route, {0.04, 0.84, 0.20, 0.10}, Style::glass);
    const DrawingRect r = LayoutFrameRenderer::rect(widget, 1920, 1080);
    const auto activity = makeActivity();
    const auto surface = drawOne(widget, 50, activity);
    const auto strokes = ofType(surface, Call::Type::strokePath);
    ASSERT_EQ(strokes.size(), 2u);  // border, route
    const auto projection = LayoutRouteProjection::make(activity->trackPoints, r.insetBy(16, 14));
    ASSERT_TRUE(projection);
    EXPECT_EQ(strokes[1].path, projection->path());
    EXPECT_EQ(strokes[1].state.strokeColor, white.withAlpha(0.42));
    EXPECT_DOUBLE_EQ(strokes[1].state.lineWidth, std::max(std::min(r.height * 0.035, 5.0), 2.0));
    EXPECT_EQ(strokes[1].state.lineJoin, DrawingLineJoin::round);
    const auto dot = ofType(surface, Call::Type::fillEllipse);
    ASSERT_EQ(dot.size(), 1u);
    const DrawingPoint at = projection->project(*activity->samples[50].latitude, *activity->samples[50].longitude);
    const double rho = std::max(std::min(r.height * 0.07, 8.0), 4.0);
    expectRect(dot[0].rect, {at.x - rho, at.y - rho, 2 * rho, 2 * rho});
    EXPECT_EQ(dot[0].state.fillColor, green);

    // A sample without position: the line, no dot.
    std::vector<TelemetrySample> samples = activity->samples;
    samples[50].latitude.reset();
    const auto noFix = drawOne(widget, 50, std::make_shared<const TelemetryActivity>(std::nullopt, samples));
    EXPECT_EQ(ofType(noFix, Call::Type::strokePath).size(), 2u);
    EXPECT_TRUE(ofType(noFix, Call::Type::fillEllipse).empty());

    // Fewer than 3 track points: the panel says so.
    const auto noGPS = drawOne(widget, 1, makeActivity(2));
    EXPECT_EQ(noGPS.texts(), (std::vector<std::string>{"НЕТ GPS"}));
    const Call& text = textCall(noGPS, "НЕТ GPS");
    expectRect(text.rect, r.insetBy(12, 12));
    EXPECT_EQ(text.alignment, DrawingTextAlignment::center);
    EXPECT_EQ(text.color, white.withAlpha(0.48));
}

TEST(LayoutFrameRendererTest, ProgressBarFillsWithTheRideShare) {
    const auto widget = makeWidget(Kind::progress, {0.04, 0.955, 0.36, 0.018}, Style::glass);
    const DrawingRect r = LayoutFrameRenderer::rect(widget, 1920, 1080);
    const auto start = drawOne(widget, 0);
    const auto startFills = ofType(start, Call::Type::fillPath);
    ASSERT_EQ(startFills.size(), 1u);
    EXPECT_EQ(startFills[0].state.fillColor, white.withAlpha(0.2));
    EXPECT_DOUBLE_EQ(startFills[0].path.elements()[0].radius, r.height / 2);
    EXPECT_FALSE(startFills[0].state.shadow.has_value());

    const auto quarter = ofType(drawOne(widget, 25), Call::Type::fillPath);
    ASSERT_EQ(quarter.size(), 2u);
    expectRect(quarter[1].path.elements()[0].rect, {r.minX(), r.minY(), 0.25 * r.width, r.height});
    EXPECT_EQ(quarter[1].state.fillColor, green);

    // One sample: a ride of no duration never fills the bar.
    EXPECT_EQ(ofType(drawOne(widget, 0, makeActivity(1)), Call::Type::fillPath).size(), 1u);
}

TEST(LayoutFrameRendererTest, CinematicBackdropBandsCoverTheEdges) {
    const auto widget = makeWidget(Kind::distance, {0.8, 0.5, 0.135, 0.09}, Style::cinematic);
    const auto surface = drawOne(widget);
    const auto gradients = ofType(surface, Call::Type::drawLinearGradient);
    ASSERT_EQ(gradients.size(), 3u);
    EXPECT_EQ(gradients[0].state.clip, (DrawingRect{0, 0, 0.42 * W, H}));
    EXPECT_EQ(gradients[0].color, black.withAlpha(0.76));
    EXPECT_EQ(gradients[0].endColor, black.withAlpha(0));
    EXPECT_EQ(gradients[0].start, (DrawingPoint{0, H / 2}));
    EXPECT_EQ(gradients[0].end, (DrawingPoint{0.42 * W, H / 2}));
    EXPECT_EQ(gradients[1].state.clip, (DrawingRect{0.62 * W, 0, 0.38 * W, H}));
    EXPECT_EQ(gradients[1].endColor, black.withAlpha(0.58));
    EXPECT_EQ(gradients[2].state.clip, (DrawingRect{0, 0.58 * H, W, 0.42 * H}));
    EXPECT_EQ(gradients[2].start, (DrawingPoint{W / 2, 0.58 * H}));
    EXPECT_EQ(gradients[2].end, (DrawingPoint{W / 2, H}));
    EXPECT_EQ(gradients[2].endColor, black.withAlpha(0.46));
    // The backdrop comes before the widget.
    EXPECT_EQ(surface.paintingCalls().front().type, Call::Type::drawLinearGradient);
}

TEST(LayoutFrameRendererTest, CinematicMetricReservesArcRoomOnlyForGaugeKinds) {
    for (Kind kind : {Kind::speed, Kind::distance}) {
        const auto widget = makeWidget(kind, {0.8, 0.055, 0.135, 0.13}, Style::cinematic);
        const DrawingRect r = LayoutFrameRenderer::rect(widget, 1920, 1080);
        const double w = r.width, h = r.height;
        const DrawingRect i = r.insetBy(std::max(w * 0.02, 4.0), std::max(h * 0.04, 2.0));
        const double ls = std::max(std::min(w * 0.075, h * 0.16), 10.0);
        const double vs = std::max(std::min(w * 0.31, h * 0.42), 24.0);
        const double tw = kind == Kind::speed ? i.width - w * 0.24 : i.width;
        const auto surface = drawOne(widget);
        const std::string value = kind == Kind::speed ? "36.0" : "0.5";
        const Call& text = textCall(surface, value);
        expectRect(text.rect, {i.minX() + 8, i.minY() + ls * 1.45, tw - 8, vs * 1.12});
        EXPECT_EQ(text.font, (DrawingFont{vs, DrawingFontWeight::heavy, true, 0.5}));
        const Call& mark = textCall(surface, "//");
        EXPECT_EQ(mark.font.weight, DrawingFontWeight::bold);
        EXPECT_EQ(mark.color, green.withAlpha(0.95));

        const auto strokes = ofType(surface, Call::Type::strokePath);
        // The rule, then for gauge kinds the arc track and its progress.
        ASSERT_EQ(strokes.size(), kind == Kind::speed ? 3u : 1u);
        EXPECT_EQ(strokes[0].path.elements()[1].point.x, i.minX() + tw);
        if (kind != Kind::speed) continue;
        const double rho = std::min(w * 0.31, h * 0.5);
        const auto track = arcOf(strokes[1]);
        EXPECT_EQ(track.point, (DrawingPoint{r.maxX() - rho * 0.38, r.midY() + h * 0.04}));
        EXPECT_DOUBLE_EQ(track.radius, rho);
        EXPECT_DOUBLE_EQ(track.startAngle, -1.2915436464758039);
        EXPECT_DOUBLE_EQ(track.endAngle, 1.2915436464758039);
        EXPECT_EQ(strokes[1].state.lineCap, DrawingLineCap::butt);
        const auto progress = arcOf(strokes[2]);
        EXPECT_NEAR(progress.endAngle, -1.2915436464758039 + 0.45 * 2 * 1.2915436464758039, 1e-12);
        EXPECT_EQ(strokes[2].state.strokeColor, green.withAlpha(0.98));
    }
}

TEST(LayoutFrameRendererTest, CinematicTimerRingRunsFrom118Degrees) {
    const auto widget = makeWidget(Kind::elapsedTime, {0.035, 0.775, 0.13, 0.18}, Style::cinematic);
    const auto arcs = ofType(drawOne(widget, 25), Call::Type::strokePath);
    ASSERT_EQ(arcs.size(), 2u);
    EXPECT_DOUBLE_EQ(arcOf(arcs[0]).startAngle, 118 * degrees);
    EXPECT_DOUBLE_EQ(arcOf(arcs[0]).endAngle, 422 * degrees);
    EXPECT_NEAR(arcOf(arcs[1]).endAngle, (118 + 0.25 * 304) * degrees, 1e-12);
    const auto start = ofType(drawOne(widget, 0), Call::Type::strokePath);
    EXPECT_DOUBLE_EQ(arcOf(start[1]).endAngle, 118 * degrees);
}

TEST(LayoutFrameRendererTest, SparklineThinsAltitudePairsByAnIntegerStep) {
    const DrawingRect p{100, 200, 300, 60};
    const auto many = makeActivity(150);
    const auto points = LayoutFrameRenderer::altitudeSparklinePoints(*many, p);
    ASSERT_EQ(points.size(), 75u);  // pairs 0, 2, …, 148
    EXPECT_DOUBLE_EQ(points[1].x, p.minX() + p.width * 2 / 149);
    EXPECT_DOUBLE_EQ(points.back().x, p.minX() + p.width * 148 / 149);
    EXPECT_EQ(LayoutFrameRenderer::altitudeSparklinePoints(*makeActivity(71), p).size(), 71u);
    // Heights span the rectangle: the lowest altitude sits on the bottom edge.
    const double lowestY = std::max_element(points.begin(), points.end(), [](auto a, auto b) { return a.y < b.y; })->y;
    EXPECT_DOUBLE_EQ(lowestY, p.maxY());

    // Samples without altitude keep their index on the x axis.
    std::vector<TelemetrySample> samples = makeActivity(10)->samples;
    for (std::size_t k = 0; k < samples.size(); k += 2) samples[k].altitudeMeters.reset();
    const TelemetryActivity sparse(std::nullopt, samples);
    const auto odd = LayoutFrameRenderer::altitudeSparklinePoints(sparse, p);
    ASSERT_EQ(odd.size(), 5u);
    EXPECT_DOUBLE_EQ(odd[0].x, p.minX() + p.width * 1 / 9);
    EXPECT_TRUE(LayoutFrameRenderer::altitudeSparklinePoints(*makeActivity(10, true, false), p).empty());
}

TEST(LayoutFrameRendererTest, CinematicGradeWithoutAltitudeDrawsTextsOnly) {
    const auto widget = makeWidget(Kind::gradient, {0.20, 0.80, 0.16, 0.12}, Style::cinematic);
    const auto withAltitude = drawOne(widget);
    EXPECT_EQ(ofType(withAltitude, Call::Type::strokePath).size(), 2u);  // rule, sparkline
    EXPECT_EQ(ofType(withAltitude, Call::Type::fillEllipse).size(), 1u);
    const auto without = drawOne(widget, 50, makeActivity(101, true, false));
    EXPECT_EQ(without.texts(), (std::vector<std::string>{"//", "УКЛОН", "--", "%"}));
    EXPECT_EQ(ofType(without, Call::Type::strokePath).size(), 1u);  // the rule
    EXPECT_TRUE(ofType(without, Call::Type::fillEllipse).empty());
}

TEST(LayoutFrameRendererTest, CinematicProgressHas61TicksAndAMarkerAtTheStart) {
    const auto widget = makeWidget(Kind::progress, {0.43, 0.905, 0.42, 0.045}, Style::cinematic);
    const DrawingRect r = LayoutFrameRenderer::rect(widget, 1920, 1080);
    const auto surface = drawOne(widget, 0);
    const auto strokes = ofType(surface, Call::Type::strokePath);
    // Baseline, 61 ticks, progress line, hairline.
    ASSERT_EQ(strokes.size(), 64u);
    const double m = std::max(r.width * 0.006, 3.0);
    const double x0 = r.minX() + m;
    const double y0 = r.midY() + r.height * 0.06;
    EXPECT_EQ(strokes[6].state.lineWidth, 1.1);  // k = 5
    EXPECT_EQ(strokes[7].state.lineWidth, 0.8);
    EXPECT_EQ(strokes[6].path.elements()[0].point.x, strokes[6].path.elements()[1].point.x);  // vertical
    EXPECT_NEAR(strokes[6].path.elements()[1].point.y - strokes[6].path.elements()[0].point.y, r.height * 0.42, 1e-9);
    EXPECT_DOUBLE_EQ(strokes[62].path.elements()[1].point.x, x0);  // zero-length progress line
    const auto marker = ofType(surface, Call::Type::fillPath);
    ASSERT_EQ(marker.size(), 1u);
    const double t = std::max(r.height * 0.25, 7.0);
    EXPECT_EQ(marker[0].path.elements()[0].point, (DrawingPoint{x0, y0 - 0.8 * t}));
}

TEST(LayoutFrameRendererTest, FrameKeyIsTheSampleInForce) {
    const auto activity = makeActivity();
    const LayoutFrameRenderer renderer(activity, PacemarkLayout::preset(PacemarkPreset::compactRace), 1920, 1080,
                                       nullptr);
    for (double t : {-5.0, 0.0, 0.4, 1.0, 49.99, 100.0, 1e9}) EXPECT_EQ(renderer.frameKey(t), activity->sampleIndex(t));
    // Frames sharing a key ask for identical drawing.
    RecordingDrawingSurface a(1920, 1080), b(1920, 1080);
    renderer.drawFrame(12.1, a);
    renderer.drawFrame(12.9, b);
    EXPECT_EQ(a.calls().size(), b.calls().size());
    EXPECT_EQ(a.texts(), b.texts());
}
