#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string_view>

#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"
#include "Telemetry/TelemetryActivity.h"

using namespace pacemark;

namespace {

using Kind = TelemetryWidgetKind;
using Style = TelemetryWidgetPanelStyle;

TelemetrySample sampleWith(auto setter) {
    TelemetrySample s;
    setter(s);
    return s;
}

}  // namespace

TEST(TelemetryWidgetFrameTest, ClampsSizeFirstThenPosition) {
    const double nan = std::nan("");
    const std::pair<TelemetryWidgetFrame, TelemetryWidgetFrame> cases[] = {
        {{0.9, 0.9, 0.5, 0.6}, {0.5, 0.5, 0.5, 0.5}},
        {{-1, -1, 0, 0}, {0, 0, 0.04, 0.018}},
        {{0.2, 0.3, 2, 2}, {0.2, 0.3, 0.75, 0.5}},
        {{0.5, 0.1, 0.6, 0.1}, {0.4, 0.1, 0.6, 0.1}},
        {{nan, nan, nan, nan}, {0, 0, 0.04, 0.018}},  // a damaged frame
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(in.clamped(), out) << in.x << " " << in.width;
}

// A caption is cut to its first 24 characters as the user sees them, never
// inside one; the title shown is the caption trimmed, or the kind's own.
TEST(PacemarkWidgetTest, CaptionsKeepTheFirst24CharactersWholeAndShowTrimmed) {
    const auto repeated = [](std::string_view piece, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) text += piece;
        return text;
    };
    const std::pair<std::string, std::string> cases[] = {
        {repeated("Ж", 30), repeated("Ж", 24)},            // two bytes each, never split
        {repeated("e\u0301", 30), repeated("e\u0301", 24)},  // a combining accent stays with its letter
        {repeated("\U0001F44D\U0001F3FD", 30), repeated("\U0001F44D\U0001F3FD", 24)},  // skin tone
        {repeated("\U0001F468\u200D\U0001F469\u200D\U0001F467", 25),
         repeated("\U0001F468\u200D\U0001F469\u200D\U0001F467", 24)},  // a family joined by ZWJ
        {repeated("\U0001F1F7\U0001F1FA", 30), repeated("\U0001F1F7\U0001F1FA", 24)},  // a flag is two indicators
        {"\U0001F1F7\U0001F1FA\U0001F1F7" + repeated("a", 30), "\U0001F1F7\U0001F1FA\U0001F1F7" + repeated("a", 22)},
        {repeated("\r\n", 30), repeated("\r\n", 24)},
        {"  Темп  ", "  Темп  "},  // white space is kept as typed
        {repeated("\xFF", 30), repeated("\xFF", 24)},  // stray bytes count one each
        {"\xD0", "\xD0"},  // a sequence cut short at the end keeps what is there
    };
    for (const auto& [typed, kept] : cases) EXPECT_EQ(PacemarkWidget::limitedCaption(typed), kept) << typed;

    const std::pair<std::string, std::string> titles[] = {
        {"   ", "СКОР"}, {" \n Темп\t\n", "Темп"}, {"\xC2\xA0Ватты\xE3\x80\x80", "Ватты"}};
    for (const auto& [caption, shown] : titles) {
        const PacemarkWidget widget(UUID::random(), Kind::speed, std::nullopt, caption, 0, 0, 0, Style::glass, true);
        EXPECT_EQ(widget.displayTitle(), shown);
    }
}

TEST(TelemetryWidgetKindTest, FormattedValues) {
    const TelemetryActivity activity(std::nullopt, {sampleWith([](auto& s) { s.elapsed = 0; }),
                                                    sampleWith([](auto& s) { s.elapsed = 100; })});
    auto text = [&](Kind kind, auto setter) { return kind.formattedValue(sampleWith(setter), activity); };

    EXPECT_EQ(text(Kind::gradient, [](auto& s) { s.gradePercent = -12.4; }), "-12");
    EXPECT_EQ(text(Kind::gradient, [](auto& s) { s.gradePercent = INFINITY; }), "--");
    EXPECT_EQ(text(Kind::speed, [](auto&) {}), "--");
    EXPECT_EQ(text(Kind::power, [](auto& s) { s.powerWatts = -3; }), "-3");
    EXPECT_EQ(text(Kind::distance, [](auto& s) { s.distanceMeters = 12345; }), "12.3");
    EXPECT_EQ(text(Kind::altitude, [](auto& s) { s.altitudeMeters = 412.6; }), "413");
    EXPECT_EQ(text(Kind::gpsCoordinates, [](auto& s) { s.latitude = 45.5; s.longitude = -7.25; }),
              "45.500000, -7.250000");
    EXPECT_EQ(text(Kind::gpsCoordinates, [](auto& s) { s.latitude = 45.5; }), "--");
    EXPECT_EQ(text(Kind::progress, [](auto& s) { s.elapsed = 41.66; }), "42%");
    EXPECT_EQ(text(Kind::progress, [](auto& s) { s.elapsed = 250; }), "100%");
    EXPECT_EQ(text(Kind::progress, [](auto& s) { s.elapsed = NAN; }), "0%");
    const TelemetryActivity empty;
    EXPECT_EQ(Kind(Kind::progress).formattedValue(sampleWith([](auto& s) { s.elapsed = 5; }), empty), "0%");
}

TEST(TelemetryWidgetKindTest, GaugeProgressAndCoordinateLines) {
    TelemetrySample last;
    last.elapsed = 200;
    last.distanceMeters = 1000;
    const TelemetryActivity activity(std::nullopt, {TelemetrySample{}, last});
    auto gauge = [&](Kind kind, auto setter) { return kind.gaugeProgress(sampleWith(setter), activity); };

    EXPECT_DOUBLE_EQ(gauge(Kind::altitude, [](auto& s) { s.altitudeMeters = -500; }), 0.2);
    EXPECT_EQ(gauge(Kind::speed, [](auto& s) { s.speedMetersPerSecond = -3; }), 0.0);
    EXPECT_DOUBLE_EQ(gauge(Kind::gradient, [](auto& s) { s.gradePercent = -11; }), 0.5);
    EXPECT_DOUBLE_EQ(gauge(Kind::distance, [](auto& s) { s.distanceMeters = 250; }), 0.25);
    EXPECT_EQ(gauge(Kind::power, [](auto&) {}), 0.0);
    EXPECT_EQ(gauge(Kind::speed, [](auto& s) { s.speedMetersPerSecond = NAN; }), 0.0);

    const Kind coordinates = Kind::gpsCoordinates;
    EXPECT_EQ(coordinates.coordinateLines(sampleWith([](auto& s) { s.latitude = 45.1234567; s.longitude = 7.5; })),
              (CoordinateLines{"LAT 45.123457", "LON 7.500000"}));
    EXPECT_EQ(coordinates.coordinateLines(sampleWith([](auto& s) { s.latitude = 45.0; })),
              (CoordinateLines{"LAT --", "LON --"}));
}

// What every preset promises its users, whatever its table says: widgets that
// fit the picture as they are (clamping changes nothing), all visible, no
// kind twice, captions only where the cinematic style needs its
// short upper-case labels, and fresh widget ids each time it is applied.
TEST(PacemarkPresetTest, EveryPresetIsAUsableLayout) {
    for (const PacemarkPreset preset : PacemarkPreset::allCases()) {
        SCOPED_TRACE(std::string(preset.rawValue()));
        EXPECT_EQ(PacemarkPreset::fromRawValueOrCaseName(preset.rawValue()), preset);
        EXPECT_EQ(PacemarkPreset::fromRawValueOrCaseName(preset.caseName()), preset);
        const auto layout = PacemarkLayout::preset(preset);
        std::set<Kind::Value> kinds;
        for (const PacemarkWidget& w : layout.widgets) {
            EXPECT_EQ(w.frame.clamped(), w.frame);
            EXPECT_TRUE(w.isVisible);
            EXPECT_TRUE(kinds.insert(w.kind).second) << w.kind.rawValue();
            const bool captioned = w.panelStyle == Style::cinematic && w.kind != Kind::progress;
            EXPECT_EQ(!w.titleOverride.empty(), captioned) << w.kind.rawValue();
        }
        const auto again = PacemarkLayout::preset(preset);
        std::set<UUID> ids;
        for (std::size_t i = 0; i < layout.widgets.size(); ++i) {
            auto copy = again.widgets[i];
            copy.id = layout.widgets[i].id;
            EXPECT_EQ(copy, layout.widgets[i]);
            ids.insert({layout.widgets[i].id, again.widgets[i].id});
        }
        EXPECT_EQ(ids.size(), 2 * layout.widgets.size());
    }
    EXPECT_FALSE(PacemarkPreset::fromRawValue("minimal"));  // the case name is not a raw value

    // A caption stored in the override survives a change of kind.
    auto cinematic = PacemarkLayout::preset(PacemarkPreset::cinematicHud);
    cinematic.widgets[0].kind = Kind::power;
    EXPECT_EQ(cinematic.widgets[0].displayTitle(), "СКОР");
}

TEST(UUIDTest, RandomVersion4UpperCaseText) {
    const UUID id = UUID::random();
    const std::string text = id.uuidString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos);
    EXPECT_EQ(UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")->uuidString(),
              "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_FALSE(UUID::fromString("E621E1F8C36C-495A-93FC-0C247A3E6E5F0"));
}
