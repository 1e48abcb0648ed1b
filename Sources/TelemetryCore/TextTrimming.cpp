// SPDX-License-Identifier: GPL-3.0-or-later
#include "TextTrimming.h"

#include <cstddef>

namespace pacemark {
namespace {

// Length of the white space character that starts at text[pos], 0 if none.
// Covers the ASCII controls tab to carriage return, space, and the Unicode
// White_Space characters above U+007F in UTF-8.
std::size_t whitespaceLengthAt(std::string_view text, std::size_t pos) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const std::size_t left = text.size() - pos;
    const unsigned char b0 = byte(0);
    if (b0 == ' ' || (b0 >= '\t' && b0 <= '\r')) return 1;
    if (b0 == 0xC2 && left >= 2 && (byte(1) == 0x85 || byte(1) == 0xA0)) return 2;  // NEL, NBSP
    if (left < 3) return 0;
    const unsigned char b1 = byte(1), b2 = byte(2);
    if (b0 == 0xE1 && b1 == 0x9A && b2 == 0x80) return 3;  // U+1680
    if (b0 == 0xE2 && b1 == 0x80 && ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF)) {
        return 3;  // U+2000..U+200A, U+2028, U+2029, U+202F
    }
    if (b0 == 0xE2 && b1 == 0x81 && b2 == 0x9F) return 3;  // U+205F
    if (b0 == 0xE3 && b1 == 0x80 && b2 == 0x80) return 3;  // U+3000
    return 0;
}

// Length of the white space character that ends just before text[end], 0 if none.
std::size_t whitespaceLengthBefore(std::string_view text, std::size_t end) {
    for (std::size_t length = 1; length <= 3 && length <= end; ++length) {
        if (whitespaceLengthAt(text.substr(0, end), end - length) == length) return length;
    }
    return 0;
}

}  // namespace

std::string_view trimmedWhitespace(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t length = whitespaceLengthAt(text, begin);
        if (length == 0) break;
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        const std::size_t length = whitespaceLengthBefore(text.substr(begin), end - begin);
        if (length == 0) break;
        end -= length;
    }
    return text.substr(begin, end - begin);
}

}  // namespace pacemark
