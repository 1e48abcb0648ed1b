// SPDX-License-Identifier: GPL-3.0-or-later
#include "SidebarView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ActionButtonsSection.h"
#include "AppModel.h"
#include "ModelObserver.h"
#include "OverlayControlsSection.h"
#include "RenderSettingsSection.h"
#include "StatusSection.h"
#include "SummarySection.h"
#include "VideoClipListSection.h"
#include "WindowStyle.h"

namespace pacemark {

namespace {

// The application's mark: a gauge drawn in green on a dark rounded tile.
class AppHeaderIcon : public QWidget {
public:
    AppHeaderIcon() { setFixedSize(48, 48); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.24f));
        painter.drawRoundedRect(rect(), 10, 10);
        const QColor green = brandGreen();
        painter.setPen(QPen(green, 3.5, Qt::SolidLine, Qt::RoundCap));
        const QRectF dial(11, 12, 26, 26);
        painter.drawArc(dial, -30 * 16, 240 * 16);
        painter.setPen(QPen(green, 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(dial.center(), dial.center() + QPointF(7, -6));
        painter.setBrush(green);
        painter.drawEllipse(dial.center(), 2.5, 2.5);
    }
};

QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setObjectName(QStringLiteral("divider"));
    return line;
}

}  // namespace

SidebarView::SidebarView(AppModel& model, QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(14);

    auto* header = new QHBoxLayout;
    header->addWidget(new AppHeaderIcon);
    auto* titles = new QVBoxLayout;
    auto* title = new QLabel(windowTitleText());
    title->setObjectName(QStringLiteral("appTitle"));
    auto* fileName = new QLabel;
    fileName->setObjectName(QStringLiteral("secondary"));
    titles->addWidget(title);
    titles->addWidget(fileName);
    header->addLayout(titles, 1);
    column->addLayout(header);
    refreshOnChangesOf({&model.loadedActivity()}, fileName, [fileName, &model] { fileName->setText(model.loadedActivity().selectedFileName()); });

    auto* actions = new ActionButtonsSection(model.loadedActivity(), model.exportSession(), model.backgroundVideo());
    connect(actions, &ActionButtonsSection::openTelemetryRequested, this, &SidebarView::openTelemetryRequested);
    connect(actions, &ActionButtonsSection::openVideoRequested, this, &SidebarView::openVideoRequested);
    column->addWidget(actions);
    column->addWidget(new VideoClipListSection(model.loadedActivity(), model.exportSession(), model.videoClips()));
    column->addWidget(divider());
    column->addWidget(new SummarySection(model.loadedActivity(), model.backgroundVideo()));
    column->addWidget(divider());
    column->addWidget(new RenderSettingsSection(model.loadedActivity(), model.exportSession()));
    column->addWidget(divider());
    column->addWidget(new OverlayControlsSection(model.layoutEditor()));
    column->addStretch();
}


}  // namespace pacemark
