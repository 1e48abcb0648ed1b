// SPDX-License-Identifier: GPL-3.0-or-later
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>

#include "DesktopPlatform.h"
#include "OverlayInteraction.h"
#include "PreviewPainting.h"
#include "VideoTestMovies.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

using testing::drag;
using testing::sendMouse;

using ContentViewTest = testing::WindowTest;

// The canvas keeps the output's aspect, centred across the longer side; a
// layout of another shape keeps its own: a 16:9 layout spans a portrait
// canvas's width on its bottom edge, as in the movie.
TEST(PreviewCanvasTest, PreviewKeepsEachAspectRatio) {
    EXPECT_EQ(fitPreviewCanvas(QSizeF(1000, 400), 16.0 / 9.0), QRectF(1300.0 / 9, 0, 6400.0 / 9, 400));
    EXPECT_EQ(fitPreviewCanvas(QSizeF(400, 1000), 16.0 / 9.0), QRectF(0, 387.5, 400, 225));
    EXPECT_EQ(previewLayoutArea(QRectF(10, 20, 360, 640), {16, 9}), QRectF(10, 20 + 640 - 202.5, 360, 202.5));
}

// A refused drop shows its error in an alert whose "ОК" clears it.
TEST_F(ContentViewTest, RefusedDropRaisesAnAlert) {
    EXPECT_FALSE(window_->dropURLs({QUrl::fromLocalFile(QStringLiteral("/tmp/notes.txt"))}));
    QCoreApplication::processEvents();
    QMessageBox* alert = window_->errorAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), model_->status().errorMessage().value_or(QString()));
    ASSERT_EQ(alert->buttons().size(), 1);
    EXPECT_EQ(alert->buttons().first()->text(), QStringLiteral("ОК"));
    alert->buttons().first()->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(model_->status().errorMessage().has_value());
    EXPECT_EQ(window_->errorAlert(), nullptr);
}

// A dropped ride's overlay is drawn at the canvas size: the first widget's
// panel is drawn, the top-left corner (empty in every preset) is transparent.
TEST_F(ContentViewTest, DroppedRideIsDrawnOnTheCanvas) {
    dropSampleRide();
    editor()->repaint();
    const QImage& overlay = editor()->overlayImage();
    ASSERT_FALSE(overlay.isNull());
    const QRectF canvas = editor()->canvasRect();
    EXPECT_EQ(overlay.width(), std::lround(std::round(canvas.width()) * editor()->devicePixelRatioF()));
    const QRectF first = previewRect(model_->layoutEditor().overlayLayout().widgets.front(), canvas).translated(-canvas.topLeft());
    EXPECT_GT(qAlpha(overlay.pixel(first.center().toPoint())), 0);
    EXPECT_EQ(qAlpha(overlay.pixel(2, 2)), 0);
}

// A drag on the canvas is one step for Ctrl+Z, and Ctrl+Shift+Z makes it
// again.
TEST_F(ContentViewTest, CtrlZUndoesAWholeDrag) {
    dropSampleRide();
    const auto widgets = model_->layoutEditor().overlayLayout().widgets;
    const QRectF canvas = editor()->canvasRect();
    const QPointF start = previewRect(widgets[1], canvas).center();
    sendMouse(editor(), QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (double step : {0.02, 0.04, 0.06}) {
        sendMouse(editor(), QEvent::MouseMove, start + QPointF(canvas.width() * step, 0), Qt::LeftButton);
    }
    sendMouse(editor(), QEvent::MouseButtonRelease, start + QPointF(canvas.width() * 0.06, 0), Qt::NoButton);
    const PacemarkLayout dragged = model_->layoutEditor().overlayLayout();
    ASSERT_NE(dragged.widgets, widgets);

    editor()->setFocus();
    QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(model_->layoutEditor().overlayLayout().widgets, widgets);
    QTest::keyClick(window_.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(model_->layoutEditor().overlayLayout(), dragged);
}

// Closing the window with unsaved layout edits asks first: "Отмена" keeps it
// open, "Сохранить макет…" writes the layout and closes, and a layout
// without edits closes unasked.
TEST_F(ContentViewTest, ClosingAsksAboutAnEditedLayout) {
    model_->layoutEditor().addWidget(TelemetryWidgetKind::power);
    EXPECT_FALSE(window_->close());
    EXPECT_EQ(platform_.replaceQuestions, 1);
    EXPECT_TRUE(window_->isVisible());

    testing::TemporaryFolder folder;
    platform_.unsavedAnswer = AppModelPlatform::UnsavedLayoutChoice::save;
    platform_.saveAnswer = folder / "kept.pacemark-layout";
    EXPECT_TRUE(window_->close());
    EXPECT_TRUE(std::filesystem::exists(folder / "kept.pacemark-layout"));

    window_->show();
    EXPECT_TRUE(window_->close());
    EXPECT_EQ(platform_.replaceQuestions, 2);
}

// Editing on the canvas of a portrait output, where a 16:9 layout lies across
// the bottom: a press selects the widget under the mouse, a drag moves it by
// the share of the layout's area the mouse moved over, and its handle
// resizes it down to the minimum.
TEST_F(ContentViewTest, MouseEditsWidgetsOnTheCanvas) {
    dropSampleRide();
    model_->exportSession().setWidth(1080);
    model_->exportSession().setHeight(1920);
    const auto widgets = model_->layoutEditor().overlayLayout().widgets;
    ASSERT_GE(widgets.size(), 2u);
    const QRectF canvas = editor()->canvasRect();
    EXPECT_GT(canvas.height(), canvas.width());
    const QRectF area = previewLayoutArea(canvas, model_->layoutEditor().overlayLayout().aspect);

    const QPointF start = previewRect(widgets[1], area).center();
    sendMouse(editor(), QEvent::MouseButtonPress, start, Qt::LeftButton);
    EXPECT_EQ(model_->layoutEditor().selectedWidgetID(), widgets[1].id);
    sendMouse(editor(), QEvent::MouseMove, start + QPointF(area.width() * 0.05, -area.height() * 0.1),
              Qt::LeftButton);
    sendMouse(editor(), QEvent::MouseButtonRelease, start, Qt::NoButton);
    auto frame = model_->layoutEditor().selectedWidget()->frame;
    EXPECT_NEAR(frame.x, widgets[1].frame.clamped().x + 0.05, 1e-9);
    EXPECT_NEAR(frame.y, widgets[1].frame.clamped().y - 0.1, 1e-9);

    // The handle at the lower-right corner resizes, keeping the top-left
    // corner; dragging past it stops at the minimum size.
    const TelemetryWidgetFrame before = model_->layoutEditor().selectedWidget()->frame;
    const QRectF rect = previewRect(*model_->layoutEditor().selectedWidget(), area);
    drag(editor(), rect.bottomRight() + QPointF(10, 10), rect.bottomRight() + QPointF(-canvas.width(), -canvas.height()));
    frame = model_->layoutEditor().selectedWidget()->frame;
    EXPECT_DOUBLE_EQ(frame.width, TelemetryWidgetFrame::minWidth);
    EXPECT_DOUBLE_EQ(frame.height, TelemetryWidgetFrame::minHeight);
    EXPECT_DOUBLE_EQ(frame.x, before.x);
    EXPECT_DOUBLE_EQ(frame.y, before.y);
}

// The clip's first half: sky over a field. Its second half is red.
bool isLandscape(QRgb pixel) { return qGreen(pixel) > qRed(pixel) + 20; }
bool isRed(QRgb pixel) { return qRed(pixel) > 160 && qBlue(pixel) < 90; }

// A background video in the window. Playback runs to the end of the clip;
// the background then shows the first frame again, the one that belongs to
// the telemetry it shows (the segment start), in the model and on the screen.
// The background pans under the mouse. Writes the window at 1440 × 900 with
// the sample ride over the first frame and a selected widget to
// window-1440x900.png in the build folder (the README's picture is a copy of it).
TEST_F(ContentViewTest, BackgroundVideoUnderTheOverlay) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "no ffmpeg command";
    applyPacemarkStyle();  // the application's dark look, as main() sets it
    // In RGB rows: light blue above the horizon, green below.
    testing::TemporaryFolder folder;
    const auto clip = folder / "landscape.mp4";
    testing::makeTestMovie(clip,
                           "color=c=black:s=640x360:r=25,format=rgb24,"
                           "geq=r='if(lt(Y,170),110+Y/2,70-(Y-170)/8)':g='if(lt(Y,170),160+Y/3,120-(Y-170)/5)'"
                           ":b='if(lt(Y,170),235-Y/6,55-(Y-170)/10)',drawbox=c=red:t=fill:enable='gte(t,0.5)'",
                           1);
    model_->backgroundVideo().loadVideoBackground(clip);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->backgroundVideo().isLoadingVideo() && model_->backgroundVideo().videoBackgroundPlayer(); }, 20000));
    const auto modelPixel = [&] {
        const QImage image = currentBackgroundImage(model_->backgroundVideo());
        return image.isNull() ? QRgb(0) : image.pixel(image.width() / 2, image.height() / 2);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return isLandscape(modelPixel()); }, 5000));
    dropSampleRide();
    model_->exportSession().setStartOffsetSeconds(900);  // under way: every widget shows a value
    ASSERT_GE(model_->layoutEditor().overlayLayout().widgets.size(), 2u);
    model_->layoutEditor().setSelectedWidgetID(model_->layoutEditor().overlayLayout().widgets[1].id);
    QTest::qWait(300);  // the first frame, the page switch and the fitted sidebar settle

    window_->findChild<QScrollArea*>("sidebar")->verticalScrollBar()->setValue(0);  // the header in view
    const QImage picture = window_->grab().toImage();
    const auto file = std::filesystem::current_path() / "window-1440x900.png";
    EXPECT_TRUE(picture.save(QString::fromStdString(file.string()), "PNG", 0));  // smallest file
    EXPECT_GT(std::filesystem::file_size(file), 10'000u);

    // A pixel of the background near the canvas's top-left corner, where no
    // preset puts a widget.
    const auto shownPixel = [&] {
        const QRectF canvas = editor()->canvasRect();
        const QPoint point = (canvas.topLeft() + QPointF(canvas.width() * 0.04, canvas.height() * 0.06)).toPoint();
        return editor()->grab().toImage().pixel(point * editor()->devicePixelRatioF());
    };
    EXPECT_TRUE(isLandscape(shownPixel()));
    model_->backgroundVideo().playVideoPreview();
    // Past halfway, the player's position has reached the telemetry shown.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return isRed(modelPixel()) && model_->previewTelemetryElapsedSeconds() > 900; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->backgroundVideo().isVideoPreviewPlaying(); }, 10000));
    EXPECT_EQ(model_->previewTelemetryElapsedSeconds(), 900);
    EXPECT_TRUE(QTest::qWaitFor([&] { return isLandscape(modelPixel()); }, 2000));
    EXPECT_TRUE(isLandscape(shownPixel()));

    // A drag on empty canvas deselects and pans the background.
    const QRectF canvas = editor()->canvasRect();
    const QPointF empty = canvas.topLeft() + QPointF(3, 3);
    drag(editor(), empty, empty + QPointF(canvas.width() * 0.1, 0));
    EXPECT_FALSE(model_->layoutEditor().selectedWidgetID().has_value());
    EXPECT_GT(model_->backgroundVideo().videoBackgroundOffsetX(), 0);
    EXPECT_LT(model_->backgroundVideo().videoBackgroundOffsetX(), 1);
    EXPECT_EQ(model_->backgroundVideo().videoBackgroundOffsetY(), 0);
}

}  // namespace
}  // namespace pacemark
