// SPDX-License-Identifier: GPL-3.0-or-later
#include "ContentView.h"

#include <QDragEnterEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QCloseEvent>
#include <QSplitter>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "AppModel.h"
#include "DesktopPlatform.h"
#include "PreviewPane.h"
#include "QtText.h"
#include "SidebarControls.h"
#include "SidebarView.h"
#include "StatusSection.h"
#include "WheelGuard.h"
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
    setMinimumSize(1120, 720);
    auto* scroll = new QScrollArea;
    sidebarScroll_ = scroll;
    scroll->setObjectName(QStringLiteral("sidebar"));
    scroll->setWidget(sidebar_);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    (new WheelGuard(scroll))->guardControls(sidebar_);
    makePickerPopupsReadable(sidebar_);
    // Status and progress sit under the scrolling column, always in view.
    sidebarColumn_ = new QWidget;
    sidebarColumn_->setObjectName(QStringLiteral("sidebarColumn"));
    sidebarColumn_->setMinimumWidth(320);
    sidebarColumn_->setMaximumWidth(420);
    auto* sidebarStack = new QVBoxLayout(sidebarColumn_);
    sidebarStack->setContentsMargins(0, 0, 0, 0);
    sidebarStack->setSpacing(0);
    sidebarStack->addWidget(scroll, 1);
    sidebarStack->addWidget(new StatusSection(model_.loadedActivity(), model_.exportSession(),
                                              model_.backgroundVideo(), model_.status()));
    preview_ = new PreviewPane(model_, std::move(surfaces));
    split->addWidget(sidebarColumn_);
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
    connect(&model_.status(), &AppStatus::errorMessageChanged, this, &ContentView::showErrorIfNeeded);
    // Queued: the sections show or hide their rows on the same signals, and
    // the sizes are right only after they did.
    connect(&model_.backgroundVideo(), &BackgroundVideoModel::videoBackgroundPlayerChanged, this,
            &ContentView::fitSidebarWidth, Qt::QueuedConnection);
    connect(&model_.backgroundVideo(), &BackgroundVideoModel::videoBackgroundImageChanged, this,
            &ContentView::fitSidebarWidth, Qt::QueuedConnection);
    connect(&model_.exportSession(), &ExportSessionModel::isExportingChanged, this, &ContentView::fitSidebarWidth,
            Qt::QueuedConnection);
    connect(&model_.loadedActivity(), &LoadedActivityModel::activityChanged, this, &ContentView::fitSidebarWidth,
            Qt::QueuedConnection);
    fitSidebarWidth();

    // Undo and redo of layout edits. A focused text field keeps these keys
    // for its own text (it takes them before the window does).
    auto* undo = new QShortcut(QKeySequence::Undo, this);
    connect(undo, &QShortcut::activated, this, [this] { model_.layoutEditor().undo(); });
    auto* redo = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), this);
    connect(redo, &QShortcut::activated, this, [this] { model_.layoutEditor().redo(); });
}

void ContentView::closeEvent(QCloseEvent* event) {
    // An edited layout is saved, dropped or kept open as the user says.
    if (model_.layoutEditor().settleUnsavedChanges()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void ContentView::fitSidebarWidth() {
    const int needed = sidebar_->minimumSizeHint().width() + sidebarScroll_->verticalScrollBar()->sizeHint().width();
    sidebarColumn_->setMinimumWidth(std::max(320, needed));
    sidebarColumn_->setMaximumWidth(std::max(420, needed));
}

void ContentView::openTelemetryDialog() {
    const QString file =
        chooseFileToOpen(this, QStringLiteral("Открыть FIT/GPX"), QStringLiteral("FIT / GPX (*.fit *.FIT *.gpx *.GPX)"));
    if (!file.isEmpty()) model_.load(std::filesystem::path(file.toStdString()));
}

void ContentView::openVideoDialog() {
    // Both letter cases: the dialog's patterns are case-sensitive here.
    QStringList patterns;
    for (const auto& extension : AppModel::videoFileExtensions()) {
        patterns << QStringLiteral("*.") + qText(extension) << QStringLiteral("*.") + qText(extension).toUpper();
    }
    // Several files at once become the clip list.
    const QStringList files = chooseFilesToOpen(this, QStringLiteral("Видео-подложка"),
                                                QStringLiteral("Видео (%1)").arg(patterns.join(QLatin1Char(' '))), true);
    std::vector<std::filesystem::path> paths;
    for (const QString& file : files) paths.emplace_back(file.toStdString());
    model_.videoClips().openClips(paths);
}

void ContentView::showErrorIfNeeded() {
    const auto message = model_.status().errorMessage();
    if (!message) {
        if (alert_) alert_->close();
        return;
    }
    const QString actionText = model_.status().errorActionText();
    if (alert_ && alert_->buttons().size() == (actionText.isEmpty() ? 1 : 2)) {
        if (alertAction_) alertAction_->setText(actionText);
        alert_->setText(*message);
        return;
    }
    // The buttons changed: the old alert goes without clearing the new message.
    if (alert_) {
        alert_->disconnect(this);
        alert_->close();
    }
    alert_ = new QMessageBox(QMessageBox::Warning, windowTitleText(), *message, QMessageBox::NoButton, this);
    alertAction_ = actionText.isEmpty() ? nullptr : alert_->addButton(actionText, QMessageBox::AcceptRole);
    alert_->addButton(QStringLiteral("ОК"), QMessageBox::RejectRole);
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert_, &QMessageBox::finished, this, [this] {
        const bool chosen = alertAction_ && alert_->clickedButton() == alertAction_;
        alert_ = nullptr;
        alertAction_ = nullptr;
        if (chosen) {
            model_.status().runErrorAction();
        } else {
            model_.status().setErrorMessage(std::nullopt);
        }
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
