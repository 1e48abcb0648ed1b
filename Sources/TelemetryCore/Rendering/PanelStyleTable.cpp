// SPDX-License-Identifier: GPL-3.0-or-later
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
constexpr PanelCornerRule circle{Corner::circle};
constexpr PanelCornerRule fixed(double radius) { return {Corner::heightFraction, 0, radius, radius}; }
constexpr PanelCornerRule height(double fraction, double minimum, double maximum) {
    return {Corner::heightFraction, fraction, minimum, maximum};
}
// Route maps sit 16 × 14 pixels inside a card.
constexpr PanelInset inCard{0, 16, 0, 14};

// clang-format off
// Alphas of the black fill, the border (accent or white) and the black shadow; the shadow's blur
// and upward shift in pixels.
constexpr std::array<PanelStyleRow, Style::caseCount> kRows{{
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

// The preview's rows: fixed radii; a negative shift drops the shadow downwards.
constexpr PanelInset inPreviewCard{0, 12, 0, 12};
constexpr std::array<PanelStyleRow, Style::caseCount> kPreviewRows{{
//   style             metric             card   corner      fill  accent border width shadow blur up   bar          route
    {Style::clean,     Metric::standard,  false, square,     0,    false, 0,     0,    0,     0,   0,   Bar::bottom, inPreviewCard},
    {Style::glass,     Metric::standard,  true,  fixed(12),  0.58, false, 0.16,  1,    0.24,  18,  -10, Bar::none,   inPreviewCard},
    {Style::broadcast, Metric::standard,  true,  fixed(8),   0.72, false, 0.12,  1,    0.30,  16,  -8,  Bar::top,    inPreviewCard},
    {Style::pill,      Metric::pill,      true,  halfHeight, 0.50, true,  0.58,  1.5,  0.30,  18,  -9,  Bar::none,   inPreviewCard},
    {Style::sticker,   Metric::standard,  true,  fixed(14),  0.46, true,  0.62,  1.5,  0.28,  18,  -8,  Bar::none,   inPreviewCard},
    {Style::outline,   Metric::standard,  true,  fixed(10),  0.28, true,  0.46,  1,    0.18,  12,  -6,  Bar::none,   inPreviewCard},
    {Style::dial,      Metric::dial,      true,  circle,     0.54, true,  0.72,  1.5,  0.30,  18,  -10, Bar::none,   inPreviewCard},
    {Style::cinematic, Metric::cinematic, false, square,     0,    false, 0,     0,    0,     0,   0,   Bar::none,   {0, 4, 0, 4}},
}};
// clang-format on

// Row k is style k: a row out of order fails here, and a missing row does
// not compile at all (a row has no default style).
constexpr bool rowsInStyleOrder(const std::array<PanelStyleRow, Style::caseCount>& rows) {
    for (std::size_t k = 0; k < rows.size(); ++k) {
        if (static_cast<std::size_t>(Style::Value(rows[k].style)) != k) return false;
    }
    return true;
}
static_assert(rowsInStyleOrder(kRows) && rowsInStyleOrder(kPreviewRows),
              "one row per panel style, in the order of the style's values");

}  // namespace

double PanelCornerRule::radius(const DrawingRect& r) const {
    switch (shape) {
        case Corner::square: return 0;
        case Corner::heightFraction: return std::min(std::max(r.height * fraction, minimum), maximum);
        case Corner::halfHeight: return r.height / 2;
        case Corner::halfShortSide:
        case Corner::circle: return std::min(r.width, r.height) / 2;
    }
    return 0;
}

DrawingPath PanelCornerRule::path(const DrawingRect& r, double inset) const {
    DrawingPath path;
    if (shape == Corner::circle) {
        const double side = std::min(r.width, r.height);
        path.addEllipse(DrawingRect{r.midX() - side / 2, r.midY() - side / 2, side, side}.insetBy(inset, inset));
    } else {
        path.addRoundedRect(r.insetBy(inset, inset), std::max(radius(r) - inset, 0.0));
    }
    return path;
}

DrawingRect PanelInset::apply(const DrawingRect& r) const {
    const double dx = xFraction > 0 ? std::max(r.width * xFraction, xMinimum) : xMinimum;
    const double dy = yFraction > 0 ? std::max(r.height * yFraction, yMinimum) : yMinimum;
    return r.insetBy(dx, dy);
}

const PanelStyleRow& panelStyleRow(TelemetryWidgetPanelStyle style, DrawingTarget target) {
    const auto& rows = target == DrawingTarget::preview ? kPreviewRows : kRows;
    // Every value has its row (checked above), so the value is the index.
    return rows[static_cast<std::size_t>(TelemetryWidgetPanelStyle::Value(style))];
}

}  // namespace pacemark
