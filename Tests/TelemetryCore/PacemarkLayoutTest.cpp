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

PacemarkWidget makeWidget(Kind kind, std::optional<TelemetryWidgetFrame> frame = std::nullopt,
                          std::string title = "") {
    return PacemarkWidget(UUID::random(), kind, frame, std::move(title), 0x35D05B, 0xA8A8A8, 0xFFFFFF, Style::glass,
                          true);
}

TelemetrySample sampleWith(auto setter) {
    TelemetrySample s;
    setter(s);
    return s;
}

}  // namespace

TEST(TelemetryWidgetFrameTest, ClampsSizeFirstThenPosition) {
    struct Case {
        TelemetryWidgetFrame in, out;
    };
    const Case cases[] = {
        {{0.9, 0.9, 0.5, 0.6}, {0.5, 0.5, 0.5, 0.5}},
        {{-1, -1, 0, 0}, {0, 0, 0.04, 0.018}},
        {{0.2, 0.3, 2, 2}, {0.2, 0.3, 0.75, 0.5}},
        {{0.5, 0.1, 0.6, 0.1}, {0.4, 0.1, 0.6, 0.1}},
    };
    for (const auto& c : cases) {
        const auto got = c.in.clamped();
        EXPECT_DOUBLE_EQ(got.x, c.out.x);
        EXPECT_DOUBLE_EQ(got.y, c.out.y);
        EXPECT_DOUBLE_EQ(got.width, c.out.width);
        EXPECT_DOUBLE_EQ(got.height, c.out.height);
    }
    const auto nan = std::nan("");
    const auto damaged = TelemetryWidgetFrame{nan, nan, nan, nan}.clamped();
    EXPECT_EQ(damaged, (TelemetryWidgetFrame{0, 0, 0.04, 0.018}));
}

TEST(PacemarkWidgetTest, DefaultFrameClampingAndDisplayTitle) {
    EXPECT_EQ(makeWidget(Kind::progress).frame, (TelemetryWidgetFrame{0.04, 0.955, 0.30, 0.02}));
    EXPECT_EQ(makeWidget(Kind::speed, TelemetryWidgetFrame{0.9, 0.9, 0.5, 0.6}).frame,
              (TelemetryWidgetFrame{0.5, 0.5, 0.5, 0.5}));
    EXPECT_EQ(makeWidget(Kind::speed, std::nullopt, "   ").displayTitle(), "СКОР");
    EXPECT_EQ(makeWidget(Kind::speed, std::nullopt, " \n Темп\t\n").displayTitle(), "Темп");
    EXPECT_EQ(makeWidget(Kind::power, std::nullopt, "\xC2\xA0Ватты\xE3\x80\x80").displayTitle(), "Ватты");
    EXPECT_EQ(makeWidget(Kind::power).displayTitle(), "МОЩ");
}

TEST(PacemarkWidgetTest, CaptionsKeepTheFirst24CharactersWhole) {
    const auto repeated = [](std::string_view piece, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) text += piece;
        return text;
    };
    struct Case {
        std::string typed, kept;
    };
    const Case cases[] = {
        {repeated("a", 30), repeated("a", 24)},
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
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PacemarkWidget::limitedCaption(c.typed), c.kept) << c.typed;
    // A sequence cut short at the end of the text keeps what is there.
    EXPECT_EQ(PacemarkWidget::limitedCaption("\xD0"), "\xD0");
}

TEST(TelemetryWidgetKindTest, RawValuesTitlesAndUnits) {
    for (Kind kind : Kind::allCases()) EXPECT_EQ(Kind::fromRawValue(kind.rawValue()), kind);
    EXPECT_EQ(Kind::fromRawValue("heartRate"), Kind::heartRate);
    EXPECT_FALSE(Kind::fromRawValue("Speed"));
    EXPECT_EQ(Kind(Kind::power).unit(), "Вт");
    EXPECT_EQ(Kind(Kind::elapsedTime).unit(), "");
    EXPECT_EQ(Kind(Kind::gpsCoordinates).title(), "GPS координаты");
    EXPECT_EQ(Style::fromRawValue("cinematic"), Style::cinematic);
    EXPECT_EQ(Style(Style::cinematic).title(), "Кино HUD");
    EXPECT_FALSE(Style::fromRawValue("Glass"));
}

TEST(TelemetryWidgetKindTest, FormattedValues) {
    const TelemetryActivity activity(std::nullopt, {sampleWith([](auto& s) { s.elapsed = 0; }),
                                                    sampleWith([](auto& s) { s.elapsed = 100; })});
    const TelemetryActivity empty;
    auto text = [&](Kind kind, auto setter) { return kind.formattedValue(sampleWith(setter), activity); };

    EXPECT_EQ(text(Kind::gradient, [](auto& s) { s.gradePercent = 0.04; }), "0.0");
    EXPECT_EQ(text(Kind::gradient, [](auto& s) { s.gradePercent = -12.4; }), "-12");
    EXPECT_EQ(text(Kind::gradient, [](auto& s) { s.gradePercent = 9.96; }), "10.0");
    EXPECT_EQ(text(Kind::gradient, [](auto& s) { s.gradePercent = INFINITY; }), "--");
    EXPECT_EQ(text(Kind::speed, [](auto& s) { s.speedMetersPerSecond = 10; }), "36.0");
    EXPECT_EQ(text(Kind::speed, [](auto&) {}), "--");
    EXPECT_EQ(text(Kind::power, [](auto& s) { s.powerWatts = -3; }), "-3");
    EXPECT_EQ(text(Kind::distance, [](auto& s) { s.distanceMeters = 12345; }), "12.3");
    EXPECT_EQ(text(Kind::altitude, [](auto& s) { s.altitudeMeters = 412.6; }), "413");
    EXPECT_EQ(text(Kind::elapsedTime, [](auto& s) { s.elapsed = 3725; }), "1:02:05");
    EXPECT_EQ(text(Kind::gpsCoordinates, [](auto& s) { s.latitude = 45.5; s.longitude = -7.25; }),
              "45.500000, -7.250000");
    EXPECT_EQ(text(Kind::gpsCoordinates, [](auto& s) { s.latitude = 45.5; }), "--");
    EXPECT_EQ(text(Kind::route, [](auto&) {}), "");
    EXPECT_EQ(text(Kind::progress, [](auto& s) { s.elapsed = 0; }), "0%");
    EXPECT_EQ(text(Kind::progress, [](auto& s) { s.elapsed = 41.66; }), "42%");
    EXPECT_EQ(text(Kind::progress, [](auto& s) { s.elapsed = 250; }), "100%");
    EXPECT_EQ(text(Kind::progress, [](auto& s) { s.elapsed = NAN; }), "0%");
    EXPECT_EQ(Kind(Kind::progress).formattedValue(sampleWith([](auto& s) { s.elapsed = 5; }), empty), "0%");
}

TEST(TelemetryWidgetKindTest, GaugeProgressAndCoordinateLines) {
    TelemetrySample last;
    last.elapsed = 200;
    last.distanceMeters = 1000;
    const TelemetryActivity activity(std::nullopt, {TelemetrySample{}, last});
    auto gauge = [&](Kind kind, auto setter) { return kind.gaugeProgress(sampleWith(setter), activity); };

    EXPECT_EQ(gauge(Kind::heartRate, [](auto& s) { s.heartRateBPM = 250; }), 1.0);
    EXPECT_DOUBLE_EQ(gauge(Kind::altitude, [](auto& s) { s.altitudeMeters = -500; }), 0.2);
    EXPECT_EQ(gauge(Kind::gpsCoordinates, [](auto& s) { s.latitude = 1; s.longitude = 1; }), 0.0);
    EXPECT_EQ(gauge(Kind::speed, [](auto& s) { s.speedMetersPerSecond = -3; }), 0.0);
    EXPECT_DOUBLE_EQ(gauge(Kind::speed, [](auto& s) { s.speedMetersPerSecond = 10; }), 36.0 / 80);
    EXPECT_DOUBLE_EQ(gauge(Kind::gradient, [](auto& s) { s.gradePercent = -11; }), 0.5);
    EXPECT_DOUBLE_EQ(gauge(Kind::distance, [](auto& s) { s.distanceMeters = 250; }), 0.25);
    EXPECT_DOUBLE_EQ(gauge(Kind::elapsedTime, [](auto& s) { s.elapsed = 50; }), 0.25);
    EXPECT_EQ(gauge(Kind::power, [](auto&) {}), 0.0);
    EXPECT_EQ(gauge(Kind::speed, [](auto& s) { s.speedMetersPerSecond = NAN; }), 0.0);

    const Kind coordinates = Kind::gpsCoordinates;
    EXPECT_EQ(coordinates.coordinateLines(sampleWith([](auto& s) { s.latitude = 45.1234567; s.longitude = 7.5; })),
              (CoordinateLines{"LAT 45.123457", "LON 7.500000"}));
    EXPECT_EQ(coordinates.coordinateLines(sampleWith([](auto& s) { s.latitude = 45.0; })),
              (CoordinateLines{"LAT --", "LON --"}));
}

// What every preset promises its users, whatever its table says: widgets that
// fit the picture as they are (clamping changes nothing), all visible, white
// values, no kind twice, and captions only where the cinematic style needs
// its short upper-case labels.
TEST(PacemarkPresetTest, EveryPresetIsAUsableLayout) {
    for (const PacemarkPreset preset : PacemarkPreset::allCases()) {
        SCOPED_TRACE(std::string(preset.rawValue()));
        const auto layout = PacemarkLayout::preset(preset);
        EXPECT_GE(layout.widgets.size(), 3u);
        std::set<Kind::Value> kinds;
        for (const PacemarkWidget& w : layout.widgets) {
            EXPECT_EQ(w.frame.clamped(), w.frame);
            EXPECT_TRUE(w.isVisible);
            EXPECT_EQ(w.valueColorHex, 0xFFFFFFu);
            EXPECT_TRUE(kinds.insert(w.kind).second) << w.kind.rawValue();
            const bool captioned = w.panelStyle == Style::cinematic && w.kind != Kind::progress;
            EXPECT_EQ(!w.titleOverride.empty(), captioned) << w.kind.rawValue();
        }
    }
}

TEST(PacemarkPresetTest, RawValuesAndFreshIdentities) {
    for (PacemarkPreset preset : PacemarkPreset::allCases()) {
        EXPECT_EQ(PacemarkPreset::fromRawValue(preset.rawValue()), preset);
    }
    EXPECT_EQ(PacemarkPreset::fromRawValue("MARENTO чисто"), PacemarkPreset::marentoClean);
    EXPECT_FALSE(PacemarkPreset::fromRawValue("Минимум "));
    EXPECT_FALSE(PacemarkPreset::fromRawValue("minimal"));
    EXPECT_EQ(PacemarkPreset::fromRawValueOrCaseName("minimal"), PacemarkPreset::minimal);

    const auto a = PacemarkLayout::preset(PacemarkPreset::compactRace);
    const auto b = PacemarkLayout::preset(PacemarkPreset::compactRace);
    EXPECT_NE(a, b);
    std::set<UUID> ids;
    for (std::size_t i = 0; i < a.widgets.size(); ++i) {
        auto copy = b.widgets[i];
        copy.id = a.widgets[i].id;
        EXPECT_EQ(copy, a.widgets[i]);
        ids.insert(a.widgets[i].id);
        ids.insert(b.widgets[i].id);
    }
    EXPECT_EQ(ids.size(), 2 * a.widgets.size());

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
    for (char c : text) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '-') << text;
    EXPECT_EQ(UUID::fromString(text), id);
    EXPECT_EQ(UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")->uuidString(),
              "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_FALSE(UUID::fromString("E621E1F8C36C-495A-93FC-0C247A3E6E5F0"));
    EXPECT_NE(UUID::random(), UUID::random());
}
