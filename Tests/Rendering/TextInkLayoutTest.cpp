// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>

#include "CairoDrawingSurface.h"
#include "CairoPNG.h"
#include "Layout/PacemarkPreset.h"
#include "RideFixture.h"
#include "Rendering/DrawingBounds.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "Rendering/RecordingDrawingSurface.h"
#include "Telemetry/TelemetryFileLoader.h"

using namespace pacemark;

namespace {

using Call = RecordedDrawingCall;

// A ride whose texts are as long as they get: four-digit power, 100+ km.
std::shared_ptr<const TelemetryActivity> longNumbersRide() {
    const auto base = pacemark::testing::makeRide(3600);
    std::vector<TelemetrySample> samples = base->samples;
    for (TelemetrySample& s : samples) {
        s.powerWatts = 1000 + s.powerWatts.value_or(0) * 3;
        s.distanceMeters = 100000 + 40.0 * s.elapsed;
        s.speedMetersPerSecond = 18.0 + s.speedMetersPerSecond.value_or(0);
    }
    return std::make_shared<const TelemetryActivity>(std::nullopt, std::move(samples));
}

// The ink of one drawn text, in picture pixels, measured by drawing it alone
// through the cairo surface; cached per text, font and rectangle size.
DrawingRect inkOf(const Call& text) {
    static std::map<std::tuple<std::string, double, int, bool, double, double, double, int>, DrawingRect> cache;
    // Drawn at the same fraction of a pixel as in the frame, so the same pixels get ink.
    const double dx = text.rect.x - std::floor(text.rect.x), dy = text.rect.y - std::floor(text.rect.y);
    const auto key = std::make_tuple(text.text, text.font.size, static_cast<int>(text.font.weight),
                                     text.font.monospacedDigits, text.font.minimumScaleFactor, text.rect.width,
                                     dx * 1000 + dy, static_cast<int>(text.alignment));
    const double pad = 8;
    auto found = cache.find(key);
    if (found == cache.end()) {
        static const CairoDrawingSurfaceFactory factory;
        OwnedPixelBuffer picture(static_cast<std::int64_t>(text.rect.width + 2 * pad),
                                 static_cast<std::int64_t>(text.font.size * 2 + 2 * pad));
        auto surface = factory.makeSurface(picture.view());
        surface->drawText(text.text, {pad + dx, pad + dy, text.rect.width, text.rect.height}, text.font,
                          DrawingColor::white(), text.alignment);
        surface.reset();
        // Whole pixels, relative to the text's rectangle; empty when nothing was drawn.
        DrawingRect ink;
        for (std::int64_t y = 0; y < picture.height; ++y) {
            for (std::int64_t x = 0; x < picture.width; ++x) {
                if (picture.bytes[static_cast<std::size_t>((y * picture.width + x) * 4 + 3)] < 16) continue;
                ink = bounds::unite(ink, {static_cast<double>(x) - pad, static_cast<double>(y) - pad, 1, 1});
            }
        }
        found = cache.emplace(key, ink).first;
    }
    const DrawingRect& ink = found->second;
    return {ink.x + std::floor(text.rect.x), ink.y + std::floor(text.rect.y), ink.width, ink.height};
}

bool contains(const DrawingRect& outer, const DrawingRect& inner) {
    return inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX() && inner.minY() >= outer.minY() &&
           inner.maxY() <= outer.maxY();
}

}  // namespace

// Inside every widget of every preset, no text's ink touches another's or a
// rule, and none leaves the widget's rectangle: at the sizes cameras record
// and screens show, in both shapes, through a ride and with the longest
// numbers. Only the drawing calls are recorded; each text is drawn alone to
// measure its ink, so 8K costs no 8K frames.
TEST(TextInkLayoutTest, TextsOfAWidgetNeverOverlap) {
    const std::vector<std::pair<std::string, std::shared_ptr<const TelemetryActivity>>> rides = {
        {"sample ride", std::make_shared<const TelemetryActivity>(TelemetryFileLoader::load(
                            std::filesystem::path(PACEMARK_SOURCE_DIR) / "samples" / "sample-ride.fit"))},
        {"long numbers", longNumbersRide()},
    };
    const std::vector<std::pair<std::int64_t, std::int64_t>> sizes = {
        {640, 360},   {848, 480},   {1280, 720}, {1920, 1080}, {2704, 1520},
        {3840, 2160}, {7680, 4320}, {1080, 1920}};
    for (const auto& [rideName, ride] : rides) {
        for (const auto& [width, height] : sizes) {
            for (const PacemarkPreset& preset : PacemarkPreset::allCases()) {
                for (const PacemarkWidget& widget : preset.layout().widgets) {
                    SCOPED_TRACE(rideName + " " + std::to_string(width) + "x" + std::to_string(height) + " " +
                                 std::string(preset.rawValue()) + " " + std::string(widget.kind.rawValue()) + " " +
                                 std::string(widget.panelStyle.rawValue()));
                    const LayoutFrameRenderer renderer(ride, PacemarkLayout{{widget}}, width, height, nullptr);
                    const DrawingRect card = renderer.canvas().widgetRect(widget);
                    // Ink is measured in whole pixels; the card's edges are not whole.
                    const DrawingRect cardPixels = bounds::outset(card, 1);
                    // The cinematic style, drawn without panels, also keeps two clear pixels
                    // between texts at 1080 lines, the same share of the picture at any size.
                    const double clearance =
                        widget.panelStyle == TelemetryWidgetPanelStyle::cinematic ? 2 * renderer.canvas().scale : 0;
                    for (const double fraction : {0.05, 0.4, 0.93}) {
                        SCOPED_TRACE("at " + std::to_string(fraction));
                        RecordingDrawingSurface surface(width, height);
                        renderer.drawFrame(fraction * ride->durationSeconds(), surface);
                        std::vector<Call> texts;
                        std::vector<DrawingRect> rules;  // straight strokes: rules and ticks
                        for (const Call& call : surface.calls()) {
                            if (call.type == Call::Type::drawText && !call.text.empty()) texts.push_back(call);
                            const auto& e = call.path.elements();
                            if (call.type == Call::Type::strokePath && e.size() == 2 &&
                                e[1].type == DrawingPath::ElementType::lineTo) {
                                rules.push_back(bounds::outset(bounds::ofPath(call.path), call.state.lineWidth / 2));
                            }
                        }
                        for (std::size_t a = 0; a < texts.size(); ++a) {
                            const DrawingRect ink = inkOf(texts[a]);
                            EXPECT_TRUE(bounds::isEmpty(ink) || contains(cardPixels, ink))
                                << "\"" << texts[a].text << "\" leaves its widget";
                            const DrawingRect inkA = bounds::outset(ink, clearance);
                            for (std::size_t b = a + 1; b < texts.size(); ++b) {
                                EXPECT_FALSE(bounds::intersects(inkA, inkOf(texts[b])))
                                    << "\"" << texts[a].text << "\" and \"" << texts[b].text << "\"";
                            }
                            for (const DrawingRect& rule : rules) {
                                EXPECT_FALSE(bounds::intersects(inkA, rule))
                                    << "\"" << texts[a].text << "\" and a rule";
                            }
                        }
                    }
                }
            }
        }
    }
}
