// SPDX-License-Identifier: GPL-3.0-or-later
#include "PacemarkPreset.h"

#include <span>

#include "PacemarkWidget.h"

namespace pacemark {
namespace {

using Kind = TelemetryWidgetKind;
using Style = TelemetryWidgetPanelStyle;

struct PresetRow {
    Kind::Value kind;
    double x, y, width, height;
    Style::Value style;
    std::uint32_t accent, label, value;
    const char* caption;  // empty: none
};

constexpr std::uint32_t kWhite = 0xFFFFFF;

constexpr PresetRow kCompactRace[] = {
    {Kind::speed, 0.04, 0.68, 0.15, 0.15, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::power, 0.22, 0.69, 0.11, 0.10, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::heartRate, 0.35, 0.69, 0.13, 0.10, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::cadence, 0.50, 0.69, 0.11, 0.10, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::gradient, 0.63, 0.69, 0.11, 0.10, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::route, 0.04, 0.84, 0.20, 0.10, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::progress, 0.04, 0.955, 0.36, 0.018, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
};

constexpr PresetRow kMarentoClean[] = {
    {Kind::speed, 0.04, 0.72, 0.15, 0.17, Style::clean, 0x35D05B, 0xD8DDD9, kWhite, ""},
    {Kind::power, 0.22, 0.76, 0.11, 0.11, Style::clean, 0xF2C94C, 0xD8DDD9, kWhite, ""},
    {Kind::heartRate, 0.35, 0.76, 0.12, 0.11, Style::clean, 0xFF4D6D, 0xD8DDD9, kWhite, ""},
    {Kind::cadence, 0.49, 0.76, 0.11, 0.11, Style::clean, 0x74D9FF, 0xD8DDD9, kWhite, ""},
    {Kind::elapsedTime, 0.62, 0.76, 0.14, 0.11, Style::clean, 0xFFFFFF, 0xD8DDD9, kWhite, ""},
    {Kind::route, 0.72, 0.58, 0.22, 0.22, Style::clean, 0x35D05B, 0xD8DDD9, kWhite, ""},
    {Kind::progress, 0.04, 0.955, 0.75, 0.018, Style::glass, 0x35D05B, 0xD8DDD9, kWhite, ""},
};

constexpr PresetRow kRaceBroadcast[] = {
    {Kind::speed, 0.03, 0.76, 0.14, 0.16, Style::broadcast, 0x35D05B, 0xBFC8C2, kWhite, ""},
    {Kind::power, 0.19, 0.79, 0.11, 0.11, Style::broadcast, 0xF2C94C, 0xCFC7A4, kWhite, ""},
    {Kind::heartRate, 0.32, 0.79, 0.12, 0.11, Style::broadcast, 0xFF4D6D, 0xD4B4BD, kWhite, ""},
    {Kind::cadence, 0.46, 0.79, 0.11, 0.11, Style::broadcast, 0x74D9FF, 0xB4CDD6, kWhite, ""},
    {Kind::distance, 0.59, 0.79, 0.12, 0.11, Style::broadcast, 0x35D05B, 0xBFC8C2, kWhite, ""},
    {Kind::elapsedTime, 0.73, 0.79, 0.14, 0.11, Style::broadcast, 0xFFFFFF, 0xC6C6C6, kWhite, ""},
    {Kind::route, 0.88, 0.73, 0.09, 0.18, Style::broadcast, 0x74D9FF, 0xB4CDD6, kWhite, ""},
    {Kind::progress, 0.03, 0.94, 0.75, 0.028, Style::glass, 0x35D05B, 0xD8DDD9, kWhite, ""},
};

constexpr PresetRow kCinematicHud[] = {
    {Kind::speed, 0.835, 0.055, 0.135, 0.13, Style::cinematic, 0xFF5A1F, 0xE8E8E8, kWhite, "СКОР"},
    {Kind::power, 0.835, 0.205, 0.135, 0.12, Style::cinematic, 0xFF5A1F, 0xE8E8E8, kWhite, "МОЩ"},
    {Kind::heartRate, 0.835, 0.345, 0.135, 0.12, Style::cinematic, 0xFF5A1F, 0xE8E8E8, kWhite, "ПУЛЬС"},
    {Kind::distance, 0.835, 0.505, 0.135, 0.09, Style::cinematic, 0xFF5A1F, 0xE8E8E8, kWhite, "ДИСТ"},
    {Kind::altitude, 0.835, 0.635, 0.135, 0.09, Style::cinematic, 0xFF5A1F, 0xE8E8E8, kWhite, "ВЫС"},
    {Kind::route, 0.86, 0.765, 0.11, 0.15, Style::cinematic, 0xFF5A1F, 0xE8E8E8, kWhite, "ТРЕК"},
    {Kind::elapsedTime, 0.035, 0.775, 0.13, 0.18, Style::cinematic, 0xFF5A1F, 0xD8D8D8, kWhite, "ВРЕМЯ"},
    {Kind::gradient, 0.20, 0.80, 0.16, 0.12, Style::cinematic, 0xFF5A1F, 0xD8D8D8, kWhite, "УКЛОН"},
    {Kind::progress, 0.43, 0.905, 0.42, 0.045, Style::cinematic, 0xFF5A1F, 0xD8D8D8, kWhite, ""},
};

constexpr PresetRow kSocialStickers[] = {
    {Kind::speed, 0.06, 0.67, 0.17, 0.12, Style::pill, 0x35D05B, 0xDDE5E0, kWhite, ""},
    {Kind::distance, 0.06, 0.84, 0.17, 0.09, Style::pill, 0x74D9FF, 0xD8EBF2, kWhite, ""},
    {Kind::elapsedTime, 0.37, 0.86, 0.20, 0.09, Style::pill, 0xF2C94C, 0xF2E5B8, kWhite, ""},
    {Kind::heartRate, 0.76, 0.67, 0.15, 0.09, Style::pill, 0xFF4D6D, 0xF0CAD2, kWhite, ""},
    {Kind::route, 0.76, 0.10, 0.18, 0.18, Style::sticker, 0x74D9FF, 0xD8EBF2, kWhite, ""},
    {Kind::progress, 0.30, 0.955, 0.40, 0.018, Style::glass, 0xF2C94C, 0xD8DDD9, kWhite, ""},
};

constexpr PresetRow kRouteStory[] = {
    {Kind::route, 0.54, 0.49, 0.40, 0.35, Style::clean, 0x35D05B, 0xDDE5E0, kWhite, ""},
    {Kind::distance, 0.05, 0.72, 0.14, 0.12, Style::clean, 0x35D05B, 0xDDE5E0, kWhite, ""},
    {Kind::elapsedTime, 0.21, 0.72, 0.15, 0.12, Style::clean, 0xFFFFFF, 0xD2D2D2, kWhite, ""},
    {Kind::speed, 0.38, 0.72, 0.13, 0.12, Style::clean, 0x74D9FF, 0xD8EBF2, kWhite, ""},
    {Kind::altitude, 0.05, 0.86, 0.12, 0.09, Style::clean, 0x74D9FF, 0xD8EBF2, kWhite, ""},
    {Kind::gradient, 0.19, 0.86, 0.12, 0.09, Style::clean, 0xF2C94C, 0xF2E5B8, kWhite, ""},
    {Kind::progress, 0.05, 0.955, 0.75, 0.018, Style::glass, 0x35D05B, 0xD8DDD9, kWhite, ""},
};

constexpr PresetRow kClassicGauges[] = {
    {Kind::speed, 0.04, 0.60, 0.18, 0.27, Style::dial, 0x35D05B, 0xC7D0CA, kWhite, ""},
    {Kind::power, 0.25, 0.64, 0.13, 0.22, Style::dial, 0xF2C94C, 0xE1D5A7, kWhite, ""},
    {Kind::heartRate, 0.42, 0.64, 0.13, 0.22, Style::dial, 0xFF4D6D, 0xE3B8C1, kWhite, ""},
    {Kind::cadence, 0.59, 0.64, 0.13, 0.22, Style::dial, 0x74D9FF, 0xB9D7E1, kWhite, ""},
    {Kind::route, 0.78, 0.62, 0.16, 0.23, Style::pill, 0x35D05B, 0xC7D0CA, kWhite, ""},
    {Kind::distance, 0.25, 0.87, 0.14, 0.09, Style::pill, 0x35D05B, 0xC7D0CA, kWhite, ""},
    {Kind::elapsedTime, 0.42, 0.87, 0.16, 0.09, Style::pill, 0xFFFFFF, 0xC9C9C9, kWhite, ""},
    {Kind::progress, 0.04, 0.955, 0.75, 0.018, Style::glass, 0xF2C94C, 0xD8DDD9, kWhite, ""},
};

constexpr PresetRow kSeparateMetrics[] = {
    {Kind::speed, 0.04, 0.72, 0.15, 0.14, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::power, 0.21, 0.72, 0.12, 0.11, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::heartRate, 0.35, 0.72, 0.13, 0.11, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::cadence, 0.50, 0.72, 0.12, 0.11, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::distance, 0.64, 0.72, 0.14, 0.11, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::elapsedTime, 0.80, 0.72, 0.15, 0.11, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::gradient, 0.04, 0.85, 0.12, 0.10, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::gpsCoordinates, 0.18, 0.84, 0.26, 0.11, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
};

constexpr PresetRow kMinimal[] = {
    {Kind::speed, 0.04, 0.78, 0.16, 0.15, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::elapsedTime, 0.22, 0.80, 0.14, 0.10, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
    {Kind::progress, 0.04, 0.955, 0.34, 0.018, Style::glass, 0x35D05B, 0xA8A8A8, kWhite, ""},
};

struct PresetInfo {
    std::string_view rawValue;
    std::string_view caseName;
    std::span<const PresetRow> rows;
};

const std::array<PresetInfo, 9> kPresets = {{
    {"Гонка компактно", "compactRace", kCompactRace},
    {"MARENTO чисто", "marentoClean", kMarentoClean},
    {"Гоночный эфир", "raceBroadcast", kRaceBroadcast},
    {"Кино HUD", "cinematicHud", kCinematicHud},
    {"Соцстикеры", "socialStickers", kSocialStickers},
    {"История маршрута", "routeStory", kRouteStory},
    {"Приборы классика", "classicGauges", kClassicGauges},
    {"Метрики отдельно", "separateMetrics", kSeparateMetrics},
    {"Минимум", "minimal", kMinimal},
}};

}  // namespace

const std::array<PacemarkPreset, 9>& PacemarkPreset::allCases() {
    static const std::array<PacemarkPreset, 9> cases = {compactRace,    marentoClean, raceBroadcast,
                                                        cinematicHud,   socialStickers, routeStory,
                                                        classicGauges,  separateMetrics, minimal};
    return cases;
}

std::optional<PacemarkPreset> PacemarkPreset::fromRawValue(std::string_view raw) {
    for (auto preset : allCases()) {
        if (preset.rawValue() == raw) return preset;
    }
    return std::nullopt;
}

std::optional<PacemarkPreset> PacemarkPreset::fromRawValueOrCaseName(std::string_view text) {
    if (auto preset = fromRawValue(text)) return preset;
    for (auto preset : allCases()) {
        if (preset.caseName() == text) return preset;
    }
    return std::nullopt;
}

std::string_view PacemarkPreset::rawValue() const { return kPresets[value_].rawValue; }
std::string_view PacemarkPreset::caseName() const { return kPresets[value_].caseName; }

PacemarkLayout PacemarkPreset::layout() const {
    PacemarkLayout layout;
    for (const PresetRow& row : kPresets[value_].rows) {
        layout.widgets.emplace_back(UUID::random(), TelemetryWidgetKind(row.kind),
                                    TelemetryWidgetFrame{row.x, row.y, row.width, row.height}, row.caption,
                                    row.accent, row.label, row.value, TelemetryWidgetPanelStyle(row.style), true);
    }
    return layout;
}

}  // namespace pacemark
