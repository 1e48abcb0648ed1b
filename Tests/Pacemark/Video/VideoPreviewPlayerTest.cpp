// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoPreviewPlayer.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "VideoTestMovies.h"

namespace pacemark {
namespace {

class VideoPreviewPlayerTest : public ::testing::Test {
protected:
    // The player's signals are queued to the thread of an application object.
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "VideoPreviewPlayerTest";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }

    void SetUp() override {
        if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
        movie = folder / "clip.mp4";
        testing::makeTestMovie(movie, "testsrc=size=320x240:rate=25", 3);
    }

    // Waits until `spy` has recorded at least `count` signals. Generous: the
    // machine may be busy, but a signal that never comes fails.
    static bool waitFor(QSignalSpy& spy, int count) {
        return QTest::qWaitFor([&] { return spy.count() >= count; }, 10000);
    }

    static std::vector<double> positions(const QSignalSpy& spy) {
        std::vector<double> result;
        for (const auto& arguments : spy) result.push_back(arguments.at(0).toDouble());
        return result;
    }

    testing::TemporaryFolder folder;
    std::filesystem::path movie;
};

// Plays to the end, rewinds and plays again. Its pictures while
// playing and after a rewind are the window's ContentViewTest.
TEST_F(VideoPreviewPlayerTest, PlaybackReportsItsPositionToTheEnd) {
    auto player = std::make_unique<VideoPreviewPlayer>(movie);
    QSignalSpy positionSpy(player.get(), &VideoPreviewPlayer::positionChanged);
    QSignalSpy endSpy(player.get(), &VideoPreviewPlayer::playbackEnded);
    QSignalSpy failureSpy(player.get(), &VideoPreviewPlayer::playbackFailed);
    QSignalSpy frameSpy(player.get(), &VideoPreviewPlayer::frameChanged);
    ASSERT_TRUE(waitFor(frameSpy, 1));  // the first picture, before playback
    EXPECT_EQ(player->currentFrame()->width, 320);
    EXPECT_FALSE(player->isPlaying());
    player->play();
    EXPECT_TRUE(player->isPlaying());
    ASSERT_TRUE(waitFor(endSpy, 1));
    EXPECT_EQ(failureSpy.count(), 0);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_NEAR(player->durationSeconds(), 3.0, 0.05);

    const auto reported = positions(positionSpy);
    ASSERT_GE(reported.size(), 10U);
    EXPECT_DOUBLE_EQ(reported.back(), player->durationSeconds());
    EXPECT_LT(reported.front(), 0.3);
    EXPECT_EQ(std::adjacent_find(reported.begin(), reported.end(), std::greater_equal<>()), reported.end());
    EXPECT_NEAR(player->currentSeconds(), player->durationSeconds(), 1e-9);  // paused at the end

    // The rewind reports 0 at once and stays paused; playing on counts from zero.
    positionSpy.clear();
    player->seekToZero();
    EXPECT_EQ(player->currentSeconds(), 0);
    EXPECT_EQ(positions(positionSpy), std::vector<double>{0});
    EXPECT_FALSE(player->isPlaying());
    player->play();
    ASSERT_TRUE(waitFor(positionSpy, 4));
    EXPECT_LT(player->currentSeconds(), 1.5);  // counted from zero
    player.reset();  // must return: the worker leaves its wait for the clock
    QCoreApplication::processEvents();
}

TEST_F(VideoPreviewPlayerTest, UnreadableFileIsReportedWithoutBlocking) {
    testing::writeFileText(folder / "broken.mov", "not a movie");
    VideoPreviewPlayer player(folder / "broken.mov");
    QSignalSpy failureSpy(&player, &VideoPreviewPlayer::playbackFailed);
    ASSERT_TRUE(waitFor(failureSpy, 1));
    EXPECT_EQ(failureSpy.at(0).at(0).toString().toStdString(),
              "Не удалось открыть видео «broken.mov»: формат не распознан или файл повреждён.");
    EXPECT_FALSE(player.currentFrame());
    player.play();  // harmless without a picture
    player.seekToZero();
}


// A clip far beyond real-time decoding (large frames at a thousand frames a
// second) still changes its picture while it plays: the player shows its
// newest frame at least every 0.15 s instead of dropping every late one.
// Counted generously (a busy machine may miss a few), never one still frame.
TEST_F(VideoPreviewPlayerTest, PictureKeepsChangingWhenDecodingFallsBehind) {
    const auto fast = folder / "fast.mp4";
    testing::makeTestMovie(fast, "testsrc2=size=1920x1080:rate=1000", 1.5, "-r 1000 -g 1 -q:v 2");
    VideoPreviewPlayer player(fast);
    QSignalSpy frameSpy(&player, &VideoPreviewPlayer::frameChanged);
    QSignalSpy endSpy(&player, &VideoPreviewPlayer::playbackEnded);
    ASSERT_TRUE(waitFor(frameSpy, 1));
    QTest::qWait(100);
    std::vector<const MovieImage*> shown{player.currentFrame().get()};
    player.play();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const MovieImage* current = player.currentFrame().get();
            if (current != shown.back()) shown.push_back(current);
            return endSpy.count() > 0;
        },
        10000));
    // About 10 changes in 1.5 s at the slowest; a frozen player shows 1.
    EXPECT_GE(shown.size(), 4u);
}

}  // namespace
}  // namespace pacemark
