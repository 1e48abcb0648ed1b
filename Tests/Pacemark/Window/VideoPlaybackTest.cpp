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

bool isRed(QRgb pixel) { return qRed(pixel) > 160 && qBlue(pixel) < 90; }

// A frame-ready signal of the background player repaints the video-only page
// and then the editor without waiting for a position tick. Playback runs to the
// end of a clip that turns from red to blue halfway; the background then shows
// the first frame again, the one that belongs to the telemetry it shows (the
// segment start), in the model and on the screen.
TEST_F(VideoPlaybackTest, FramesRepaintThePreviewsAndPlaybackEndShowsTheFrameOfTheSegmentStart) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "no ffmpeg command";
    testing::TemporaryFolder folder;
    const auto clip = folder / "red then blue.mp4";
    testing::makeTestMovie(clip, "color=c=red:s=160x90:r=25,drawbox=c=blue:t=fill:enable='gte(t,0.5)'", 1);
    model_->loadVideoBackground(clip);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isLoadingVideo() && model_->videoBackgroundPlayer(); }, 20000));
    const auto modelPixel = [&] {
        const QImage image = currentBackgroundImage(*model_);
        return image.isNull() ? QRgb(0) : image.pixel(image.width() / 2, image.height() / 2);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return isRed(modelPixel()); }, 5000));
    const auto paintsOnFrameReady = [&](QWidget* view) {
        QTest::qWait(100);  // the first frame and the page switch settle
        PaintCounter counter;
        view->installEventFilter(&counter);
        emit model_->videoBackgroundPlayer()->frameChanged();
        QTest::qWait(50);
        return counter.paints;
    };
    EXPECT_GT(paintsOnFrameReady(window_->findChild<VideoBackgroundOnlyPreview*>()), 0);
    dropSampleRide();
    model_->setExportStartSeconds(60);
    EXPECT_GT(paintsOnFrameReady(editor()), 0);

    // A pixel of the background near the canvas's top-left corner, where no
    // preset puts a widget.
    const auto shownPixel = [&] {
        const QRectF canvas = editor()->canvasRect();
        const QPoint point = (canvas.topLeft() + QPointF(canvas.width() * 0.04, canvas.height() * 0.06)).toPoint();
        return editor()->grab().toImage().pixel(point * editor()->devicePixelRatioF());
    };
    EXPECT_TRUE(isRed(shownPixel()));
    model_->playVideoPreview();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !isRed(modelPixel()); }, 5000));  // past halfway: blue
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isVideoPreviewPlaying(); }, 10000));
    EXPECT_EQ(model_->previewTelemetryElapsedSeconds(), 60);
    EXPECT_TRUE(QTest::qWaitFor([&] { return isRed(modelPixel()); }, 2000));
    EXPECT_TRUE(isRed(shownPixel()));
    // It stays there: nothing of the old run arrives late.
    QTest::qWait(300);
    EXPECT_TRUE(isRed(modelPixel()));
    EXPECT_TRUE(isRed(shownPixel()));
}

}  // namespace
}  // namespace pacemark
