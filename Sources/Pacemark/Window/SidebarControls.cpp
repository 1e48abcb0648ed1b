#include "SidebarControls.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
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
