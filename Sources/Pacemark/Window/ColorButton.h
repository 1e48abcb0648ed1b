// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>

class QPushButton;

namespace pacemark {

// A button showing a colour; clicking opens the colour dialog and reports the
// chosen colour as 0xRRGGBB.
class ColorButton : public QWidget {
    Q_OBJECT

public:
    ColorButton(const QString& title, std::function<void(std::uint32_t)> apply, QWidget* parent = nullptr);
    void setColorHex(std::uint32_t hex);

private:
    QPushButton* swatch_;
    std::uint32_t hex_ = 0;
    std::function<void(std::uint32_t)> apply_;
};

}  // namespace pacemark
