#include "ContentView.h"

#include <QDragEnterEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

#include <vector>

#include "AppModel.h"
#include "OverlayControls.h"
#include "PreviewPane.h"
#include "SidebarSections.h"

namespace pacemark {

namespace {

const QString windowTitleText = QStringLiteral("MARENTO ТЕЛЕМЕТРИЯ");

// The green dashed frame shown while files hover over the window.
class DropHighlight : public QWidget {
public:
    explicit DropHighlight(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor green(0x35, 0xD0, 0x5B);
        QColor fill = green;
        fill.setAlphaF(0.14f);
        QPen pen(green, 3);
        pen.setDashPattern({10.0 / 3, 8.0 / 3});
        painter.setPen(pen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(20, 20, -20, -20), 18, 18);
    }
};

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
        const QColor green(0x35, 0xD0, 0x5B);
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
    auto* title = new QLabel(windowTitleText);
    title->setObjectName(QStringLiteral("appTitle"));
    auto* fileName = new QLabel;
    fileName->setObjectName(QStringLiteral("secondary"));
    titles->addWidget(title);
    titles->addWidget(fileName);
    header->addLayout(titles, 1);
    column->addLayout(header);
    refreshOnModelChanges(fileName, model, [fileName, &model] { fileName->setText(model.selectedFileName()); });

    auto* actions = new ActionButtonsSection(model);
    connect(actions, &ActionButtonsSection::openTelemetryRequested, this, &SidebarView::openTelemetryRequested);
    connect(actions, &ActionButtonsSection::openVideoRequested, this, &SidebarView::openVideoRequested);
    column->addWidget(actions);
    column->addWidget(divider());
    column->addWidget(new SummarySection(model));
    column->addWidget(divider());
    column->addWidget(new RenderSettingsSection(model));
    column->addWidget(divider());
    column->addWidget(new OverlayControlsSection(model));
    column->addWidget(new StatusSection(model));
    column->addStretch();
}

ContentView::ContentView(AppModel& model, std::shared_ptr<const DrawingSurfaceFactory> surfaces, QWidget* parent)
    : QWidget(parent), model_(model) {
    setAcceptDrops(true);
    auto* split = new QSplitter(Qt::Horizontal);
    split->setChildrenCollapsible(false);
    sidebar_ = new SidebarView(model_);
    auto* scroll = new QScrollArea;
    scroll->setObjectName(QStringLiteral("sidebar"));
    scroll->setWidget(sidebar_);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setMinimumWidth(320);
    scroll->setMaximumWidth(420);
    preview_ = new PreviewPane(model_, std::move(surfaces));
    split->addWidget(scroll);
    split->addWidget(preview_);
    split->setStretchFactor(1, 1);
    split->setSizes({360, 1000});
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);

    dropHighlight_ = new DropHighlight(this);

    connect(sidebar_, &SidebarView::openTelemetryRequested, this, &ContentView::openTelemetryDialog);
    connect(sidebar_, &SidebarView::openVideoRequested, this, &ContentView::openVideoDialog);
    connect(preview_, &PreviewPane::openTelemetryRequested, this, &ContentView::openTelemetryDialog);
    connect(&model_, &AppModel::errorMessageChanged, this, &ContentView::showErrorIfNeeded);
}

void ContentView::openTelemetryDialog() {
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Открыть FIT/GPX"), QString(),
                                                      QStringLiteral("FIT / GPX (*.fit *.FIT *.gpx *.GPX)"));
    if (!file.isEmpty()) model_.load(std::filesystem::path(file.toStdString()));
}

void ContentView::openVideoDialog() {
    const QString file = QFileDialog::getOpenFileName(
        this, QStringLiteral("Видео-подложка"), QString(),
        QStringLiteral("Видео (*.mp4 *.MP4 *.m4v *.M4V *.mov *.MOV)"));
    if (!file.isEmpty()) model_.loadVideoBackground(std::filesystem::path(file.toStdString()));
}

void ContentView::showErrorIfNeeded() {
    const auto message = model_.errorMessage();
    if (!message) {
        if (alert_) alert_->close();
        return;
    }
    if (alert_) {
        alert_->setText(*message);
        return;
    }
    alert_ = new QMessageBox(QMessageBox::Warning, windowTitleText, *message, QMessageBox::NoButton, this);
    alert_->addButton(QStringLiteral("ОК"), QMessageBox::RejectRole);
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert_, &QMessageBox::finished, this, [this] {
        alert_ = nullptr;
        model_.setErrorMessage(std::nullopt);
    });
    alert_->open();
}

void ContentView::setDropTargeted(bool targeted) {
    dropHighlight_->setVisible(targeted);
    if (targeted) dropHighlight_->raise();
}

void ContentView::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    event->acceptProposedAction();
    setDropTargeted(true);
}

void ContentView::dragLeaveEvent(QDragLeaveEvent*) { setDropTargeted(false); }

void ContentView::dropEvent(QDropEvent* event) {
    setDropTargeted(false);
    if (dropURLs(event->mimeData()->urls())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

bool ContentView::dropURLs(const QList<QUrl>& urls) {
    std::vector<std::filesystem::path> files;
    for (const QUrl& url : urls) {
        if (url.isLocalFile()) files.emplace_back(url.toLocalFile().toStdString());
    }
    return !files.empty() && model_.loadDropped(files);
}

void ContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    dropHighlight_->setGeometry(rect());
}

}  // namespace pacemark
