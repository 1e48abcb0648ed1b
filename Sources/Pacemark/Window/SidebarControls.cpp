// SPDX-License-Identifier: GPL-3.0-or-later
#include "SidebarControls.h"

#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QPixmap>
#include <QPolygonF>
#include <QPushButton>
#include <QSlider>

#include <cmath>

#include "WindowStyle.h"

namespace pacemark {

namespace {

const QColor iconColor(0xE8, 0xEA, 0xED);

// Fills the opaque parts of a glyph with the icon colour.
QPixmap tinted(QPixmap pixmap) {
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), iconColor);
    return pixmap;
}

// Draws a picker's list item: the current or hovered one on the highlight,
// the others on the list's own background, text in the matching colour.
class PickerItemDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const bool highlighted = item.state & (QStyle::State_Selected | QStyle::State_MouseOver);
        painter->save();
        painter->fillRect(item.rect, highlighted ? pickerHighlightColor() : item.palette.color(QPalette::Base));
        painter->setPen(highlighted ? pickerHighlightTextColor() : item.palette.color(QPalette::Text));
        painter->setFont(item.font);
        const QRect text = item.rect.adjusted(8, 0, -8, 0);
        painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                          item.fontMetrics.elidedText(item.text, Qt::ElideRight, text.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), option.fontMetrics.height() + 10));
        size.setWidth(size.width() + 16);
        return size;
    }
};

}  // namespace

QColor pickerHighlightColor() { return brandGreen(); }
QColor pickerHighlightTextColor() { return QColor(0x06, 0x14, 0x0A); }

void makePickerPopupsReadable(QWidget* root) {
    for (auto* picker : root->findChildren<QComboBox*>()) picker->setItemDelegate(new PickerItemDelegate(picker));
}

QIcon lightIcon(QStyle::StandardPixmap icon, const QWidget* owner) {
    const QIcon standard = owner->style()->standardIcon(icon);
    QIcon result;
    for (const int side : {16, 32}) result.addPixmap(tinted(standard.pixmap(side, side)));
    return result;
}

QIcon plusIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(iconColor, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(16, 6), QPointF(16, 26));
    painter.drawLine(QPointF(6, 16), QPointF(26, 16));
    painter.end();
    return QIcon(pixmap);
}

QIcon lineIcon(LineGlyph glyph) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(iconColor, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    switch (glyph) {
        case LineGlyph::save:  // an arrow down into a tray
            painter.drawLine(QPointF(16, 4), QPointF(16, 20));
            painter.drawPolyline(QPolygonF({{9, 13}, {16, 20}, {23, 13}}));
            painter.drawPolyline(QPolygonF({{5, 20}, {5, 27}, {27, 27}, {27, 20}}));
            break;
        case LineGlyph::video:  // a frame with a play mark
            painter.drawRoundedRect(QRectF(4, 7, 24, 18), 3, 3);
            painter.setBrush(iconColor);
            painter.drawPolygon(QPolygonF({{13, 12}, {20, 16}, {13, 20}}));
            break;
        case LineGlyph::film:  // a strip of film with sprocket holes
            painter.drawRect(QRectF(7, 4, 18, 24));
            painter.drawLine(QPointF(11, 4), QPointF(11, 28));
            painter.drawLine(QPointF(21, 4), QPointF(21, 28));
            for (double y : {8.0, 14.0, 20.0, 26.0}) {
                painter.drawPoint(QPointF(9, y - 1));
                painter.drawPoint(QPointF(23, y - 1));
            }
            break;
        case LineGlyph::synchronize:  // two arrows chasing each other
            painter.drawArc(QRectF(6, 6, 20, 20), 30 * 16, 150 * 16);
            painter.drawArc(QRectF(6, 6, 20, 20), 210 * 16, 150 * 16);
            painter.drawPolyline(QPolygonF({{6, 9}, {7, 15}, {13, 13}}));
            painter.drawPolyline(QPolygonF({{26, 23}, {25, 17}, {19, 19}}));
            break;
    }
    painter.end();
    return QIcon(pixmap);
}

QPushButton* makeButton(const QString& title, LineGlyph glyph) { return new QPushButton(lineIcon(glyph), title); }

QPushButton* makeButton(const QString& title, QStyle::StandardPixmap icon, QWidget* owner) {
    return new QPushButton(lightIcon(icon, owner), title);
}

QLabel* secondaryLabel(const QString& title) {
    auto* label = new QLabel(title);
    label->setObjectName(QStringLiteral("secondary"));
    label->setWordWrap(true);
    return label;
}

QSlider* makeSlider() {
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, sliderSteps);
    return slider;
}

int sliderPosition(double value, double minimum, double maximum) {
    return static_cast<int>(std::lround((value - minimum) / (maximum - minimum) * sliderSteps));
}

double sliderValue(int position, double minimum, double maximum) {
    return minimum + (maximum - minimum) * position / sliderSteps;
}

}  // namespace pacemark
