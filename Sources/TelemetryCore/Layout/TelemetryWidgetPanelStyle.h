// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

namespace pacemark {

// How a widget's panel looks. Its names are the table below; every number of
// a style is its rows in Rendering/PanelStyleTable.cpp (movie and preview).
class TelemetryWidgetPanelStyle {
public:
    enum Value : std::uint8_t { clean, glass, broadcast, pill, sticker, outline, dial, cinematic };
    // One more than the last case: a new style goes last and moves this with it.
    // The names below and both tables of PanelStyleTable.cpp have exactly
    // this many rows, in this order (checked when they compile).
    static constexpr std::size_t caseCount = std::size_t{cinematic} + 1;

    constexpr TelemetryWidgetPanelStyle(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static constexpr const std::array<TelemetryWidgetPanelStyle, caseCount>& allCases();
    // Accepts exactly the case names ("glass", not "Glass").
    static constexpr std::optional<TelemetryWidgetPanelStyle> fromRawValue(std::string_view raw);

    // The case name, as layout files store it.
    constexpr std::string_view rawValue() const;
    constexpr std::string_view id() const { return rawValue(); }
    // The Russian name in the style picker.
    constexpr std::string_view title() const;

private:
    Value value_;
};

namespace panelStyleNames {

struct Row {
    TelemetryWidgetPanelStyle::Value style;
    std::string_view rawValue;
    std::string_view title;
};

using Style = TelemetryWidgetPanelStyle;
inline constexpr std::array<Row, Style::caseCount> rows{{
    {Style::clean, "clean", "Чистый"},
    {Style::glass, "glass", "Стекло"},
    {Style::broadcast, "broadcast", "Эфир"},
    {Style::pill, "pill", "Плашка"},
    {Style::sticker, "sticker", "Стикер"},
    {Style::outline, "outline", "Контур"},
    {Style::dial, "dial", "Шкала"},
    {Style::cinematic, "cinematic", "Кино HUD"},
}};

// Row k names style k. A missing row leaves an empty one at the end (the
// first style again, no name), so a style without its row does not compile.
constexpr bool rowsInStyleOrder() {
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (static_cast<std::size_t>(rows[k].style) != k || rows[k].rawValue.empty()) return false;
    }
    return true;
}
static_assert(rowsInStyleOrder(), "one name row per panel style, in the order of the style's values");

template <std::size_t... k>
constexpr std::array<Style, sizeof...(k)> stylesInOrder(std::index_sequence<k...>) {
    return {Style(static_cast<Style::Value>(k))...};
}
inline constexpr auto allStyles = stylesInOrder(std::make_index_sequence<Style::caseCount>());

}  // namespace panelStyleNames

constexpr const std::array<TelemetryWidgetPanelStyle, TelemetryWidgetPanelStyle::caseCount>&
TelemetryWidgetPanelStyle::allCases() {
    return panelStyleNames::allStyles;
}

constexpr std::optional<TelemetryWidgetPanelStyle> TelemetryWidgetPanelStyle::fromRawValue(std::string_view raw) {
    for (const auto& row : panelStyleNames::rows) {
        if (row.rawValue == raw) return row.style;
    }
    return std::nullopt;
}

constexpr std::string_view TelemetryWidgetPanelStyle::rawValue() const { return panelStyleNames::rows[value_].rawValue; }
constexpr std::string_view TelemetryWidgetPanelStyle::title() const { return panelStyleNames::rows[value_].title; }

}  // namespace pacemark
