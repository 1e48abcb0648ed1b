#include "PanelStyleTable.h"

#include <algorithm>
#include <array>

namespace pacemark {
namespace {

using Style = TelemetryWidgetPanelStyle;
using Metric = PanelMetricLayout;
using Corner = PanelCornerRule::Shape;
using Bar = PanelAccentBar;

constexpr PanelCornerRule square{Corner::square};
constexpr PanelCornerRule halfHeight{Corner::halfHeight};
constexpr PanelCornerRule halfSide{Corner::halfShortSide};
constexpr PanelCornerRule height(double fraction, double minimum, double maximum) {
    return {Corner::heightFraction, fraction, minimum, maximum};
}
// Route maps sit 16 × 14 pixels inside a card.
constexpr PanelInset inCard{0, 16, 0, 14};

// clang-format off
// Alphas of the black fill, the border (accent or white) and the black shadow; the shadow's blur
// and upward shift in pixels.
constexpr std::array<PanelStyleRow, 8> kRows{{
//   style             metric             card   corner                fill  accent border width shadow blur up  bar          route
    {Style::clean,     Metric::standard,  false, square,               0,    false, 0,     0,    0,     0,   0,  Bar::bottom, inCard},
    {Style::glass,     Metric::standard,  true,  height(0.14, 8, 18),  0.58, false, 0.16,  1,    0.24,  20,  10, Bar::none,   inCard},
    {Style::broadcast, Metric::standard,  true,  height(0.10, 6, 10),  0.72, false, 0.12,  1,    0.30,  16,  8,  Bar::top,    inCard},
    {Style::pill,      Metric::pill,      true,  halfHeight,           0.50, true,  0.58,  1.5,  0.30,  18,  9,  Bar::none,   inCard},
    {Style::sticker,   Metric::standard,  true,  height(0.18, 10, 22), 0.46, true,  0.62,  1.5,  0.28,  18,  8,  Bar::none,   inCard},
    {Style::outline,   Metric::standard,  true,  height(0.12, 6, 14),  0.28, true,  0.46,  1,    0.18,  12,  6,  Bar::none,   inCard},
    {Style::dial,      Metric::dial,      true,  halfSide,             0.54, true,  0.72,  1,    0.30,  18,  10, Bar::none,   inCard},
    {Style::cinematic, Metric::cinematic, false, square,               0,    false, 0,     0,    0,     0,   0,  Bar::none,   {0.06, 4, 0.08, 4}},
}};
// clang-format on

constexpr bool rowsInStyleOrder() {
    for (std::size_t k = 0; k < kRows.size(); ++k) {
        if (static_cast<std::size_t>(TelemetryWidgetPanelStyle::Value(kRows[k].style)) != k) return false;
    }
    return true;
}
static_assert(rowsInStyleOrder(), "one row per panel style, in the order of the style's values");

}  // namespace

double PanelCornerRule::radius(const DrawingRect& r) const {
    switch (shape) {
        case Corner::square: return 0;
        case Corner::heightFraction: return std::min(std::max(r.height * fraction, minimum), maximum);
        case Corner::halfHeight: return r.height / 2;
        case Corner::halfShortSide: return std::min(r.width, r.height) / 2;
    }
    return 0;
}

DrawingRect PanelInset::apply(const DrawingRect& r) const {
    const double dx = xFraction > 0 ? std::max(r.width * xFraction, xMinimum) : xMinimum;
    const double dy = yFraction > 0 ? std::max(r.height * yFraction, yMinimum) : yMinimum;
    return r.insetBy(dx, dy);
}

const PanelStyleRow& panelStyleRow(TelemetryWidgetPanelStyle style) {
    const auto index = static_cast<std::size_t>(TelemetryWidgetPanelStyle::Value(style));
    return index < kRows.size() ? kRows[index] : kRows.front();
}

}  // namespace pacemark
