#include "ContentView.h"

#include <QDragEnterEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

#include <vector>

#include "AppModel.h"
#include "PreviewPane.h"
#include "SidebarView.h"
#include "WindowStyle.h"

namespace pacemark {

namespace {

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
        const QColor green = brandGreen();
        QColor fill = green;
        fill.setAlphaF(0.14f);
        QPen pen(green, 3);
        pen.setDashPattern({10.0 / 3, 8.0 / 3});
        painter.setPen(pen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(20, 20, -20, -20), 18, 18);
    }
};

}  // namespace

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
    alert_ = new QMessageBox(QMessageBox::Warning, windowTitleText(), *message, QMessageBox::NoButton, this);
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
