#include <gtest/gtest.h>

#include <QThreadPool>

#include <atomic>

#include "AppModelTestSupport.h"
#include "Export/RecordingMovieWriter.h"
#include "TestSupport.h"
#include "Telemetry/FITParser.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark {
namespace {

using testing::waitUntil;

class AppModelLoadingTest : public ::testing::Test {
protected:
    AppModelServices realServices() {
        return testing::recordingServices(std::make_shared<RecordingMovieWriterFactory>());
    }
    // A model whose loader hands out a prepared activity for any file name.
    static AppModelServices activityServices(TelemetryActivity activity) {
        AppModelServices services;
        services.loadTelemetry = [activity](const std::filesystem::path&) { return activity; };
        return services;
    }
    static bool loadAndWait(AppModel& model, const std::filesystem::path& path) {
        model.load(path);
        return waitUntil([&] { return !model.isLoading(); });
    }

    testing::TemporaryFolder folder;
};

TEST_F(AppModelLoadingTest, CommandLineLoadsTheFirstArgumentOnAWorker) {
    const auto path = folder / "ride.fit";
    testing::writeFileBytes(path, testing::fitActivityBytes(120));
    AppModel model{realServices()};
    model.loadCommandLineArgumentIfNeeded({QStringLiteral("pacemark"), QStringLiteral("-ride.fit")});
    model.loadCommandLineArgumentIfNeeded({QStringLiteral("pacemark")});
    EXPECT_FALSE(model.isLoading());
    EXPECT_EQ(model.selectedFileName(), "Файл не выбран");

    model.setErrorMessage(QStringLiteral("old"));
    model.loadCommandLineArgumentIfNeeded(
        {QStringLiteral("pacemark"), QString::fromStdString(path.string()), QStringLiteral("other.gpx")});
    // At once: the status names the file, the old alert is gone, the decoding
    // has not happened yet.
    EXPECT_TRUE(model.isLoading());
    EXPECT_EQ(model.activity(), nullptr);
    EXPECT_EQ(model.selectedFileName(), "ride.fit");
    EXPECT_EQ(model.statusText(), "Загружаю ride.fit...");
    EXPECT_FALSE(model.errorMessage().has_value());

    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    ASSERT_NE(model.activity(), nullptr);
    EXPECT_EQ(model.activity()->samples.size(), 121u);
    EXPECT_EQ(model.statusText(), "Загружено точек: 121.");
    EXPECT_EQ(model.sampleCountLabel(), "121");
    EXPECT_EQ(model.durationLabel(), "02:00");
    EXPECT_EQ(model.exportRangeLabel(), "00:00 - 02:00");
}

TEST_F(AppModelLoadingTest, DroppedFilesAreRoutedByTheirExtensionInAnyCase) {
    testing::writeFileText(folder / "Morning.GPX", testing::gpxTrackText(60));
    AppModelServices services = realServices();
    std::atomic<int> videosOpened = 0;
    services.readVideoStillFrame = [&](const std::filesystem::path&, std::stop_token) {
        ++videosOpened;
        return VideoBackgroundImage{};
    };
    AppModel model{services};
    // The unsupported file's alert is cleared by the loads that follow it.
    EXPECT_TRUE(model.loadDropped({folder / "readme.md", folder / "Morning.GPX", folder / "clip.MOV"}));
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading() && !model.isLoadingVideo(); }));
    ASSERT_NE(model.activity(), nullptr);
    EXPECT_EQ(model.activity()->samples.size(), 61u);
    EXPECT_NE(model.distanceLabel(), "--");
    EXPECT_FALSE(model.errorMessage().has_value());
    EXPECT_EQ(videosOpened, 1);
    EXPECT_EQ(model.videoBackgroundName(), "clip.MOV");
    EXPECT_EQ(model.videoBackgroundURL(), folder / "clip.MOV");
    EXPECT_NE(model.videoBackgroundImage(), nullptr);

    // The extension is what follows the last dot, as the loader reads it,
    // so a hidden ".gpx" is routed to the loader that then reads it.
    testing::writeFileText(folder / ".gpx", testing::gpxTrackText(10));
    EXPECT_TRUE(model.loadSupported(folder / ".gpx"));
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    ASSERT_NE(model.activity(), nullptr);
    EXPECT_EQ(model.activity()->samples.size(), 11u);

    // Unsupported files only raise the alert.
    const QString status = model.statusText();
    EXPECT_FALSE(model.loadDropped({folder / "notes.txt"}));
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Неподдерживаемый файл: notes.txt"));
    EXPECT_EQ(model.statusText(), status);
    EXPECT_NE(model.activity(), nullptr);
    EXPECT_FALSE(model.loadDropped({}));
}

TEST_F(AppModelLoadingTest, FailingFilesShowTheLoadersTextAndACutFITFileOffersItsReadablePoints) {
    const auto broken = folder / "broken.gpx";
    testing::writeFileText(broken, "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"></trk>");
    auto bytes = testing::readFileBytes(testing::sourceFolder() / "samples" / "sample-ride.fit");
    bytes.resize(bytes.size() * 3 / 5);
    const auto cut = folder / "cut.fit";
    testing::writeFileBytes(cut, bytes);
    std::string expected;
    std::size_t readable = 0;
    try {
        TelemetryFileLoader::load(broken);
    } catch (const PacemarkError& error) {
        expected = error.errorDescription();
    }
    try {
        TelemetryFileLoader::load(cut);
    } catch (const FITParserError& error) {
        readable = error.readableRecordCount();
    }
    ASSERT_FALSE(expected.empty());
    ASSERT_GT(readable, 0u);

    AppModel model{realServices()};
    ASSERT_TRUE(loadAndWait(model, broken));
    EXPECT_EQ(model.activity(), nullptr);
    EXPECT_EQ(model.errorMessage(), QString::fromStdString(expected));
    EXPECT_EQ(model.statusText(), "Не удалось загрузить файл.");
    EXPECT_EQ(model.selectedFileName(), "broken.gpx");
    EXPECT_EQ(model.exportEndSeconds(), 0);
    EXPECT_TRUE(model.errorActionText().isEmpty());

    const QString count = QString::number(readable);
    ASSERT_TRUE(loadAndWait(model, cut));
    EXPECT_EQ(model.activity(), nullptr);
    ASSERT_TRUE(model.errorMessage().has_value());
    EXPECT_TRUE(model.errorMessage()->contains(count));
    EXPECT_EQ(model.errorActionText(), QStringLiteral("Открыть уцелевшие ") + count + QStringLiteral(" точек"));
    // Choosing the offer dismisses the alert and loads the points before the damage.
    model.runErrorAction();
    EXPECT_FALSE(model.errorMessage().has_value());
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    ASSERT_NE(model.activity(), nullptr);
    EXPECT_EQ(model.activity()->samples.size(), readable);
    EXPECT_FALSE(model.errorMessage().has_value());
    EXPECT_TRUE(model.statusText().startsWith(QStringLiteral("Файл повреждён")));

    // A missing file afterwards: a Russian alert that offers nothing but "ОК".
    ASSERT_TRUE(loadAndWait(model, folder / "missing.fit"));
    ASSERT_TRUE(model.errorMessage().has_value());
    EXPECT_FALSE(model.errorMessage()->isEmpty());
    EXPECT_EQ(model.statusText(), "Не удалось загрузить файл.");
    EXPECT_TRUE(model.errorActionText().isEmpty());

    // A service that throws something unexpected.
    AppModelServices throwing;
    throwing.loadTelemetry = [](const std::filesystem::path&) -> TelemetryActivity { throw std::logic_error("boom"); };
    AppModel other{throwing};
    ASSERT_TRUE(loadAndWait(other, folder / "x.fit"));
    EXPECT_EQ(other.errorMessage(), QStringLiteral("Внутренняя ошибка: boom"));
}

TEST_F(AppModelLoadingTest, OnlyTheLatestOfOverlappingLoadsIsShown) {
    testing::Gate firstGate, secondGate;
    AppModelServices services;
    services.loadTelemetry = [&](const std::filesystem::path& url) {
        (url.filename() == "first.fit" ? firstGate : secondGate).waitOpen();
        return testing::makeActivity(url.filename() == "first.fit" ? 10 : 20, url);
    };
    AppModel model{services};
    model.load(folder / "first.fit");
    ASSERT_TRUE(waitUntil([&] { return firstGate.isWaiting(); }));
    model.load(folder / "second.fit");
    ASSERT_TRUE(waitUntil([&] { return secondGate.isWaiting(); }));

    // The first load finishes while the second still decodes: nothing shows.
    firstGate.open();
    ASSERT_TRUE(waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 1; }));
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(model.isLoading());
    EXPECT_EQ(model.activity(), nullptr);
    EXPECT_EQ(model.statusText(), "Загружаю second.fit...");

    secondGate.open();
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    ASSERT_NE(model.activity(), nullptr);
    EXPECT_EQ(model.activity()->sourceURL, folder / "second.fit");
    EXPECT_EQ(model.exportEndSeconds(), 20);
}

TEST_F(AppModelLoadingTest, ResultsOfAModelThatIsGoneAreDropped) {
    testing::Gate gate;
    AppModelServices services;
    services.loadTelemetry = [&](const std::filesystem::path& url) {
        gate.waitOpen();
        return testing::makeActivity(5, url);
    };
    auto model = std::make_unique<AppModel>(services);
    model->load(folder / "late.fit");
    ASSERT_TRUE(waitUntil([&] { return gate.isWaiting(); }));
    model.reset();
    gate.open();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();  // must not touch the destroyed model
    SUCCEED();
}

TEST_F(AppModelLoadingTest, SegmentFollowsTheActivityInWholeSeconds) {
    AppModel shortModel{activityServices(testing::makeActivity(0.4))};
    ASSERT_TRUE(loadAndWait(shortModel, "short.fit"));
    EXPECT_EQ(shortModel.activityDurationSeconds(), 1);
    EXPECT_EQ(shortModel.startOffsetSeconds(), 0);
    EXPECT_EQ(shortModel.exportEndSeconds(), 1);

    AppModel emptyModel{activityServices(testing::makeActivity(0))};
    ASSERT_TRUE(loadAndWait(emptyModel, "still.fit"));
    emptyModel.setExportEndSeconds(5);
    EXPECT_EQ(emptyModel.startOffsetSeconds(), 0);
    EXPECT_EQ(emptyModel.exportEndSeconds(), 0);
    EXPECT_EQ(emptyModel.previewTelemetryElapsedSeconds(), 0);

    AppModel model{activityServices(testing::makeActivity(125.2))};
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    EXPECT_EQ(model.exportEndSeconds(), 126);
    model.setExportStartSeconds(200);
    EXPECT_EQ(model.startOffsetSeconds(), 125);
    EXPECT_EQ(model.exportEndSeconds(), 126);
    model.setExportStartSeconds(30);
    model.setExportEndSeconds(10);
    EXPECT_EQ(model.exportEndSeconds(), 31);
    EXPECT_EQ(model.exportSegmentSeconds(), 1);
    model.setExportStartSeconds(-5);
    EXPECT_EQ(model.startOffsetSeconds(), 0);
    model.resetExportRange();
    EXPECT_EQ(model.exportRangeLabel(), "00:00 - 02:06");

    // A new load empties the segment until the activity arrives.
    model.load("again.fit");
    EXPECT_EQ(model.exportEndSeconds(), 0);
    EXPECT_EQ(model.exportSegmentLabel(), "--");
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    EXPECT_EQ(model.exportEndSeconds(), 126);
}

TEST_F(AppModelLoadingTest, PreviewTimeWithAndWithoutAPlayer) {
    AppModelServices services = activityServices(testing::makeActivity(1000));
    services.readVideoStillFrame = [](const std::filesystem::path&, std::stop_token) { return VideoBackgroundImage{}; };
    services.makeVideoPlayer = [](const std::filesystem::path&) { return std::make_shared<testing::FakeVideoPlayer>(); };
    AppModel model{services};
    ASSERT_TRUE(loadAndWait(model, "long.fit"));
    model.setExportStartSeconds(100);
    model.setExportEndSeconds(200);
    EXPECT_DOUBLE_EQ(model.previewTelemetryElapsedSeconds(), 142);

    model.loadVideoBackground("clip.mp4");
    ASSERT_TRUE(waitUntil([&] { return !model.isLoadingVideo(); }));
    ASSERT_NE(model.videoBackgroundPlayer(), nullptr);
    EXPECT_EQ(model.statusText(), "Видео-подложка загружена: clip.mp4");
    model.setVideoPreviewElapsedSeconds(30);
    EXPECT_DOUBLE_EQ(model.previewTelemetryElapsedSeconds(), 130);
    model.setVideoPreviewElapsedSeconds(-4);
    EXPECT_DOUBLE_EQ(model.previewTelemetryElapsedSeconds(), 100);
    model.setExportStartSeconds(990);
    model.setVideoPreviewElapsedSeconds(30);
    EXPECT_DOUBLE_EQ(model.previewTelemetryElapsedSeconds(), 1000);  // clamped to the duration

    model.clearVideoBackground();
    EXPECT_EQ(model.videoBackgroundPlayer(), nullptr);
    EXPECT_EQ(model.videoBackgroundName(), "Видео не выбрано");
    EXPECT_EQ(model.exportEndSeconds(), 991);  // pushed past the start
    EXPECT_DOUBLE_EQ(model.previewTelemetryElapsedSeconds(), 990.42);
}

}  // namespace
}  // namespace pacemark
