#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <memory>

#include "AppModel.h"
#include "CairoDrawingSurface.h"
#include "EditorPreviewView.h"
#include "VideoBackgroundOnlyPreview.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

using testing::application;

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
TEST(VideoPlaybackTest, FrameReadySignalRepaintsThePreviews) {
    application();
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

}  // namespace
}  // namespace pacemark
