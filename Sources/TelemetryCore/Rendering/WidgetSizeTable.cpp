// SPDX-License-Identifier: GPL-3.0-or-later
#include "WidgetSizeTable.h"

#include <limits>

namespace pacemark {
namespace {

using Side = SideInset::Side;
constexpr double kUnlimited = std::numeric_limits<double>::infinity();

// clang-format off
constexpr WidgetSizeRules kMovie{
    // title, value, unit shrink; unit alpha
    {1, 0.5, 0.5, 0.95},
    // stacked: label, value, inset x, inset y, value kept between the labels
    {{0.13, 0.16, 14}, {0.36, 0.48, 18}, {Side::width, 0.08, 10}, {Side::height, 0.1, 8}, false},
    // pill: label, value, gap, inset x, inset y
    {{0.08, 0.2, 9}, {0.15, 0.42, 13}, 6, {Side::height, 0.26, 12}, {Side::height, 0.16, 4}},
    // coordinates: label, value, value shrink, inset x, inset y
    {{0.07, 0.16, 12}, {0.075, 0.24, 13}, 1, {Side::width, 0.06, 10}, {Side::height, 0.1, 7}},
    // dial: label, value, unit, ring width, text inset
    {{0.09, 18, 10}, {0.27, 44, 18}, {0.08, 16, 10}, {0.012, kUnlimited, 1.5}, 0.18},
    // underline: thickness, length, inset, lift
    {{0.045, 5, 2}, 0.68, 34, 0.46, {Side::width, 0.02, 2}, 0},
    // strip: thickness, inset x, inset top
    {{0.045, 6, 3}, 2, 2},
    // route: line alpha, line, cinematic line, dot radius, "НЕТ GPS" (size, alpha, inset) plain and cinematic,
    // centred vertically
    {0.42, {0.035, 5, 2}, {0.04, 5, 2.5}, {0.07, 8, 4}, {0.18, 18, 0}, 0.48, 12, {0.18, 16, 0}, 0.54, 8, false},
    // cinematic: label, value, unit minimums, value shrink, arc in its room, grade value and unit minimums,
    // sparkline highlight, line and dot
    {10, 24, 9, 0.5, false, 22, 10, 14, 1.5, 8},
};

// The preview: view points of a canvas about a third of the movie's size.
constexpr WidgetSizeRules kPreview{
    {0.55, 0.45, 0.55, 1},
    {{0.13, 0.16, 10}, {0.32, 0.46, 14}, {Side::height, 0.1, 8}, {Side::height, 0.1, 8}, true},
    {{0.08, 0.2, 8}, {0.15, 0.42, 12}, 5, {Side::height, 0.24, 10}, {Side::height, 0.12, 3}},
    {{0.07, 0.16, 10}, {0.075, 0.24, 11}, 0.45, {Side::height, 0.1, 8}, {Side::height, 0.1, 8}},
    {{0.09, 18, 9}, {0.27, 44, 16}, {0.08, 16, 9}, {0, 1.5, 1.5}, 0.19},
    {{0, 3, 3}, 0, 56, kUnlimited, {Side::width, 0, 2}, 1},
    {{0, 4, 4}, 4, 3},
    {0.35, {0, 3, 3}, {0.04, kUnlimited, 2.5}, {0, 5, 5}, {0, 18, 18}, 0.48, 12, {0, 18, 18}, 0.48, 4, true},
    {9, 20, 8, 0.4, true, 18, 8, 12, 1.4, 7},
};
// clang-format on

}  // namespace

const WidgetSizeRules& widgetSizeRules(DrawingTarget target) {
    return target == DrawingTarget::preview ? kPreview : kMovie;
}

}  // namespace pacemark
