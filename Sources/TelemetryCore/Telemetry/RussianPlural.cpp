// SPDX-License-Identifier: GPL-3.0-or-later
#include "Telemetry/RussianPlural.h"

namespace pacemark {

std::string_view russianPluralForm(std::uint64_t count, const RussianNounForms& noun) {
    // 11–14 take the "many" form whatever their last digit says.
    const std::uint64_t lastTwo = count % 100;
    if (lastTwo >= 11 && lastTwo <= 14) return noun.many;
    switch (count % 10) {
        case 1:
            return noun.one;
        case 2:
        case 3:
        case 4:
            return noun.few;
        default:
            return noun.many;
    }
}

std::string russianCount(std::uint64_t count, const RussianNounForms& noun) {
    return std::to_string(count) + " " + std::string(russianPluralForm(count, noun));
}

}  // namespace pacemark
