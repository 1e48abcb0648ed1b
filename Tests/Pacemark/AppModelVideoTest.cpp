#include <gtest/gtest.h>

#include <QThreadPool>

#include <atomic>
#include <map>

#include "AppModelTestSupport.h"
#include "AppModelVideoServices.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "Telemetry/TelemetryTime.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using testing::FakeVideoPlayer;
using testing::Gate;
using testing::waitUntil;

const TelemetryTimestamp rideStart = *parseISO8601InternetDateTime("2024-05-01T09:00:00Z");

// One sample a second (and one at each of `extraSeconds`), moving east along
// latitude 45 by 0.0001° a second, so the position tells the second.
TelemetryActivity ride(double durationSeconds, bool positions = true, bool timestamps = true,
                       std::vector<double> extraSeconds = {}) {
    std::vector<TelemetrySample> samples;
    const auto add = [&](double t) {
        TelemetrySample sample;
        sample.elapsed = t;
        if (timestamps) sample.timestamp = rideStart + std::chrono::microseconds(std::llround(t * 1e6));
        if (positions) {
            sample.latitude = 45.0;
            sample.longitude = 7.0 + t * 0.0001;
        }
        samples.push_back(sample);
    };
    for (double t = 0; t <= durationSeconds; t += 1) add(t);
    for (double t : extraSeconds) add(t);
    return TelemetryActivity(std::nullopt, std::move(samples));
}

VideoMetadataItem locationItem(const std::string& iso6709) { return {"format/location", "location", iso6709}; }
VideoMetadataItem dateItem(const std::string& date) { return {"format/creation_time", "creation_time", date}; }

class AppModelVideoTest : public ::testing::Test {
protected:
    // Fake video services: a still frame whose width is the file name's
    // length (so it tells which open it came from), a FakeVideoPlayer, and
    // `metadata` (or `metadataFailure`). A file named in `gates` is held there.
    AppModelServices services() {
        AppModelServices result;
        result.loadTelemetry = [this](const std::filesystem::path&) { return activity; };
        result.readVideoStillFrame = [this](const std::filesystem::path& url, std::stop_token stop) {
            if (const auto gate = gates.find(url.filename().string()); gate != gates.end()) gate->second->waitOpen();
            if (stop.stop_requested()) ++readsStopped;
            const std::string name = url.filename().string();
            if (name.starts_with("broken")) throw PacemarkError("Файл «" + name + "» не читается как видео.");
            return VideoBackgroundImage{static_cast<std::int64_t>(name.size()), 1, {}};
        };
        result.makeVideoPlayer = [this](const std::filesystem::path&) {
            players.push_back(std::make_shared<FakeVideoPlayer>());
            return players.back();
        };
        result.readVideoMetadata = [this](const std::filesystem::path&, std::stop_token stop) {
            ++metadataReads;
            if (const auto gate = gates.find("metadata"); gate != gates.end()) gate->second->waitOpen();
            if (stop.stop_requested()) ++readsStopped;
            if (metadataFailure) throw PacemarkError(*metadataFailure);
            return metadata;
        };
        return result;
    }

    void loadActivity(AppModel& model) {
        model.load("ride.fit");
        ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    }
    void openVideo(AppModel& model, const std::filesystem::path& url) {
        model.loadVideoBackground(url);
        ASSERT_TRUE(waitUntil([&] { return !model.isLoadingVideo(); }));
    }
    void synchronize(AppModel& model) {
        model.synchronizeVideoWithTelemetry();
        ASSERT_TRUE(waitUntil([&] { return !model.isSynchronizingVideo(); }));
    }
    // Lets every worker finish and delivers what they queued, so a result
    // that should be dropped has had its chance to arrive.
    static void drainWorkers() {
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
    }

    TelemetryActivity activity = ride(2000);
    std::map<std::string, std::shared_ptr<Gate>> gates;
    std::vector<std::shared_ptr<FakeVideoPlayer>> players;
    std::vector<VideoMetadataItem> metadata;
    std::optional<std::string> metadataFailure;
    std::atomic<int> metadataReads = 0;
    std::atomic<int> readsStopped = 0;
};

TEST_F(AppModelVideoTest, OpeningShowsProgressThenAStillFrameAndAPausedPlayer) {
    gates["clip.mp4"] = std::make_shared<Gate>();
    AppModel model{services()};
    model.setVideoBackgroundScale(2);
    model.setVideoBackgroundOffsetX(0.3);
    model.setErrorMessage(QStringLiteral("old"));
    model.loadVideoBackground("/videos/clip.mp4");

    EXPECT_TRUE(model.isLoadingVideo());
    EXPECT_EQ(model.videoBackgroundName(), "clip.mp4");
    EXPECT_EQ(model.statusText(), "Загружаю видео-подложку clip.mp4...");
    EXPECT_FALSE(model.errorMessage());
    EXPECT_EQ(model.videoBackgroundScale(), 1.0);
    EXPECT_EQ(model.videoBackgroundOffsetX(), 0.0);
    EXPECT_FALSE(model.videoBackgroundURL());

    gates["clip.mp4"]->open();
    ASSERT_TRUE(waitUntil([&] { return !model.isLoadingVideo(); }));
    EXPECT_EQ(model.videoBackgroundURL(), std::filesystem::path("/videos/clip.mp4"));
    ASSERT_NE(model.videoBackgroundImage(), nullptr);
    EXPECT_EQ(model.videoBackgroundImage()->width, 8);
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(model.videoBackgroundPlayer(), players[0]);
    EXPECT_TRUE(players[0]->calls.empty());  // not started
    EXPECT_EQ(model.statusText(), "Видео-подложка загружена. Добавь FIT или GPX.");

    loadActivity(model);
    openVideo(model, "other.MOV");
    EXPECT_EQ(model.statusText(), "Видео-подложка загружена: other.MOV");
    EXPECT_EQ(players[0]->calls, std::vector<std::string>{"pause"});  // the replaced player is stopped
}

TEST_F(AppModelVideoTest, AFailedOpenKeepsTheNameAndShowsTheReadersText) {
    AppModel model{services()};
    openVideo(model, "clip.mp4");
    model.playVideoPreview();
    openVideo(model, "broken.mp4");
    EXPECT_EQ(model.statusText(), "Не удалось загрузить видео-подложку.");
    EXPECT_EQ(model.errorMessage(), "Файл «broken.mp4» не читается как видео.");
    EXPECT_EQ(model.videoBackgroundName(), "broken.mp4");
    EXPECT_FALSE(model.videoBackgroundURL());
    EXPECT_EQ(model.videoBackgroundImage(), nullptr);
    EXPECT_EQ(model.videoBackgroundPlayer(), nullptr);
    EXPECT_FALSE(model.isVideoPreviewPlaying());
}

TEST_F(AppModelVideoTest, ALaterOpenOrAClearDropsAPendingOpen) {
    gates["first.mp4"] = std::make_shared<Gate>();
    gates["third.mp4"] = std::make_shared<Gate>();
    AppModel model{services()};
    model.loadVideoBackground("first.mp4");
    ASSERT_TRUE(waitUntil([&] { return gates["first.mp4"]->isWaiting(); }));
    openVideo(model, "second.mp4");
    gates["first.mp4"]->open();
    drainWorkers();
    EXPECT_EQ(model.videoBackgroundURL(), std::filesystem::path("second.mp4"));
    EXPECT_EQ(model.videoBackgroundImage()->width, 10);
    EXPECT_EQ(model.statusText(), "Видео-подложка загружена. Добавь FIT или GPX.");
    EXPECT_EQ(players.size(), 1u);  // no player is made for the dropped open

    model.setVideoBackgroundScale(3);
    model.loadVideoBackground("third.mp4");
    ASSERT_TRUE(waitUntil([&] { return gates["third.mp4"]->isWaiting(); }));
    model.clearVideoBackground();
    EXPECT_FALSE(model.isLoadingVideo());
    EXPECT_EQ(model.videoBackgroundName(), "Видео не выбрано");
    EXPECT_EQ(model.videoBackgroundScale(), 1.0);
    gates["third.mp4"]->open();
    drainWorkers();
    EXPECT_FALSE(model.videoBackgroundURL());
    EXPECT_EQ(model.videoBackgroundImage(), nullptr);
    EXPECT_EQ(players.size(), 1u);
    EXPECT_EQ(readsStopped, 2);  // both superseded reads were asked to give up
}

TEST_F(AppModelVideoTest, PlaybackCommandsDriveThePlayer) {
    AppModel model{services()};
    model.playVideoPreview();  // nothing to play yet
    EXPECT_FALSE(model.isVideoPreviewPlaying());
    openVideo(model, "clip.mp4");
    FakeVideoPlayer& player = *players[0];

    model.toggleVideoPreviewPlayback();
    EXPECT_TRUE(model.isVideoPreviewPlaying());
    emit player.positionChanged(4);
    model.restartVideoPreview();  // keeps playing from the start
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);
    model.toggleVideoPreviewPlayback();
    EXPECT_FALSE(model.isVideoPreviewPlaying());
    model.restartVideoPreview();  // stays paused
    EXPECT_EQ(player.calls, (std::vector<std::string>{"play", "seek", "play", "pause", "seek"}));

    model.playVideoPreview();
    model.clearVideoBackground();
    EXPECT_FALSE(model.isVideoPreviewPlaying());
    EXPECT_EQ(player.calls.back(), "pause");
}

TEST_F(AppModelVideoTest, ObserversFollowOnlyTheCurrentPlayer) {
    AppModel model{services()};
    openVideo(model, "clip.mp4");
    FakeVideoPlayer& first = *players[0];
    model.playVideoPreview();

    emit first.positionChanged(2.5);
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 2.5);
    emit first.positionChanged(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 2.5);
    emit first.positionChanged(-0.2);
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);
    emit first.positionChanged(9.9);
    emit first.playbackEnded();  // rewinds and stops; no loop
    EXPECT_EQ(first.calls.back(), "seek");
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);
    EXPECT_FALSE(model.isVideoPreviewPlaying());

    openVideo(model, "next.mp4");
    FakeVideoPlayer& second = *players[1];
    model.playVideoPreview();
    const auto firstCalls = first.calls;
    emit first.positionChanged(7);
    emit first.playbackEnded();
    emit first.playbackFailed(QStringLiteral("stale"));
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);
    EXPECT_TRUE(model.isVideoPreviewPlaying());
    EXPECT_FALSE(model.errorMessage());
    EXPECT_EQ(first.calls, firstCalls);

    emit second.positionChanged(1.5);
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 1.5);
    emit second.playbackFailed(QStringLiteral("Видео не воспроизводится."));
    EXPECT_FALSE(model.isVideoPreviewPlaying());
    EXPECT_EQ(model.errorMessage(), "Видео не воспроизводится.");
}

TEST_F(AppModelVideoTest, SynchronizationNeedsATrackAndAVideoAndRunsOnce) {
    gates["metadata"] = std::make_shared<Gate>();
    AppModel model{services()};
    model.synchronizeVideoWithTelemetry();
    EXPECT_EQ(model.errorMessage(), "Сначала загрузи FIT или GPX.");
    loadActivity(model);
    model.synchronizeVideoWithTelemetry();
    EXPECT_EQ(model.errorMessage(), "Сначала загрузи видео-подложку.");
    EXPECT_FALSE(model.isSynchronizingVideo());

    openVideo(model, "clip.mp4");
    model.synchronizeVideoWithTelemetry();
    EXPECT_TRUE(model.isSynchronizingVideo());
    EXPECT_EQ(model.statusText(), "Ищу синхронизацию видео с треком...");
    EXPECT_FALSE(model.errorMessage());
    model.synchronizeVideoWithTelemetry();  // already running: ignored
    gates.at("metadata")->open();
    ASSERT_TRUE(waitUntil([&] { return !model.isSynchronizingVideo(); }));
    drainWorkers();
    EXPECT_EQ(metadataReads, 1);
    EXPECT_EQ(model.statusText(), "В metadata видео не нашел GPS или дату съемки.");
}

TEST_F(AppModelVideoTest, GPSWinsOverTheDateAndMovesTheSegmentKeepingItsLength) {
    activity = ride(2000, true, true, {1234.5});
    // 2.22 km north of second 1234.5, filmed at second 50.
    metadata = {dateItem("2024-05-01T09:00:50Z"), locationItem("+45.0200+007.12345/")};
    AppModel model{services()};
    loadActivity(model);
    openVideo(model, "clip.mp4");
    model.setExportStartSeconds(600);
    model.setExportEndSeconds(900);
    model.setVideoPreviewElapsedSeconds(12);

    synchronize(model);
    EXPECT_EQ(model.statusText(), "Синхронизировано по GPS видео: старт 20:35, ближайшая точка 2.22 км.");
    EXPECT_EQ(model.startOffsetSeconds(), 1235);
    EXPECT_EQ(model.exportEndSeconds(), 1535);
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);
    EXPECT_EQ(players[0]->calls.back(), "seek");

    metadata = {locationItem("+45.0000+007.1900/")};
    synchronize(model);
    EXPECT_EQ(model.startOffsetSeconds(), 1900);
    EXPECT_EQ(model.exportEndSeconds(), 2000);  // cut at the end of the activity

    metadata = {dateItem("2024-05-01T09:00:50.4Z")};
    synchronize(model);
    EXPECT_EQ(model.statusText(), "Синхронизировано по времени съемки: старт 00:50, разница 00:00.");
    EXPECT_EQ(model.startOffsetSeconds(), 50);
    EXPECT_EQ(model.exportEndSeconds(), 150);
}

TEST_F(AppModelVideoTest, AZeroSecondActivitySaysWhereItMatchedButMovesNothing) {
    activity = ride(0);
    metadata = {locationItem("+45.0000+007.0000/")};
    AppModel model{services()};
    loadActivity(model);
    openVideo(model, "clip.mp4");
    model.setVideoPreviewElapsedSeconds(3);
    synchronize(model);
    EXPECT_EQ(model.statusText(), "Синхронизировано по GPS видео: старт 00:00, ближайшая точка 0 м.");
    EXPECT_EQ(model.startOffsetSeconds(), 0);
    EXPECT_EQ(model.exportEndSeconds(), 0);
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 3);
    EXPECT_TRUE(players[0]->calls.empty());
}

TEST_F(AppModelVideoTest, WithoutAMatchingFieldTheStatusSaysWhatIsMissing) {
    struct Case {
        TelemetryActivity track;
        std::vector<VideoMetadataItem> items;
        const char* status;
    };
    const Case cases[] = {
        {ride(300, false, true), {locationItem("+45.0+007.0/"), dateItem("garbage")},
         "В видео есть GPS, но в треке нет координат для сопоставления."},
        {ride(300, false, false), {dateItem("2024-05-01 09:01:00 +0000")},
         "В видео есть дата съемки, но в треке нет timestamp для сопоставления."},
        {ride(300), {locationItem("+91.0+007.0/")}, "В metadata видео не нашел GPS или дату съемки."},
    };
    for (const auto& c : cases) {
        activity = c.track;
        metadata = c.items;
        AppModel model{services()};
        loadActivity(model);
        openVideo(model, "clip.mp4");
        model.setExportStartSeconds(10);
        synchronize(model);
        EXPECT_EQ(model.statusText(), c.status);
        EXPECT_EQ(model.startOffsetSeconds(), 10);
        EXPECT_EQ(model.exportEndSeconds(), 300);
    }
}

TEST_F(AppModelVideoTest, UnreadableMetadataFailsTheSynchronization) {
    metadataFailure = "Файл «clip.mp4» не читается как видео.";
    AppModel model{services()};
    loadActivity(model);
    openVideo(model, "clip.mp4");
    synchronize(model);
    EXPECT_EQ(model.errorMessage(), "Файл «clip.mp4» не читается как видео.");
    EXPECT_EQ(model.statusText(), "Синхронизация не удалась.");
    EXPECT_EQ(model.startOffsetSeconds(), 0);
}

TEST_F(AppModelVideoTest, ReplacingTheVideoOrTheTrackEndsARunningSynchronization) {
    metadata = {locationItem("+45.0000+007.1000/")};
    AppModel model{services()};
    loadActivity(model);
    openVideo(model, "clip.mp4");
    for (const auto& replace : std::vector<std::function<void()>>{[&] { model.loadVideoBackground("clip.mp4"); },
                                                                   [&] { model.clearVideoBackground(); },
                                                                   [&] { model.load("again.fit"); }}) {
        openVideo(model, "clip.mp4");
        ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
        gates["metadata"] = std::make_shared<Gate>();
        model.synchronizeVideoWithTelemetry();
        ASSERT_TRUE(waitUntil([&] { return gates.at("metadata")->isWaiting(); }));
        replace();
        // Ended at once, so the command is available again.
        EXPECT_FALSE(model.isSynchronizingVideo());
        gates.at("metadata")->open();
        drainWorkers();
        gates.clear();
        EXPECT_EQ(model.startOffsetSeconds(), 0);  // the late match at second 1000 is dropped
        EXPECT_NE(model.statusText(), "Синхронизировано по GPS видео: старт 16:40, ближайшая точка 0 м.");
    }
    EXPECT_EQ(readsStopped, 3);
}

// The real services: a generated clip with a location over a generated GPX track.
TEST_F(AppModelVideoTest, RealClipOpensPlaysToTheEndAndSynchronizesByItsLocation) {
    if (std::system("ffmpeg -hide_banner -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg command";
    testing::TemporaryFolder folder;
    const auto clip = folder / "ride clip.mp4";
    const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "
                                "testsrc=size=320x240:rate=25 -t 1.5 -c:v mpeg4 -metadata location=+45.0000+007.0100/ '" +
                                clip.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const auto track = folder / "ride.gpx";
    testing::writeFileText(track, testing::gpxTrackText(200));
    testing::writeFileText(folder / "notes.mp4", "not a movie");

    AppModelServices real;
    real.loadTelemetry = [](const std::filesystem::path& url) { return TelemetryFileLoader::load(url); };
    addVideoBackgroundServices(real);
    AppModel model{real};
    model.load(track);
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));

    openVideo(model, folder / "notes.mp4");
    EXPECT_EQ(model.statusText(), "Не удалось загрузить видео-подложку.");
    ASSERT_TRUE(model.errorMessage());
    EXPECT_TRUE(model.errorMessage()->contains(QStringLiteral("notes.mp4"))) << model.errorMessage()->toStdString();

    openVideo(model, clip);
    EXPECT_EQ(model.statusText(), "Видео-подложка загружена: ride clip.mp4");
    ASSERT_NE(model.videoBackgroundImage(), nullptr);
    EXPECT_EQ(model.videoBackgroundImage()->width, 320);
    EXPECT_EQ(model.videoBackgroundImage()->pixels.size(), 320u * 240u * 4u);

    synchronize(model);
    EXPECT_EQ(model.statusText(), "Синхронизировано по GPS видео: старт 01:40, ближайшая точка 0 м.");
    EXPECT_EQ(model.startOffsetSeconds(), 100);
    EXPECT_EQ(model.exportEndSeconds(), 200);

    model.playVideoPreview();
    ASSERT_TRUE(waitUntil([&] { return model.videoPreviewElapsedSeconds() > 0; }));
    EXPECT_GT(model.previewTelemetryElapsedSeconds(), 100);
    // The end rewinds to the first frame and stops.
    ASSERT_TRUE(waitUntil([&] { return !model.isVideoPreviewPlaying(); }));
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);
    EXPECT_FALSE(model.errorMessage());
}

}  // namespace
}  // namespace pacemark
