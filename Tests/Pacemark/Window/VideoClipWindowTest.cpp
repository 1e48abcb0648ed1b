// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "Export/TelemetryVideoExporter.h"
#include "PlatformMovieWriters.h"
#include "VideoTestMovies.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

// Several generated clips in the window over a generated ride, read, placed
// and exported with the real services, exporter and writers. The export of
// "second-telemetry.mov" waits after its first frames until the batch is
// stopped, so the test stops it half-way every time.
class VideoClipWindowTest : public testing::WindowTest {
protected:
    void addServices(AppModelServices& services) override {
        const auto surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
        auto real = makeAppModelServices(platformMovieWriters(), TelemetryVideoExporter::layoutFrameRenderers(surfaces))
                        .exportMovie;
        services.exportMovie = [this, real](std::shared_ptr<const TelemetryActivity> activity,
                                            const TelemetryRenderConfig& config,
                                            const std::function<void(double)>& progress, std::stop_token stop) {
            const bool hold = config.outputFile.filename() == "second-telemetry.mov";
            real(activity, config,
                 [&, hold](double fraction) {
                     progress(fraction);
                     if (!hold) return;
                     held_ = true;
                     while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
                 },
                 stop);
        };
    }

    // A 200-second ride and three one-second clips recorded 50, 100 and 150 s
    // into it, all dropped on the window at once.
    void dropRideAndClips() {
        testing::writeFileBytes(folder_ / "ride.fit", testing::fitActivityBytes(200));
        QList<QUrl> urls = {QUrl::fromLocalFile(QString::fromStdString((folder_ / "ride.fit").string()))};
        const std::vector<std::pair<std::string, std::string>> clips = {
            {"first.mp4", "+45.0000+007.0050/"}, {"second.mp4", "+45.0000+007.0100/"}, {"third.mp4", "+45.0000+007.0150/"}};
        for (const auto& [name, location] : clips) {
            testing::makeTestMovie(folder_ / name, "testsrc=size=160x90:rate=25", 1, "-metadata location=" + location);
            urls.push_back(QUrl::fromLocalFile(QString::fromStdString((folder_ / name).string())));
        }
        ASSERT_TRUE(window_->dropURLs(urls));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return model_->loadedActivity().activity() && !model_->videoClips().isReadingClips() &&
                       !model_->backgroundVideo().isLoadingVideo();
            },
            20000));
    }

    testing::TemporaryFolder folder_;
    std::atomic<bool> held_ = false;
};

// The background clip (the first one) is synchronized through the real
// services by the location it was recorded at.
TEST_F(VideoClipWindowTest, BackgroundClipSynchronizesByItsLocation) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "no ffmpeg command";
    dropRideAndClips();
    model_->backgroundVideo().synchronizeVideoWithTelemetry();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->backgroundVideo().isSynchronizingVideo(); }, 20000));
    EXPECT_EQ(model_->exportSession().startOffsetSeconds(), 50);
}

// "Сделать MOV для клипов" into the chosen folder, "Стоп" while the second
// clip's overlay is being written: the first movie stays, the second's
// partial file goes, the third is never started.
TEST_F(VideoClipWindowTest, StoppedBatchLeavesOnlyTheFinishedMovies) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "no ffmpeg command";
    dropRideAndClips();
    auto expected = testing::filesIn(folder_.path());
    expected.push_back("first-telemetry.mov");
    std::ranges::sort(expected);
    platform_.folderAnswer = folder_.path();
    QPushButton* exportClips = button(QStringLiteral("Сделать MOV для клипов"));
    ASSERT_TRUE(exportClips && exportClips->isVisible() && exportClips->isEnabled());
    exportClips->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return held_.load(); }, 60000));
    // The second movie is under way beside the finished first one.
    EXPECT_EQ(testing::filesIn(folder_.path()).size(), expected.size() + 1);
    QPushButton* stop = button(QStringLiteral("Стоп"));
    ASSERT_TRUE(stop && stop->isVisible());
    stop->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->exportSession().isExporting(); }, 20000));

    EXPECT_EQ(testing::filesIn(folder_.path()), expected);
    EXPECT_EQ(model_->status().statusText(), QStringLiteral("Экспорт остановлен: готово 1 из 3 клипов."));
}

}  // namespace
}  // namespace pacemark
