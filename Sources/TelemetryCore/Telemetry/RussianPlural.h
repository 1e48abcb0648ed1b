// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pacemark {

// The three forms a Russian noun takes after a number: "1 точка",
// "2 точки", "5 точек".
struct RussianNounForms {
    std::string_view one;   // 1, 21, 101 …
    std::string_view few;   // 2–4, 22–24 …
    std::string_view many;  // 0, 5–20, 25–30, 111–114 …
};

// The form of `noun` that follows `count`.
std::string_view russianPluralForm(std::uint64_t count, const RussianNounForms& noun);
// The count and the noun in the form it takes: "1702 точки".
std::string russianCount(std::uint64_t count, const RussianNounForms& noun);

// Nouns the window and the command line count.
inline constexpr RussianNounForms pointNoun{"точка", "точки", "точек"};
// The same noun as an object ("Открыть уцелевшие 21 точку").
inline constexpr RussianNounForms pointAccusativeNoun{"точку", "точки", "точек"};
inline constexpr RussianNounForms clipNoun{"клип", "клипа", "клипов"};
// After "из" and "для": "2 из 5 клипов", "для 1 клипа".
inline constexpr RussianNounForms clipGenitiveNoun{"клипа", "клипов", "клипов"};

}  // namespace pacemark
