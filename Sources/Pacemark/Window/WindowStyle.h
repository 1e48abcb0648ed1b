// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>

#include <cstdint>

#include "LayoutEditorModel.h"

// The application's look in one place: its name, its brand colour, and the
// conversion of the model's 0xRRGGBB colours for Qt.
namespace pacemark {

// The window title, the alert title and the sidebar header.
inline QString windowTitleText() { return QStringLiteral("MARENTO ТЕЛЕМЕТРИЯ"); }

// An opaque colour from 0xRRGGBB.
inline QColor qColorFromHex(std::uint32_t hex) {
    return QColor(static_cast<int>((hex >> 16) & 0xFF), static_cast<int>((hex >> 8) & 0xFF),
                  static_cast<int>(hex & 0xFF));
}

// The brand green, which new widgets also take as their accent: the drop
// frame, the selection outline, progress and slider fills.
inline QColor brandGreen() { return qColorFromHex(LayoutEditorModel::defaultAccentHex); }

}  // namespace pacemark
