#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include <chrono>
#include <memory>

#include "AppModel.h"
#include "CairoDrawingSurface.h"
#include "ContentView.h"
#include "EditorPreviewView.h"
#include "OverlayInteraction.h"
#include "PreviewPane.h"
#include "RenderSettingsSection.h"
#include "TestSupport.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

using testing::application;
using testing::drag;
using testing::sendMouse;

bool waitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QPushButton* button(QWidget& root, const QString& title) {
    for (auto* candidate : root.findChildren<QPushButton*>()) {
        if (candidate->text() == title) return candidate;
    }
    return nullptr;
}

bool showsText(QWidget& root, const QString& text) {
    for (auto* label : root.findChildren<QLabel*>()) {
        if (label->text() == text && label->isVisibleTo(&root)) return true;
    }
    return false;
}

// A window over a model with the real loader and renderer (no movie writer:
// these tests never export).
class ContentViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        surfaces_ = std::make_shared<const CairoDrawingSurfaceFactory>();
        model_ = std::make_unique<AppModel>(makeAppModelServices(nullptr, nullptr));
        window_ = std::make_unique<ContentView>(*model_, surfaces_);
        window_->resize(1400, 860);
        window_->show();
        QCoreApplication::processEvents();
    }

    // Drops the bundled sample ride on the window, as a user would.
    void dropSampleRide() {
        const QUrl ride = QUrl::fromLocalFile(
            QString::fromStdString((testing::sourceFolder() / "samples" / "sample-ride.fit").string()));
        EXPECT_TRUE(window_->dropURLs({ride}));
        ASSERT_TRUE(waitFor([&] { return model_->activity() != nullptr && !model_->isLoading(); }));
        QCoreApplication::processEvents();
    }

    EditorPreviewView* editor() { return window_->preview()->editor(); }

    QPointF centreOf(const PacemarkWidget& widget) { return previewRect(widget, editor()->canvasRect()).center(); }

    std::shared_ptr<const CairoDrawingSurfaceFactory> surfaces_;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<ContentView> window_;
};

TEST(PreviewCanvasTest, FitsTheAspectRatioCentredAcrossTheLongerSide) {
    const QRectF wide = fitPreviewCanvas(QSizeF(1000, 400), 16.0 / 9.0);
    EXPECT_NEAR(wide.x(), 144.44, 0.01);
    EXPECT_NEAR(wide.width(), 711.11, 0.01);
    EXPECT_DOUBLE_EQ(wide.y(), 0);
    EXPECT_DOUBLE_EQ(wide.height(), 400);
    const QRectF tall = fitPreviewCanvas(QSizeF(400, 1000), 16.0 / 9.0);
    EXPECT_DOUBLE_EQ(tall.x(), 0);
    EXPECT_DOUBLE_EQ(tall.width(), 400);
    EXPECT_DOUBLE_EQ(tall.height(), 225);
    EXPECT_DOUBLE_EQ(tall.y(), 387.5);
    EXPECT_TRUE(fitPreviewCanvas(QSizeF(0, 400), 16.0 / 9.0).isEmpty());
}

TEST_F(ContentViewTest, SidebarFollowsTheModelBeforeAndAfterADroppedRide) {
    EXPECT_TRUE(showsText(*window_, QStringLiteral("Файл не выбран")));
    EXPECT_TRUE(showsText(*window_, QStringLiteral("-- км/ч")));
    ASSERT_NE(button(*window_, QStringLiteral("Сделать MOV")), nullptr);
    EXPECT_FALSE(button(*window_, QStringLiteral("Сделать MOV"))->isEnabled());
    EXPECT_FALSE(button(*window_, QStringLiteral("Сохранить как"))->isEnabled());
    EXPECT_FALSE(button(*window_, QStringLiteral("Весь файл"))->isEnabled());
    EXPECT_TRUE(button(*window_, QStringLiteral("Открыть FIT/GPX"))->isEnabled());
    EXPECT_FALSE(button(*window_, QStringLiteral("Стоп"))->isVisible());
    EXPECT_TRUE(button(*window_, QStringLiteral("Выбрать файл"))->isVisible());

    dropSampleRide();
    EXPECT_TRUE(showsText(*window_, QStringLiteral("sample-ride.fit")));
    EXPECT_TRUE(showsText(*window_, model_->sampleCountLabel()));
    EXPECT_TRUE(showsText(*window_, model_->statusText()));
    EXPECT_TRUE(button(*window_, QStringLiteral("Сделать MOV"))->isEnabled());
    EXPECT_TRUE(button(*window_, QStringLiteral("Сохранить как"))->isEnabled());
    EXPECT_TRUE(button(*window_, QStringLiteral("Весь файл"))->isEnabled());
    EXPECT_TRUE(editor()->isVisible());
    EXPECT_FALSE(button(*window_, QStringLiteral("Выбрать файл"))->isVisible());
}

TEST_F(ContentViewTest, DropsOfRemoteOrUnsupportedFilesAreRefused) {
    EXPECT_FALSE(window_->dropURLs({QUrl(QStringLiteral("https://example.org/ride.fit"))}));
    EXPECT_FALSE(model_->isLoading());
    EXPECT_FALSE(window_->dropURLs({QUrl::fromLocalFile(QStringLiteral("/tmp/notes.txt"))}));
    ASSERT_TRUE(model_->errorMessage().has_value());
    EXPECT_TRUE(model_->errorMessage()->contains(QStringLiteral("notes.txt")));
}

TEST_F(ContentViewTest, ResolutionTagSetsBothSidesOrNothing) {
    applyResolutionTag(*model_, QStringLiteral("2560x1440"));
    EXPECT_EQ(model_->width(), 2560);
    EXPECT_EQ(model_->height(), 1440);
    for (const auto* bad : {"2560", "axb", "1x2x3", "x1080"}) {
        applyResolutionTag(*model_, QString::fromLatin1(bad));
        EXPECT_EQ(model_->width(), 2560) << bad;
        EXPECT_EQ(model_->height(), 1440) << bad;
    }
}

TEST_F(ContentViewTest, AlertShowsTheErrorAndClearsItWhenDismissed) {
    model_->setErrorMessage(QStringLiteral("Файл повреждён"));
    QCoreApplication::processEvents();
    QMessageBox* alert = window_->errorAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), QStringLiteral("MARENTO ТЕЛЕМЕТРИЯ"));
    EXPECT_EQ(alert->text(), QStringLiteral("Файл повреждён"));
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons().first()->text(), QStringLiteral("ОК"));
    alert->buttons().first()->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(model_->errorMessage().has_value());
    EXPECT_EQ(window_->errorAlert(), nullptr);

    model_->setErrorMessage(QStringLiteral("Ещё одна ошибка"));
    QCoreApplication::processEvents();
    ASSERT_NE(window_->errorAlert(), nullptr);
    EXPECT_EQ(window_->errorAlert()->text(), QStringLiteral("Ещё одна ошибка"));
}

TEST_F(ContentViewTest, PreviewDrawsTheOverlayAtTheCanvasSize) {
    dropSampleRide();
    editor()->repaint();
    const QImage& overlay = editor()->overlayImage();
    ASSERT_FALSE(overlay.isNull());
    const QRectF canvas = editor()->canvasRect();
    EXPECT_EQ(overlay.width(), std::lround(std::round(canvas.width()) * editor()->devicePixelRatioF()));
    // The first widget's panel is drawn; the top-left corner of the picture is
    // transparent in every preset.
    const QRectF first = previewRect(model_->overlayLayout().widgets.front(), canvas).translated(-canvas.topLeft());
    EXPECT_GT(qAlpha(overlay.pixel(first.center().toPoint())), 0);
    EXPECT_EQ(qAlpha(overlay.pixel(2, 2)), 0);
}

TEST_F(ContentViewTest, MouseSelectsMovesAndResizesWidgetsThroughTheModel) {
    dropSampleRide();
    const auto widgets = model_->overlayLayout().widgets;
    ASSERT_GE(widgets.size(), 2u);
    const PacemarkWidget& second = widgets[1];

    // A click selects the widget under the mouse.
    sendMouse(editor(), QEvent::MouseButtonPress, centreOf(second), Qt::LeftButton);
    sendMouse(editor(), QEvent::MouseButtonRelease, centreOf(second), Qt::NoButton);
    EXPECT_EQ(model_->selectedWidgetID(), second.id);

    // Dragging far right stops at the edge; coming back moves from the start.
    const QRectF canvas = editor()->canvasRect();
    const QPointF start = centreOf(second);
    sendMouse(editor(), QEvent::MouseButtonPress, start, Qt::LeftButton);
    sendMouse(editor(), QEvent::MouseMove, start + QPointF(canvas.width() * 2, 0), Qt::LeftButton);
    auto frame = model_->selectedWidget()->frame;
    EXPECT_DOUBLE_EQ(frame.x, 1 - frame.width);
    sendMouse(editor(), QEvent::MouseMove, start + QPointF(canvas.width() * 0.05, canvas.height() * 0.02),
              Qt::LeftButton);
    sendMouse(editor(), QEvent::MouseButtonRelease, start, Qt::NoButton);
    frame = model_->selectedWidget()->frame;
    EXPECT_NEAR(frame.x, second.frame.clamped().x + 0.05, 1e-9);
    EXPECT_NEAR(frame.y, second.frame.clamped().y + 0.02, 1e-9);

    // The handle at the lower-right corner resizes, keeping the top-left
    // corner; dragging past it stops at the minimum size.
    const TelemetryWidgetFrame before = frame;
    const QRectF rect = previewRect(*model_->selectedWidget(), canvas);
    drag(editor(), rect.bottomRight() + QPointF(10, 10), rect.bottomRight() + QPointF(-canvas.width(), -canvas.height()));
    frame = model_->selectedWidget()->frame;
    EXPECT_DOUBLE_EQ(frame.width, TelemetryWidgetFrame::minWidth);
    EXPECT_DOUBLE_EQ(frame.height, TelemetryWidgetFrame::minHeight);
    EXPECT_DOUBLE_EQ(frame.x, before.x);
    EXPECT_DOUBLE_EQ(frame.y, before.y);
}

TEST_F(ContentViewTest, PressesOnEmptyCanvasOrOutsideItKeepTheSelectionWithoutABackground) {
    dropSampleRide();
    const auto selected = model_->selectedWidgetID();
    ASSERT_TRUE(selected.has_value());
    const auto layout = model_->overlayLayout();
    const QRectF canvas = editor()->canvasRect();
    // Empty canvas: the top-left corner area holds no widget in the presets.
    drag(editor(), canvas.topLeft() + QPointF(3, 3), canvas.topLeft() + QPointF(200, 100));
    EXPECT_EQ(model_->selectedWidgetID(), selected);
    EXPECT_EQ(model_->videoBackgroundOffsetX(), 0);
    // Outside the canvas (the band beside it) nothing changes either.
    const QPointF outside = canvas.x() > 1 ? QPointF(canvas.x() / 2, canvas.center().y())
                                            : QPointF(canvas.center().x(), canvas.y() / 2);
    if (!canvas.contains(outside)) {
        drag(editor(), outside, outside + QPointF(300, 0));
        EXPECT_EQ(model_->selectedWidgetID(), selected);
    }
    EXPECT_EQ(model_->overlayLayout(), layout);
}

}  // namespace
}  // namespace pacemark
