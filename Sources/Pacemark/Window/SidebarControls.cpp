#include "SidebarControls.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <cmath>

namespace pacemark {

QPushButton* makeButton(const QString& title, QStyle::StandardPixmap icon, QWidget* owner) {
    auto* button = new QPushButton(owner->style()->standardIcon(icon), title);
    return button;
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
