#include <gtest/gtest.h>

#include <QThreadPool>

#include <atomic>
#include <map>

#include "AppModelTestSupport.h"
#include "AppModelVideoServices.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using testing::FakeVideoPlayer;
using testing::Gate;
using testing::waitUntil;
using Calls = std::vector<std::string>;

// One sample a second from 09:00:00 UTC (plus one at each of `extra`), moving
// east along latitude 45 by 0.0001° a second, so the position tells the second.
TelemetryActivity ride(double seconds, bool positions = true, bool timestamps = true, std::vector<double> extra = {}) {
    std::vector<TelemetrySample> samples;
    for (double t = 0; t <= seconds; t += 1) extra.push_back(t);
    for (double t : extra) {
        TelemetrySample& sample = samples.emplace_back();
        sample.elapsed = t;
        if (timestamps) sample.timestamp = *parseISO8601InternetDateTime("2024-05-01T09:00:00Z") +
                                           std::chrono::microseconds(std::llround(t * 1e6));
        if (positions) {
            sample.latitude = 45.0;
            sample.longitude = 7.0 + t * 0.0001;
        }
    }
    return TelemetryActivity(std::nullopt, std::move(samples));
}

VideoMetadataItem location(const std::string& text) { return {"format/location", "location", text}; }
VideoMetadataItem date(const std::string& text) { return {"format/creation_time", "creation_time", text}; }

class AppModelVideoTest : public ::testing::Test {
protected:
    // Fakes: the still frame's width is the file name's length (telling which
    // open it came from), "broken*" files fail, a file (or "metadata") named in
    // `gates` is held there, and reads that were asked to stop are counted.
    AppModelServices services() {
        AppModelServices result;
        result.loadTelemetry = [this](const std::filesystem::path&) { return activity; };
        result.readVideoStillFrame = [this](const std::filesystem::path& url, std::stop_token stop) {
            const std::string name = url.filename().string();
            hold(name, stop);
            if (name.starts_with("broken")) throw PacemarkError("Файл «" + name + "» не читается как видео.");
            return VideoBackgroundImage{static_cast<std::int64_t>(name.size()), 1, {}};
        };
        result.makeVideoPlayer = [this](const std::filesystem::path&) {
            return players.emplace_back(std::make_shared<FakeVideoPlayer>());
        };
        result.readVideoMetadata = [this](const std::filesystem::path&, std::stop_token stop) {
            ++metadataReads;
            hold("metadata", stop);
            if (metadataFailure) throw PacemarkError(*metadataFailure);
            return metadata;
        };
        return result;
    }
    void hold(const std::string& name, const std::stop_token& stop) {
        if (const auto gate = gates.find(name); gate != gates.end()) gate->second->waitOpen();
        if (stop.stop_requested()) ++readsStopped;
    }
    // Starts `operation`, which reaches the gate `name`, and waits until it is held there.
    void startHeld(const std::string& name, const std::function<void()>& operation) {
        gates[name] = std::make_shared<Gate>();
        operation();
        ASSERT_TRUE(waitUntil([&] { return gates.at(name)->isWaiting(); }));
    }
    // Opens every gate, lets the workers finish and delivers what they queued.
    void release() {
        for (auto& [name, gate] : gates) gate->open();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        gates.clear();
    }
    static void loadActivity(AppModel& model) {
        model.load("ride.fit");
        ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    }
    static void openVideo(AppModel& model, const std::filesystem::path& url) {
        model.loadVideoBackground(url);
        ASSERT_TRUE(waitUntil([&] { return !model.isLoadingVideo(); }));
    }
    static void synchronize(AppModel& model) {
        model.synchronizeVideoWithTelemetry();
        ASSERT_TRUE(waitUntil([&] { return !model.isSynchronizingVideo(); }));
    }

    TelemetryActivity activity = ride(2000);
    std::map<std::string, std::shared_ptr<Gate>> gates;
    std::vector<std::shared_ptr<FakeVideoPlayer>> players;
    std::vector<VideoMetadataItem> metadata;
    std::optional<std::string> metadataFailure;
    std::atomic<int> metadataReads = 0, readsStopped = 0;
};

TEST_F(AppModelVideoTest, OpeningFailingClearingAndSupersedingShowTheirTexts) {
    AppModel model{services()};
    model.setVideoBackgroundScale(2);
    model.setErrorMessage(QStringLiteral("old"));
    startHeld("clip.mp4", [&] { model.loadVideoBackground("/videos/clip.mp4"); });
    EXPECT_TRUE(model.isLoadingVideo());
    EXPECT_EQ(model.videoBackgroundName(), "clip.mp4");
    EXPECT_EQ(model.statusText(), "Загружаю видео-подложку clip.mp4...");
    EXPECT_FALSE(model.errorMessage());
    EXPECT_EQ(model.videoBackgroundScale(), 1.0);

    release();
    EXPECT_FALSE(model.isLoadingVideo());
    EXPECT_EQ(model.videoBackgroundURL(), std::filesystem::path("/videos/clip.mp4"));
    EXPECT_EQ(model.videoBackgroundImage()->width, 8);
    ASSERT_EQ(players.size(), 1u);
    EXPECT_EQ(model.videoBackgroundPlayer(), players[0]);
    EXPECT_EQ(players[0]->calls, Calls{});  // paused at the start
    EXPECT_EQ(model.statusText(), "Видео-подложка загружена. Добавь FIT или GPX.");

    loadActivity(model);
    openVideo(model, "other.MOV");
    EXPECT_EQ(model.statusText(), "Видео-подложка загружена: other.MOV");
    EXPECT_EQ(players[0]->calls, Calls{"pause"});  // the replaced player does not play on unseen

    openVideo(model, "broken.mp4");
    EXPECT_EQ(model.statusText(), "Не удалось загрузить видео-подложку.");
    EXPECT_EQ(model.errorMessage(), "Файл «broken.mp4» не читается как видео.");
    EXPECT_EQ(model.videoBackgroundName(), "broken.mp4");
    EXPECT_FALSE(model.videoBackgroundURL());
    EXPECT_EQ(model.videoBackgroundImage(), nullptr);
    EXPECT_EQ(model.videoBackgroundPlayer(), nullptr);

    model.clearVideoBackground();
    EXPECT_EQ(model.videoBackgroundName(), "Видео не выбрано");
    EXPECT_EQ(model.statusText(), "Не удалось загрузить видео-подложку.");  // untouched

    // A later open or a clear drops a pending open.
    startHeld("first.mp4", [&] { model.loadVideoBackground("first.mp4"); });
    openVideo(model, "second.mp4");
    release();
    EXPECT_EQ(model.videoBackgroundURL(), std::filesystem::path("second.mp4"));
    EXPECT_EQ(model.videoBackgroundImage()->width, 10);
    EXPECT_EQ(players.size(), 3u);  // no player for the dropped open

    startHeld("third.mp4", [&] { model.loadVideoBackground("third.mp4"); });
    model.clearVideoBackground();
    EXPECT_FALSE(model.isLoadingVideo());
    release();
    EXPECT_FALSE(model.videoBackgroundURL());
    EXPECT_EQ(model.videoBackgroundImage(), nullptr);
    EXPECT_EQ(players.size(), 3u);
    EXPECT_EQ(readsStopped, 2);  // both superseded reads were told to give up
}

TEST_F(AppModelVideoTest, PlaybackCommandsAndObserversOfTheCurrentPlayer) {
    AppModel model{services()};
    model.playVideoPreview();  // nothing to play yet
    EXPECT_FALSE(model.isVideoPreviewPlaying());
    openVideo(model, "clip.mp4");
    FakeVideoPlayer& first = *players[0];

    model.toggleVideoPreviewPlayback();
    EXPECT_TRUE(model.isVideoPreviewPlaying());
    emit first.positionChanged(2.5);
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 2.5);
    emit first.positionChanged(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 2.5);
    model.restartVideoPreview();  // from the start, still playing
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);
    model.toggleVideoPreviewPlayback();
    model.restartVideoPreview();  // from the start, still paused
    EXPECT_EQ(first.calls, (Calls{"play", "seek", "play", "pause", "seek"}));

    model.playVideoPreview();
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
    const Calls before = first.calls;
    emit first.positionChanged(7);
    emit first.playbackEnded();
    emit first.playbackFailed(QStringLiteral("stale"));
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);
    EXPECT_TRUE(model.isVideoPreviewPlaying());
    EXPECT_FALSE(model.errorMessage());
    EXPECT_EQ(first.calls, before);

    emit second.playbackFailed(QStringLiteral("Видео не воспроизводится."));
    EXPECT_FALSE(model.isVideoPreviewPlaying());
    EXPECT_EQ(model.errorMessage(), "Видео не воспроизводится.");
}

TEST_F(AppModelVideoTest, GPSWinsOverTheDateAndTheSegmentMovesKeepingItsLength) {
    activity = ride(2000, true, true, {1234.5});
    AppModel model{services()};
    model.synchronizeVideoWithTelemetry();
    EXPECT_EQ(model.errorMessage(), "Сначала загрузи FIT или GPX.");
    loadActivity(model);
    model.synchronizeVideoWithTelemetry();
    EXPECT_EQ(model.errorMessage(), "Сначала загрузи видео-подложку.");
    openVideo(model, "clip.mp4");
    model.setExportStartSeconds(600);
    model.setExportEndSeconds(900);
    model.setVideoPreviewElapsedSeconds(12);

    // 2.22 km north of second 1234.5; filmed at second 50.
    metadata = {date("2024-05-01T09:00:50Z"), location("+45.0200+007.12345/")};
    startHeld("metadata", [&] { model.synchronizeVideoWithTelemetry(); });
    EXPECT_EQ(model.statusText(), "Ищу синхронизацию видео с треком...");
    EXPECT_FALSE(model.errorMessage());
    model.synchronizeVideoWithTelemetry();  // already running
    release();
    EXPECT_EQ(metadataReads, 1);
    EXPECT_FALSE(model.isSynchronizingVideo());
    EXPECT_EQ(model.statusText(), "Синхронизировано по GPS видео: старт 20:35, ближайшая точка 2.22 км.");
    EXPECT_EQ(model.startOffsetSeconds(), 1235);
    EXPECT_EQ(model.exportEndSeconds(), 1535);
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);
    EXPECT_EQ(players[0]->calls, Calls{"seek"});

    metadata = {location("+45.0000+007.1900/")};
    synchronize(model);
    EXPECT_EQ(model.startOffsetSeconds(), 1900);
    EXPECT_EQ(model.exportEndSeconds(), 2000);
}

// Which text each missing match shows is the core's (VideoSynchronizationTest);
// here: the model shows it and leaves the segment and the preview alone.
TEST_F(AppModelVideoTest, OutcomesThatLeaveTheSegmentAlone) {
    struct Case {
        TelemetryActivity track;
        std::vector<VideoMetadataItem> items;
        std::optional<std::string> failure;
        const char* status;
        std::int64_t end;
    };
    const Case cases[] = {
        {ride(300, false), {location("+45.0+007.0/"), date("garbage")}, {},
         "В видео есть GPS, но в треке нет координат для сопоставления.", 300},
        // Too short to move: the match is reported all the same.
        {ride(0), {location("+45.0+007.0/")}, {}, "Синхронизировано по GPS видео: старт 00:00, ближайшая точка 0 м.", 0},
        {ride(300), {}, "Файл «clip.mp4» повреждён.", "Синхронизация не удалась.", 300},
    };
    for (const auto& c : cases) {
        activity = c.track;
        metadata = c.items;
        metadataFailure = c.failure;
        AppModel model{services()};
        loadActivity(model);
        openVideo(model, "clip.mp4");
        model.setExportStartSeconds(10);
        model.setVideoPreviewElapsedSeconds(3);
        synchronize(model);
        EXPECT_EQ(model.statusText(), c.status);
        EXPECT_EQ(model.errorMessage(), c.failure ? std::optional(QString::fromStdString(*c.failure)) : std::nullopt);
        EXPECT_EQ(model.startOffsetSeconds(), c.end ? 10 : 0);
        EXPECT_EQ(model.exportEndSeconds(), c.end);
        EXPECT_EQ(model.videoPreviewElapsedSeconds(), 3);
    }
}

TEST_F(AppModelVideoTest, ReplacingTheVideoOrTheTrackEndsARunningSynchronization) {
    metadata = {location("+45.0000+007.1000/")};  // second 1000
    AppModel model{services()};
    loadActivity(model);
    const std::function<void()> replacements[] = {[&] { model.loadVideoBackground("clip.mp4"); },
                                                  [&] { model.clearVideoBackground(); },
                                                  [&] { model.load("again.fit"); }};
    for (const auto& replace : replacements) {
        openVideo(model, "clip.mp4");
        startHeld("metadata", [&] { model.synchronizeVideoWithTelemetry(); });
        replace();
        EXPECT_FALSE(model.isSynchronizingVideo());  // the command is available again at once
        release();
        EXPECT_EQ(model.startOffsetSeconds(), 0);  // the late match is dropped
    }
    EXPECT_EQ(readsStopped, 3);
}

// The real services: a generated clip with a location over a generated GPX track.
TEST_F(AppModelVideoTest, RealClipOpensSynchronizesByItsLocationAndPlaysToTheEnd) {
    if (std::system("ffmpeg -hide_banner -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg command";
    testing::TemporaryFolder folder;
    const auto clip = folder / "ride clip.mp4";
    const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc=size=320x240:rate=25"
                                " -t 1.5 -c:v mpeg4 -metadata location=+45.0000+007.0100/ '" + clip.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    testing::writeFileText(folder / "ride.gpx", testing::gpxTrackText(200));
    testing::writeFileText(folder / "notes.mp4", "not a movie");

    AppModelServices real;
    real.loadTelemetry = [](const std::filesystem::path& url) { return TelemetryFileLoader::load(url); };
    addVideoBackgroundServices(real);
    AppModel model{real};
    model.load(folder / "ride.gpx");
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));

    openVideo(model, folder / "notes.mp4");
    EXPECT_EQ(model.statusText(), "Не удалось загрузить видео-подложку.");
    EXPECT_TRUE(model.errorMessage().value_or("").contains(QStringLiteral("notes.mp4")));

    openVideo(model, clip);
    EXPECT_EQ(model.statusText(), "Видео-подложка загружена: ride clip.mp4");
    ASSERT_NE(model.videoBackgroundImage(), nullptr);
    EXPECT_EQ(model.videoBackgroundImage()->pixels.size(), 320u * 240u * 4u);

    synchronize(model);
    EXPECT_EQ(model.statusText(), "Синхронизировано по GPS видео: старт 01:40, ближайшая точка 0 м.");
    EXPECT_EQ(model.startOffsetSeconds(), 100);
    EXPECT_EQ(model.exportEndSeconds(), 200);

    model.playVideoPreview();
    ASSERT_TRUE(waitUntil([&] { return model.videoPreviewElapsedSeconds() > 0; }));
    EXPECT_GT(model.previewTelemetryElapsedSeconds(), 100);
    ASSERT_TRUE(waitUntil([&] { return !model.isVideoPreviewPlaying(); }));
    EXPECT_EQ(model.videoPreviewElapsedSeconds(), 0);  // rewound at the end
    EXPECT_FALSE(model.errorMessage());
}

}  // namespace
}  // namespace pacemark
