#include "PreviewPainting.h"
#include "VideoBackgroundOnlyPreview.h"
#include "VideoTestMovies.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

// A player whose frames the test announces, as the decoder would.
class AnnouncingPlayer : public VideoBackgroundPlayer {
public:
    void play() override {}
    void pause() override {}
    void seekToStart() override {}
};

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

// A frame-ready signal of the background player repaints both the video-only
// page and the editor, without waiting for a position tick.
TEST(PreviewRepaintTest, FrameReadySignalRepaintsThePreviews) {
    testing::application();
    std::shared_ptr<AnnouncingPlayer> player;
    AppModelServices services;
    services.readVideoStillFrame = [](const std::filesystem::path&, std::stop_token) {
        return VideoBackgroundImage{2, 2, std::vector<std::uint8_t>(16, 0xFF)};
    };
    services.makeVideoPlayer = [&player](const std::filesystem::path&) {
        player = std::make_shared<AnnouncingPlayer>();
        return player;
    };
    AppModel model{std::move(services)};
    VideoBackgroundOnlyPreview videoOnly(model);
    EditorPreviewView editor(model, std::make_shared<const CairoDrawingSurfaceFactory>());
    for (QWidget* view : {static_cast<QWidget*>(&videoOnly), static_cast<QWidget*>(&editor)}) {
        view->resize(640, 360);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    }
    model.loadVideoBackground("clip.mp4");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isLoadingVideo() && model.videoBackgroundPlayer(); }, 20000));
    QTest::qWait(50);

    PaintCounter videoOnlyPaints;
    PaintCounter editorPaints;
    videoOnly.installEventFilter(&videoOnlyPaints);
    editor.installEventFilter(&editorPaints);
    emit player->frameChanged();
    QTest::qWait(50);
    EXPECT_GT(videoOnlyPaints.paints, 0);
    EXPECT_GT(editorPaints.paints, 0);
}

using VideoPlaybackTest = testing::WindowTest;

bool isRed(QRgb pixel) { return qRed(pixel) > 160 && qBlue(pixel) < 90; }

// Playback runs to the end of a clip that turns from red to blue halfway; the
// background then shows the first frame again, the one that belongs to the
// telemetry it shows (the segment start), in the model and on the screen.
TEST_F(VideoPlaybackTest, PlaybackEndShowsTheFrameOfTheSegmentStart) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "no ffmpeg command";
    testing::TemporaryFolder folder;
    const auto clip = folder / "red then blue.mp4";
    testing::makeTestMovie(clip, "color=c=red:s=160x90:r=25,drawbox=c=blue:t=fill:enable='gte(t,0.5)'", 1);
    dropSampleRide();
    model_->setExportStartSeconds(60);
    model_->loadVideoBackground(clip);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isLoadingVideo() && model_->videoBackgroundPlayer(); }, 20000));

    // A pixel of the background near the canvas's top-left corner, where no
    // preset puts a widget.
    const auto shownPixel = [&] {
        const QRectF canvas = editor()->canvasRect();
        const QPoint point = (canvas.topLeft() + QPointF(canvas.width() * 0.04, canvas.height() * 0.06)).toPoint();
        return editor()->grab().toImage().pixel(point * editor()->devicePixelRatioF());
    };
    const auto modelPixel = [&] {
        const QImage image = currentBackgroundImage(*model_);
        return image.isNull() ? QRgb(0) : image.pixel(image.width() / 2, image.height() / 2);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return isRed(modelPixel()); }, 5000));
    EXPECT_TRUE(isRed(shownPixel()));

    model_->playVideoPreview();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !isRed(modelPixel()); }, 5000));  // past halfway: blue
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isVideoPreviewPlaying(); }, 10000));
    EXPECT_EQ(model_->videoPreviewElapsedSeconds(), 0);
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
