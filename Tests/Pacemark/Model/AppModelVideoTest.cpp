// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QThreadPool>

#include "AppModelTestSupport.h"

namespace pacemark {
namespace {

using namespace testing;
using Calls = std::vector<std::string>;

class AppModelVideoTest : public ::testing::Test {
protected:
    // Fakes: the still frame's width is the file name's length (telling which
    // open it came from), "broken*" files fail, the file (or "metadata") named
    // `heldName` is held at `gate`, and reads that were asked to stop are counted.
    AppModelServices services() {
        AppModelServices result;
        result.loadTelemetry = [this](const std::filesystem::path&, std::stop_token) { return activity; };
        result.readVideoStillFrame = [this](const std::filesystem::path& file, std::stop_token stop) {
            const std::string name = file.filename().string();
            hold(name, stop);
            if (name.starts_with("broken")) throw PacemarkError("Файл «" + name + "» не читается как видео.");
            return VideoBackgroundImage{static_cast<std::int64_t>(name.size()), 1, {}};
        };
        result.makeVideoPlayer = [this](const std::filesystem::path&) {
            return players.emplace_back(std::make_shared<FakeVideoPlayer>());
        };
        result.readVideoMetadata = [this](const std::filesystem::path&, std::stop_token stop) {
            hold("metadata", stop);
            if (metadataFailure) throw PacemarkError(*metadataFailure);
            return metadata;
        };
        // Records its request and plays the part of the encoder: half done, then done.
        result.burnInClip = [this](const ClipBurnInRequest& request, const std::function<void(double)>& progress,
                                   std::stop_token) {
            burnInRequests.push_back(request);
            progress(0.5);
            progress(1);
        };
        return result;
    }
    void hold(const std::string& name, const std::stop_token& stop) {
        if (name == heldName) gate->waitOpen();
        if (stop.stop_requested()) ++readsStopped;
    }
    // Starts `operation`, which reaches the gate at `name`, and waits until it is held there.
    void startHeld(const std::string& name, const std::function<void()>& operation) {
        gate = std::make_shared<Gate>();
        heldName = name;
        operation();
        ASSERT_TRUE(waitUntil([&] { return gate->isWaiting(); }));
    }
    // Opens the gate, lets the workers finish and delivers what they queued.
    void release() {
        gate->open();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        heldName.clear();
    }
    static void openVideo(AppModel& model, const std::filesystem::path& file) {
        model.backgroundVideo().loadVideoBackground(file);
        ASSERT_TRUE(waitUntil([&] { return !model.backgroundVideo().isLoadingVideo(); }));
    }

    TelemetryActivity activity = makeActivity(2000);
    std::string heldName;
    std::shared_ptr<Gate> gate;
    std::vector<std::shared_ptr<FakeVideoPlayer>> players;
    std::vector<VideoMetadataItem> metadata;
    std::optional<std::string> metadataFailure;
    std::atomic<int> readsStopped = 0;
    std::vector<ClipBurnInRequest> burnInRequests;
};

// Only the latest open is shown; a failed one is an alert and leaves no video.
TEST_F(AppModelVideoTest, OnlyTheLatestVideoOpenIsShown) {
    AppModel model{services()};
    openVideo(model, "/videos/clip.mp4");
    EXPECT_EQ(model.backgroundVideo().videoBackgroundFile(), std::filesystem::path("/videos/clip.mp4"));
    EXPECT_EQ(model.backgroundVideo().videoBackgroundPlayer(), players.at(0));
    EXPECT_EQ(players[0]->calls, Calls{});  // paused at the start
    openVideo(model, "other.MOV");
    EXPECT_EQ(players[0]->calls, Calls{"pause"});  // the replaced player does not play on unseen

    openVideo(model, "broken.mp4");
    EXPECT_EQ(model.status().errorMessage(), "Файл «broken.mp4» не читается как видео.");
    EXPECT_FALSE(model.backgroundVideo().videoBackgroundFile());
    EXPECT_EQ(model.backgroundVideo().videoBackgroundImage(), nullptr);
    EXPECT_EQ(model.backgroundVideo().videoBackgroundPlayer(), nullptr);

    // A later open drops a pending open.
    startHeld("first.mp4", [&] { model.backgroundVideo().loadVideoBackground("first.mp4"); });
    openVideo(model, "second.mp4");
    release();
    EXPECT_EQ(model.backgroundVideo().videoBackgroundImage()->width, 10);
    EXPECT_EQ(players.size(), 3u);  // no player for the dropped open
    EXPECT_EQ(readsStopped, 1);  // the superseded read was told to give up
}

// The preview shows the telemetry 42 % into the segment, or where the
// video's position from the segment start is.
TEST_F(AppModelVideoTest, PreviewTimeFollowsTheCurrentPlayer) {
    activity = makeActivity(1000);
    AppModel model{services()};
    ASSERT_TRUE(loadAndWait(model, "long.fit"));
    model.exportSession().setStartOffsetSeconds(100);
    model.exportSession().setExportEndSeconds(200);
    EXPECT_DOUBLE_EQ(model.previewTelemetryElapsedSeconds(), 142);
    openVideo(model, "clip.mp4");
    FakeVideoPlayer& first = *players[0];

    model.backgroundVideo().toggleVideoPreviewPlayback();
    EXPECT_TRUE(model.backgroundVideo().isVideoPreviewPlaying());
    emit first.positionChanged(2.5);
    emit first.positionChanged(std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(model.previewTelemetryElapsedSeconds(), 102.5);

    // The replaced player's signals are no longer heard. (The end of playback
    // is the window's ContentViewTest, over a real clip.)
    openVideo(model, "next.mp4");
    model.backgroundVideo().playVideoPreview();
    emit first.positionChanged(7);
    emit first.playbackFailed(QStringLiteral("stale"));
    EXPECT_EQ(model.backgroundVideo().videoPreviewElapsedSeconds(), 0);
    EXPECT_TRUE(model.backgroundVideo().isVideoPreviewPlaying());
    EXPECT_FALSE(model.status().errorMessage());

    emit players[1]->playbackFailed(QStringLiteral("Видео не воспроизводится."));
    EXPECT_FALSE(model.backgroundVideo().isVideoPreviewPlaying());
    EXPECT_EQ(model.status().errorMessage(), "Видео не воспроизводится.");
}

// Which match wins and which text it shows is the core's
// (VideoSynchronizationTest); here: the model applies a match to the segment,
// a newer video or ride drops a match still being looked for, and a failure
// leaves the segment alone.
TEST_F(AppModelVideoTest, SynchronizationMovesTheSegmentOnlyForACurrentMatch) {
    AppModel model{services()};
    model.backgroundVideo().synchronizeVideoWithTelemetry();
    EXPECT_EQ(model.status().errorMessage(), "Сначала загрузи FIT или GPX.");
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    openVideo(model, "clip.mp4");
    model.exportSession().setStartOffsetSeconds(600);
    model.exportSession().setExportEndSeconds(900);
    model.backgroundVideo().setVideoPreviewElapsedSeconds(12);

    metadata = {{"format/location", "location", "+45.0000+007.1000/"}};  // second 1000
    startHeld("metadata", [&] { model.backgroundVideo().synchronizeVideoWithTelemetry(); });
    model.backgroundVideo().synchronizeVideoWithTelemetry();  // already running: not started again (see readsStopped)
    release();
    EXPECT_FALSE(model.backgroundVideo().isSynchronizingVideo());
    EXPECT_EQ(model.status().statusText(), "Синхронизировано по GPS видео: старт 16:40, ближайшая точка 0 м.");
    EXPECT_EQ(model.exportSession().startOffsetSeconds(), 1000);
    EXPECT_EQ(model.exportSession().exportEndSeconds(), 1300);
    EXPECT_EQ(model.backgroundVideo().videoPreviewElapsedSeconds(), 0);
    EXPECT_EQ(players[0]->calls, Calls{"seek"});

    // A newer video or ride drops a match still being looked for.
    metadata = {{"format/location", "location", "+45.0000+007.1500/"}};  // second 1500
    const std::function<void()> replacements[] = {[&] { model.backgroundVideo().loadVideoBackground("clip.mp4"); },
                                                  [&] { model.load("again.fit"); }};
    for (const auto& replace : replacements) {
        openVideo(model, "clip.mp4");
        startHeld("metadata", [&] { model.backgroundVideo().synchronizeVideoWithTelemetry(); });
        replace();
        EXPECT_FALSE(model.backgroundVideo().isSynchronizingVideo());  // the command is available again at once
        release();
        EXPECT_NE(model.exportSession().startOffsetSeconds(), 1500);  // the late match is dropped
    }
    EXPECT_EQ(readsStopped, 2);  // the replaced reads, and no restarted one

    // A failed read is an alert and leaves the segment and the preview alone.
    metadataFailure = "Файл «clip.mp4» повреждён.";
    openVideo(model, "clip.mp4");
    model.exportSession().setStartOffsetSeconds(10);
    model.backgroundVideo().setVideoPreviewElapsedSeconds(3);
    model.backgroundVideo().synchronizeVideoWithTelemetry();
    ASSERT_TRUE(waitUntil([&] { return !model.backgroundVideo().isSynchronizingVideo(); }));
    EXPECT_EQ(model.status().statusText(), "Синхронизация не удалась.");
    EXPECT_EQ(model.status().errorMessage(), QStringLiteral("Файл «clip.mp4» повреждён."));
    EXPECT_EQ(model.exportSession().startOffsetSeconds(), 10);
    EXPECT_EQ(model.backgroundVideo().videoPreviewElapsedSeconds(), 3);
}

// A 10× timelapse whose camera clock starts 500.4 s into the ride, placed on
// opening: the segment starts at 500 and the rate is kept for the video row.
TEST_F(AppModelVideoTest, CameraClockPlacesTheClipAtItsRate) {
    ClipSynchronizationInput clip;
    clip.durationSeconds = 10;
    CameraGPSDevice& device = clip.cameraGPS.devices.emplace_back();
    for (int i = 0; i < 100; ++i) {
        const auto utc = *activity.samples.front().timestamp + std::chrono::milliseconds(500'400 + i * 1000);
        device.gps9.push_back({45.0, 7.0 + (500.4 + i) * 0.0001, 0, 0, 0, 3, 150, utc, i * 0.1, 0});
    }
    AppModelServices withCamera = services();
    withCamera.readClipSynchronization = [clip](const std::filesystem::path&, std::stop_token) { return clip; };
    AppModel model{withCamera};
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    // Opening places it at once.
    openVideo(model, "timelapse.mp4");
    ASSERT_TRUE(waitUntil([&] { return !model.backgroundVideo().isSynchronizingVideo(); }));
    EXPECT_EQ(model.exportSession().startOffsetSeconds(), 500);
    EXPECT_NEAR(model.backgroundVideo().videoClipRate(), 10, 1e-6);
    EXPECT_TRUE(model.status().statusText().startsWith("Синхронизировано по GPS камеры: старт 08:20.4"))
        << model.status().statusText().toStdString();
    // Another clip starts again at real time until it is synchronized.
    model.backgroundVideo().loadVideoBackground("other.mp4");
    EXPECT_EQ(model.backgroundVideo().videoClipRate(), 1);
}

// The finished video of the background clip, through the fake burn-in above.
using AppModelBurnInTest = AppModelVideoTest;

TEST_F(AppModelBurnInTest, FinishedVideoOfTheClipGoesBesideItFromTheSegmentStart) {
    AppModel model{services()};
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    openVideo(model, "/clips/GX010001.MP4");
    model.exportSession().setStartOffsetSeconds(120);
    model.backgroundVideo().burnInVideo();
    EXPECT_TRUE(model.exportSession().isExporting());
    EXPECT_EQ(model.status().statusText(), "Создаю GX010001-pacemark.mp4 с видео...");
    ASSERT_TRUE(waitUntil([&] { return !model.exportSession().isExporting(); }));
    ASSERT_EQ(burnInRequests.size(), 1u);
    EXPECT_EQ(burnInRequests[0].clip, std::filesystem::path("/clips/GX010001.MP4"));
    EXPECT_EQ(burnInRequests[0].outputFile, std::filesystem::path("/clips/GX010001-pacemark.mp4"));
    EXPECT_EQ(burnInRequests[0].timing, (ClipOverlayTiming{120, 1}));
    EXPECT_EQ(burnInRequests[0].layout, model.layoutEditor().overlayLayout());
    EXPECT_EQ(model.exportSession().lastOutputFile(), std::filesystem::path("/clips/GX010001-pacemark.mp4"));
    EXPECT_EQ(model.status().statusText(), "Готово: GX010001-pacemark.mp4");
}

}  // namespace
}  // namespace pacemark
