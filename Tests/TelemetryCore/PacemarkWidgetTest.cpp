// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "Layout/PacemarkWidget.h"

using namespace pacemark;

namespace {

using Kind = TelemetryWidgetKind;
using Style = TelemetryWidgetPanelStyle;

}  // namespace

// A caption is cut to its first 24 characters as the user sees them, never
// inside one.
TEST(PacemarkWidgetTest, CaptionsKeepTheirFirst24CharactersWhole) {
    const auto repeated = [](std::string_view piece, int times) {
        std::string text;
        for (int i = 0; i < times; ++i) text += piece;
        return text;
    };
    const std::pair<std::string, std::string> cases[] = {
        {repeated("e\u0301", 30), repeated("e\u0301", 24)},  // a combining accent stays with its letter
        {repeated("\U0001F468\u200D\U0001F469\u200D\U0001F467", 25),
         repeated("\U0001F468\u200D\U0001F469\u200D\U0001F467", 24)},  // a family joined by ZWJ
        // A flag is two indicators; a third stands alone.
        {"\U0001F1F7\U0001F1FA\U0001F1F7" + repeated("a", 30), "\U0001F1F7\U0001F1FA\U0001F1F7" + repeated("a", 22)},
        {"\xD0", "\xD0"},  // a sequence cut short at the end keeps what is there
    };
    for (const auto& [typed, kept] : cases) EXPECT_EQ(PacemarkWidget::limitedCaption(typed), kept) << typed;
}

TEST(PacemarkWidgetTest, ShownTitleFallsBackToTheKindsOwn) {
    const std::pair<std::string, std::string> titles[] = {
        {"   ", "СКОР"}, {" \n Темп\t\n", "Темп"}, {"\xC2\xA0Ватты\xE3\x80\x80", "Ватты"}};
    for (const auto& [caption, shown] : titles) {
        const PacemarkWidget widget(UUID::random(), Kind::speed, std::nullopt, caption, 0, 0, 0, Style::glass, true);
        EXPECT_EQ(widget.displayTitle(), shown);
    }
}
