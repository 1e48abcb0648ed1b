// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>
#include <QStyle>

class QLabel;
class QPushButton;
class QSlider;
class QWidget;

// Small builders the sidebar sections share, so that their buttons, labels
// and sliders look and behave alike.
namespace pacemark {

// The button's icon is the style's standard one redrawn in the text colour,
// since the style's own dark glyphs vanish on the dark theme.
QPushButton* makeButton(const QString& title, QStyle::StandardPixmap icon, QWidget* owner);
QIcon lightIcon(QStyle::StandardPixmap icon, const QWidget* owner);
// A plus sign in the text colour, for commands that add something.
QIcon plusIcon();
// Line glyphs in the text colour for the commands whose standard icons are
// solid shapes (a floppy disk, a list view) that the recolouring turns into
// plain squares.
enum class LineGlyph { save, video, film, synchronize };
QIcon lineIcon(LineGlyph glyph);
QPushButton* makeButton(const QString& title, LineGlyph glyph);
// Gives every picker below `root` an item delegate that draws the current
// and the hovered item of its open list itself, in dark text on the brand
// green: the style's own menu-like popup ignores the style sheet's highlight
// and left near-black text on near-black.
void makePickerPopupsReadable(QWidget* root);
// The colours of that highlight.
QColor pickerHighlightColor();
QColor pickerHighlightTextColor();

// A grey, word-wrapped label.
QLabel* secondaryLabel(const QString& title);

// A slider over a real range in steps of a thousandth of the range.
constexpr int sliderSteps = 1000;
QSlider* makeSlider();
int sliderPosition(double value, double minimum, double maximum);
double sliderValue(int position, double minimum, double maximum);

}  // namespace pacemark
