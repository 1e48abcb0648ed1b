// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextCharacters.h"

#include <cstdint>

namespace pacemark {
namespace {

struct CodePoint {
    char32_t value = 0;
    std::size_t length = 1;  // bytes; 1 with value U+FFFD for a byte that is not valid UTF-8
};

CodePoint decodeAt(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char b0 = byte(0);
    if (b0 < 0x80) return {b0, 1};
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, value = b0 & 0x1F, minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, value = b0 & 0x0F, minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, value = b0 & 0x07, minimum = 0x10000;
    } else {
        return {0xFFFD, 1};
    }
    if (text.size() - pos < length) return {0xFFFD, 1};
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {0xFFFD, 1};
        value = (value << 6) | (byte(i) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    if (value < minimum || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return {0xFFFD, 1};
    return {value, length};
}

bool inRange(char32_t c, char32_t lo, char32_t hi) { return c >= lo && c <= hi; }

// Code points that never start a character of their own.
bool attachesToPrevious(char32_t c) {
    return inRange(c, 0x0300, 0x036F) ||    // combining diacritical marks
           inRange(c, 0x0483, 0x0489) ||    // Cyrillic combining marks
           inRange(c, 0x0591, 0x05BD) || c == 0x05BF || inRange(c, 0x05C1, 0x05C2) ||
           inRange(c, 0x05C4, 0x05C5) || c == 0x05C7 ||  // Hebrew points
           inRange(c, 0x0610, 0x061A) || inRange(c, 0x064B, 0x065F) || c == 0x0670 ||  // Arabic marks
           inRange(c, 0x1AB0, 0x1AFF) ||    // combining marks extended
           inRange(c, 0x1DC0, 0x1DFF) ||    // combining marks supplement
           c == 0x200C || c == 0x200D ||    // zero-width non-joiner and joiner
           inRange(c, 0x20D0, 0x20FF) ||    // combining marks for symbols (keycaps)
           inRange(c, 0x3099, 0x309A) ||    // kana voicing marks
           inRange(c, 0xFE00, 0xFE0F) ||    // variation selectors
           inRange(c, 0xFE20, 0xFE2F) ||    // combining half marks
           inRange(c, 0x1F3FB, 0x1F3FF) ||  // emoji skin tones
           inRange(c, 0xE0020, 0xE007F) ||  // tags (subdivision flags)
           inRange(c, 0xE0100, 0xE01EF);    // variation selectors supplement
}

bool isRegionalIndicator(char32_t c) { return inRange(c, 0x1F1E6, 0x1F1FF); }

}  // namespace

std::string_view leadingCharacters(std::string_view text, std::size_t count) {
    std::size_t pos = 0;
    for (std::size_t characters = 0; characters < count && pos < text.size(); ++characters) {
        const CodePoint base = decodeAt(text, pos);
        pos += base.length;
        if (base.value == '\r' && pos < text.size() && text[pos] == '\n') {
            ++pos;
            continue;
        }
        if (base.value < 0x20 || base.value == 0x7F) continue;  // controls stand alone
        bool joinNext = false;
        bool flagOpen = isRegionalIndicator(base.value);
        while (pos < text.size()) {
            const CodePoint next = decodeAt(text, pos);
            if (joinNext && next.value >= 0x20 && next.value != 0x7F) {
                joinNext = false;
            } else if (flagOpen && isRegionalIndicator(next.value)) {
                flagOpen = false;
            } else if (attachesToPrevious(next.value)) {
                joinNext = next.value == 0x200D;
                flagOpen = false;
            } else {
                break;
            }
            pos += next.length;
        }
    }
    return text.substr(0, pos);
}

}  // namespace pacemark
