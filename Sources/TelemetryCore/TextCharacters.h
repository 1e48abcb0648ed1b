// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string_view>

namespace pacemark {

// The first `count` user-perceived characters of UTF-8 `text`, never cutting
// one in half. A character is a base code point with what attaches to it:
// combining marks, variation selectors, emoji skin tones and tags, a
// zero-width joiner with the code point it joins, a pair of regional
// indicators (a flag), CR LF. Bytes that are not valid UTF-8 count one each.
std::string_view leadingCharacters(std::string_view text, std::size_t count);

}  // namespace pacemark
