#include "SidebarControls.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QPushButton>
#include <QSlider>

#include <cmath>

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

}  // namespace

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
