// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string_view>

namespace pacemark {

// The core speaks UTF-8 in std::string; Qt in QString. Every conversion of a
// core text for the user goes through here.
inline QString qText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace pacemark
