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
    ASSERT_EQ(Kind::allCases().size(), 11u);
    EXPECT_EQ(Kind::allCases()[0], Kind::speed);
    EXPECT_EQ(Kind::allCases()[10], Kind::progress);
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

namespace {

struct ExpectedRow {
    Kind::Value kind;
    double x, y, width, height;
    Style::Value style;
    std::uint32_t accent, label;
    const char* caption;
};

void expectPreset(PacemarkPreset preset, std::initializer_list<ExpectedRow> rows) {
    SCOPED_TRACE(std::string(preset.rawValue()));
    const auto layout = PacemarkLayout::preset(preset);
    ASSERT_EQ(layout.widgets.size(), rows.size());
    std::size_t i = 0;
    for (const auto& row : rows) {
        const auto& w = layout.widgets[i++];
        SCOPED_TRACE(i);
        EXPECT_EQ(w.kind, row.kind);
        EXPECT_EQ(w.frame, (TelemetryWidgetFrame{row.x, row.y, row.width, row.height}));
        EXPECT_EQ(w.frame.clamped(), w.frame);
        EXPECT_EQ(w.panelStyle, row.style);
        EXPECT_EQ(w.accentHex, row.accent);
        EXPECT_EQ(w.labelColorHex, row.label);
        EXPECT_EQ(w.valueColorHex, 0xFFFFFFu);
        EXPECT_EQ(w.titleOverride, row.caption);
        EXPECT_TRUE(w.isVisible);
    }
}

}  // namespace

// Every preset's widget list, written out independently of the factory's table.
TEST(PacemarkPresetTest, EveryPresetMatchesItsTable) {
    using K = Kind;
    using S = Style;
    expectPreset(PacemarkPreset::compactRace, {
        {K::speed, 0.04, 0.68, 0.15, 0.15, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::power, 0.22, 0.69, 0.11, 0.10, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::heartRate, 0.35, 0.69, 0.13, 0.10, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::cadence, 0.50, 0.69, 0.11, 0.10, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::gradient, 0.63, 0.69, 0.11, 0.10, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::route, 0.04, 0.84, 0.20, 0.10, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::progress, 0.04, 0.955, 0.36, 0.018, S::glass, 0x35D05B, 0xA8A8A8, ""}});
    expectPreset(PacemarkPreset::marentoClean, {
        {K::speed, 0.04, 0.72, 0.15, 0.17, S::clean, 0x35D05B, 0xD8DDD9, ""},
        {K::power, 0.22, 0.76, 0.11, 0.11, S::clean, 0xF2C94C, 0xD8DDD9, ""},
        {K::heartRate, 0.35, 0.76, 0.12, 0.11, S::clean, 0xFF4D6D, 0xD8DDD9, ""},
        {K::cadence, 0.49, 0.76, 0.11, 0.11, S::clean, 0x74D9FF, 0xD8DDD9, ""},
        {K::elapsedTime, 0.62, 0.76, 0.14, 0.11, S::clean, 0xFFFFFF, 0xD8DDD9, ""},
        {K::route, 0.72, 0.58, 0.22, 0.22, S::clean, 0x35D05B, 0xD8DDD9, ""},
        {K::progress, 0.04, 0.955, 0.75, 0.018, S::glass, 0x35D05B, 0xD8DDD9, ""}});
    expectPreset(PacemarkPreset::raceBroadcast, {
        {K::speed, 0.03, 0.76, 0.14, 0.16, S::broadcast, 0x35D05B, 0xBFC8C2, ""},
        {K::power, 0.19, 0.79, 0.11, 0.11, S::broadcast, 0xF2C94C, 0xCFC7A4, ""},
        {K::heartRate, 0.32, 0.79, 0.12, 0.11, S::broadcast, 0xFF4D6D, 0xD4B4BD, ""},
        {K::cadence, 0.46, 0.79, 0.11, 0.11, S::broadcast, 0x74D9FF, 0xB4CDD6, ""},
        {K::distance, 0.59, 0.79, 0.12, 0.11, S::broadcast, 0x35D05B, 0xBFC8C2, ""},
        {K::elapsedTime, 0.73, 0.79, 0.14, 0.11, S::broadcast, 0xFFFFFF, 0xC6C6C6, ""},
        {K::route, 0.88, 0.73, 0.09, 0.18, S::broadcast, 0x74D9FF, 0xB4CDD6, ""},
        {K::progress, 0.03, 0.94, 0.75, 0.028, S::glass, 0x35D05B, 0xD8DDD9, ""}});
    expectPreset(PacemarkPreset::cinematicHud, {
        {K::speed, 0.835, 0.055, 0.135, 0.13, S::cinematic, 0xFF5A1F, 0xE8E8E8, "СКОР"},
        {K::power, 0.835, 0.205, 0.135, 0.12, S::cinematic, 0xFF5A1F, 0xE8E8E8, "МОЩ"},
        {K::heartRate, 0.835, 0.345, 0.135, 0.12, S::cinematic, 0xFF5A1F, 0xE8E8E8, "ПУЛЬС"},
        {K::distance, 0.835, 0.505, 0.135, 0.09, S::cinematic, 0xFF5A1F, 0xE8E8E8, "ДИСТ"},
        {K::altitude, 0.835, 0.635, 0.135, 0.09, S::cinematic, 0xFF5A1F, 0xE8E8E8, "ВЫС"},
        {K::route, 0.86, 0.765, 0.11, 0.15, S::cinematic, 0xFF5A1F, 0xE8E8E8, "ТРЕК"},
        {K::elapsedTime, 0.035, 0.775, 0.13, 0.18, S::cinematic, 0xFF5A1F, 0xD8D8D8, "ВРЕМЯ"},
        {K::gradient, 0.20, 0.80, 0.16, 0.12, S::cinematic, 0xFF5A1F, 0xD8D8D8, "УКЛОН"},
        {K::progress, 0.43, 0.905, 0.42, 0.045, S::cinematic, 0xFF5A1F, 0xD8D8D8, ""}});
    expectPreset(PacemarkPreset::socialStickers, {
        {K::speed, 0.06, 0.67, 0.17, 0.12, S::pill, 0x35D05B, 0xDDE5E0, ""},
        {K::distance, 0.06, 0.84, 0.17, 0.09, S::pill, 0x74D9FF, 0xD8EBF2, ""},
        {K::elapsedTime, 0.37, 0.86, 0.20, 0.09, S::pill, 0xF2C94C, 0xF2E5B8, ""},
        {K::heartRate, 0.76, 0.67, 0.15, 0.09, S::pill, 0xFF4D6D, 0xF0CAD2, ""},
        {K::route, 0.76, 0.10, 0.18, 0.18, S::sticker, 0x74D9FF, 0xD8EBF2, ""},
        {K::progress, 0.30, 0.955, 0.40, 0.018, S::glass, 0xF2C94C, 0xD8DDD9, ""}});
    expectPreset(PacemarkPreset::routeStory, {
        {K::route, 0.54, 0.49, 0.40, 0.35, S::clean, 0x35D05B, 0xDDE5E0, ""},
        {K::distance, 0.05, 0.72, 0.14, 0.12, S::clean, 0x35D05B, 0xDDE5E0, ""},
        {K::elapsedTime, 0.21, 0.72, 0.15, 0.12, S::clean, 0xFFFFFF, 0xD2D2D2, ""},
        {K::speed, 0.38, 0.72, 0.13, 0.12, S::clean, 0x74D9FF, 0xD8EBF2, ""},
        {K::altitude, 0.05, 0.86, 0.12, 0.09, S::clean, 0x74D9FF, 0xD8EBF2, ""},
        {K::gradient, 0.19, 0.86, 0.12, 0.09, S::clean, 0xF2C94C, 0xF2E5B8, ""},
        {K::progress, 0.05, 0.955, 0.75, 0.018, S::glass, 0x35D05B, 0xD8DDD9, ""}});
    expectPreset(PacemarkPreset::classicGauges, {
        {K::speed, 0.04, 0.60, 0.18, 0.27, S::dial, 0x35D05B, 0xC7D0CA, ""},
        {K::power, 0.25, 0.64, 0.13, 0.22, S::dial, 0xF2C94C, 0xE1D5A7, ""},
        {K::heartRate, 0.42, 0.64, 0.13, 0.22, S::dial, 0xFF4D6D, 0xE3B8C1, ""},
        {K::cadence, 0.59, 0.64, 0.13, 0.22, S::dial, 0x74D9FF, 0xB9D7E1, ""},
        {K::route, 0.78, 0.62, 0.16, 0.23, S::pill, 0x35D05B, 0xC7D0CA, ""},
        {K::distance, 0.25, 0.87, 0.14, 0.09, S::pill, 0x35D05B, 0xC7D0CA, ""},
        {K::elapsedTime, 0.42, 0.87, 0.16, 0.09, S::pill, 0xFFFFFF, 0xC9C9C9, ""},
        {K::progress, 0.04, 0.955, 0.75, 0.018, S::glass, 0xF2C94C, 0xD8DDD9, ""}});
    expectPreset(PacemarkPreset::separateMetrics, {
        {K::speed, 0.04, 0.72, 0.15, 0.14, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::power, 0.21, 0.72, 0.12, 0.11, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::heartRate, 0.35, 0.72, 0.13, 0.11, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::cadence, 0.50, 0.72, 0.12, 0.11, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::distance, 0.64, 0.72, 0.14, 0.11, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::elapsedTime, 0.80, 0.72, 0.15, 0.11, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::gradient, 0.04, 0.85, 0.12, 0.10, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::gpsCoordinates, 0.18, 0.84, 0.26, 0.11, S::glass, 0x35D05B, 0xA8A8A8, ""}});
    expectPreset(PacemarkPreset::minimal, {
        {K::speed, 0.04, 0.78, 0.16, 0.15, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::elapsedTime, 0.22, 0.80, 0.14, 0.10, S::glass, 0x35D05B, 0xA8A8A8, ""},
        {K::progress, 0.04, 0.955, 0.34, 0.018, S::glass, 0x35D05B, 0xA8A8A8, ""}});
}

TEST(PacemarkPresetTest, RawValuesAndFreshIdentities) {
    ASSERT_EQ(PacemarkPreset::allCases().size(), 9u);
    EXPECT_EQ(PacemarkPreset::allCases()[0], PacemarkPreset::compactRace);
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
