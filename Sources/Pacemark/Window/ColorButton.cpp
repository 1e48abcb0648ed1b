// SPDX-License-Identifier: GPL-3.0-or-later
#include "ColorButton.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <utility>

#include "LayoutEditorModel.h"
#include "WindowStyle.h"

namespace pacemark {

ColorButton::ColorButton(const QString& title, std::function<void(std::uint32_t)> apply, QWidget* parent)
    : QWidget(parent), apply_(std::move(apply)) {
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(0, 0, 0, 0);
    line->addWidget(new QLabel(title), 1);
    swatch_ = new QPushButton;
    swatch_->setFixedSize(44, 22);
    line->addWidget(swatch_);
    connect(swatch_, &QPushButton::clicked, this, [this, title] {
        const QColor chosen = QColorDialog::getColor(qColorFromHex(hex_), this, title);
        if (!chosen.isValid()) return;
        const QColor srgb = chosen.toRgb();
        apply_(LayoutEditorModel::hexFromPickedColor(SRGBColor{srgb.redF(), srgb.greenF(), srgb.blueF()}));
    });
}

void ColorButton::setColorHex(std::uint32_t hex) {
    hex_ = hex;
    swatch_->setStyleSheet(QStringLiteral("background: %1; border: 1px solid rgba(255,255,255,0.25); border-radius: 5px;")
                               .arg(qColorFromHex(hex).name()));
}

}  // namespace pacemark
