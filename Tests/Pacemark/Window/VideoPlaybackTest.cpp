#include <QScrollArea>
#include <QScrollBar>

#include "DesktopPlatform.h"
#include "PreviewPainting.h"
#include "VideoBackgroundOnlyPreview.h"
#include "VideoTestMovies.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

using VideoPlaybackTest = testing::WindowTest;

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// The clip's first half: sky over a field. Its second half is red.
bool isLandscape(QRgb pixel) { return qGreen(pixel) > qRed(pixel) + 20; }
bool isRed(QRgb pixel) { return qRed(pixel) > 160 && qBlue(pixel) < 90; }

// A background video in the window. A frame-ready signal of its player
// repaints the video-only page, and then the editor, without waiting for a
// position tick. The sidebar is wide enough for the video row. Playback runs
// to the end of the clip; the background then shows the first frame again,
// the one that belongs to the telemetry it shows (the segment start), in the
// model and on the screen. Writes the window at 1440 × 900 with the sample
// ride over the first frame and a selected widget to window-1440x900.png in
// the build folder (the README's picture is a copy of it).
TEST_F(VideoPlaybackTest, BackgroundVideoRepaintsFitsTheSidebarAndEndsOnTheFrameOfTheSegmentStart) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "no ffmpeg command";
    applyPacemarkStyle();  // the application's dark look, as main() sets it
    EXPECT_GE(window_->minimumWidth(), 1120);
    EXPECT_GE(window_->minimumHeight(), 720);
    // In RGB rows: light blue above the horizon, green below.
    testing::TemporaryFolder folder;
    const auto clip = folder / "landscape.mp4";
    testing::makeTestMovie(clip,
                           "color=c=black:s=640x360:r=25,format=rgb24,"
                           "geq=r='if(lt(Y,170),110+Y/2,70-(Y-170)/8)':g='if(lt(Y,170),160+Y/3,120-(Y-170)/5)'"
                           ":b='if(lt(Y,170),235-Y/6,55-(Y-170)/10)',drawbox=c=red:t=fill:enable='gte(t,0.5)'",
                           1);
    model_->loadVideoBackground(clip);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isLoadingVideo() && model_->videoBackgroundPlayer(); }, 20000));
    const auto modelPixel = [&] {
        const QImage image = currentBackgroundImage(*model_);
        return image.isNull() ? QRgb(0) : image.pixel(image.width() / 2, image.height() / 2);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return isLandscape(modelPixel()); }, 5000));
    const auto paintsOnFrameReady = [&](QWidget* view) {
        QTest::qWait(300);  // the first frame, the page switch and the fitted sidebar settle
        PaintCounter counter;
        view->installEventFilter(&counter);
        emit model_->videoBackgroundPlayer()->frameChanged();
        QTest::qWait(50);
        return counter.paints;
    };
    EXPECT_GT(paintsOnFrameReady(window_->findChild<VideoBackgroundOnlyPreview*>()), 0);
    dropSampleRide();
    model_->setExportStartSeconds(900);  // under way: every widget shows a value
    ASSERT_GE(model_->overlayLayout().widgets.size(), 2u);
    model_->setSelectedWidgetID(model_->overlayLayout().widgets[1].id);
    EXPECT_GT(paintsOnFrameReady(editor()), 0);

    auto* sidebar = window_->findChild<QScrollArea*>("sidebar");
    sidebar->verticalScrollBar()->setValue(0);  // the header and the action buttons in view
    QPushButton* synchronize = button(QStringLiteral("Синхр."));
    ASSERT_TRUE(synchronize && synchronize->isVisible());
    EXPECT_LE(synchronize->mapTo(sidebar->viewport(), QPoint(synchronize->width(), 0)).x(),
              sidebar->viewport()->width());
    const QImage picture = window_->grab().toImage();
    EXPECT_EQ(picture.size(), QSize(1440, 900) * window_->devicePixelRatioF());
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
    model_->playVideoPreview();
    ASSERT_TRUE(QTest::qWaitFor([&] { return isRed(modelPixel()); }, 5000));  // past halfway
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isVideoPreviewPlaying(); }, 10000));
    EXPECT_EQ(model_->previewTelemetryElapsedSeconds(), 900);
    EXPECT_TRUE(QTest::qWaitFor([&] { return isLandscape(modelPixel()); }, 2000));
    EXPECT_TRUE(isLandscape(shownPixel()));
    // It stays there: nothing of the old run arrives late.
    QTest::qWait(300);
    EXPECT_TRUE(isLandscape(modelPixel()));
    EXPECT_TRUE(isLandscape(shownPixel()));
}

}  // namespace
}  // namespace pacemark
