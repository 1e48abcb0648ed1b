// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

namespace pacemark {

// `text` without white space and line breaks at either end: ASCII white
// space and the Unicode space characters (no-break space, U+2000-U+200A,
// line and paragraph separators, ideographic space and the like), read as
// UTF-8.
std::string_view trimmedWhitespace(std::string_view text);

}  // namespace pacemark
