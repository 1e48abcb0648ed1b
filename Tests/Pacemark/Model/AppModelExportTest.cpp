#include <gtest/gtest.h>

#include <QThreadPool>

#include <mutex>
#include <thread>

#include "AppModelTestSupport.h"
#include "Export/RecordingMovieWriter.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using testing::waitUntil;

class AppModelExportTest : public ::testing::Test {
protected:
    // Real loader and exporter over recording writers; every configuration
    // the exporter receives is kept, and the threads both services ran on.
    AppModelServices services(MovieWriterRecordingScript script = {}) {
        factory = std::make_shared<RecordingMovieWriterFactory>(std::move(script));
        AppModelServices result = testing::recordingServices(factory);
        result.loadTelemetry = [this, load = result.loadTelemetry](const std::filesystem::path& path) {
            noteThread();
            return load(path);
        };
        result.exportMovie = [this, exportMovie = result.exportMovie](std::shared_ptr<const TelemetryActivity> activity,
                                                                      const TelemetryRenderConfig& config,
                                                                      const std::function<void(double)>& progress,
                                                                      std::stop_token stop) {
            {
                std::lock_guard<std::mutex> lock(configsMutex);
                configs.push_back(config);
            }
            noteThread();
            exportMovie(std::move(activity), config, progress, std::move(stop));
        };
        return result;
    }
    void noteThread() {
        std::lock_guard<std::mutex> lock(configsMutex);
        serviceThreads.push_back(std::this_thread::get_id());
    }
    std::filesystem::path writeRide(const std::string& name, int seconds) {
        const auto path = folder / name;
        testing::writeFileBytes(path, testing::fitActivityBytes(seconds));
        return path;
    }
    static void loadAndWait(AppModel& model, const std::filesystem::path& path) {
        model.load(path);
        ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
        ASSERT_NE(model.activity(), nullptr);
    }
    std::vector<TelemetryRenderConfig> recordedConfigs() {
        std::lock_guard<std::mutex> lock(configsMutex);
        return configs;
    }

    testing::TemporaryFolder folder;
    std::shared_ptr<RecordingMovieWriterFactory> factory;
    std::mutex configsMutex;
    std::vector<TelemetryRenderConfig> configs;
    std::vector<std::thread::id> serviceThreads;
};

// Also: decoding and exporting run on workers, never on the main thread.
TEST_F(AppModelExportTest, DefaultExportWritesBesideTheSourceWithFrozenSettings) {
    testing::ScriptedPlatform platform;
    AppModel model{services(), &platform};
    loadAndWait(model, writeRide("ride.fit", 12));
    model.setWidth(640);
    model.setHeight(360);
    model.setCodec(TelemetryVideoCodec::proRes4444);
    model.setExportStartSeconds(2);
    model.setExportEndSeconds(7);
    const PacemarkLayout layout = model.overlayLayout();

    model.exportDefault();
    EXPECT_TRUE(model.isExporting());
    EXPECT_EQ(model.statusText(), "Создаю ride-telemetry.mov, отрезок 00:05...");
    // Edits after the start do not reach the running export.
    model.removeSelectedWidget();
    model.setWidth(1920);

    ASSERT_TRUE(waitUntil([&] { return !model.isExporting(); }));
    const auto output = folder / "ride-telemetry.mov";
    EXPECT_EQ(model.statusText(), "Готово: ride-telemetry.mov");
    EXPECT_EQ(model.lastOutputURL(), output);
    EXPECT_EQ(model.exportProgress(), 1.0);
    EXPECT_FALSE(model.errorMessage().has_value());
    EXPECT_TRUE(platform.requests.empty());  // no dialog
    EXPECT_EQ(testing::filesIn(folder.path()), (std::vector<std::filesystem::path>{"ride-telemetry.mov", "ride.fit"}));

    const auto sent = recordedConfigs();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], TelemetryRenderConfig(output, 640, 360, 30, TelemetryVideoCodec::proRes4444, 2, 5, layout));
    EXPECT_EQ(factory->recording()->frames.size(), 150u);

    model.revealLastOutput();
    EXPECT_EQ(platform.revealed, (std::vector<std::filesystem::path>{output}));
    ASSERT_EQ(serviceThreads.size(), 2u);
    for (const auto thread : serviceThreads) EXPECT_NE(thread, std::this_thread::get_id());
}

TEST_F(AppModelExportTest, SaveDialogIsAskedWhenTheSourceIsUnknown) {
    testing::ScriptedPlatform platform;
    AppModelServices withoutSource = services();
    withoutSource.loadTelemetry = [](const std::filesystem::path&) { return testing::makeActivity(3); };
    AppModel model{withoutSource, &platform};
    EXPECT_EQ(model.defaultOutputName(), "pacemark.mov");
    model.exportDefault();  // no activity: nothing
    EXPECT_TRUE(platform.requests.empty());

    loadAndWait(model, "morning.gpx");
    EXPECT_EQ(model.defaultOutputName(), "morning-telemetry.mov");
    const QString status = model.statusText();
    model.exportDefault();  // cancelled dialog: nothing
    ASSERT_EQ(platform.requests.size(), 1u);
    EXPECT_EQ(platform.requests[0].title, "Экспорт телеметрии");
    EXPECT_EQ(platform.requests[0].suggestedName, "morning-telemetry.mov");
    EXPECT_EQ(platform.requests[0].fileExtension, "mov");
    EXPECT_FALSE(model.isExporting());
    EXPECT_EQ(model.statusText(), status);

    platform.answer = folder / "nested" / "chosen.mov";
    model.exportDefault();
    ASSERT_TRUE(waitUntil([&] { return !model.isExporting(); }));
    EXPECT_EQ(model.statusText(), "Готово: chosen.mov");
    EXPECT_TRUE(std::filesystem::exists(folder / "nested" / "chosen.mov"));
}

TEST_F(AppModelExportTest, ShortActivitiesExportAtLeastAFrame) {
    for (const auto& [duration, expectedSeconds] : {std::pair{0.0, 0.001}, std::pair{0.4, 1.0}}) {
        AppModelServices prepared = services();
        prepared.loadTelemetry = [duration = duration](const std::filesystem::path& url) {
            return testing::makeActivity(duration, url);
        };
        AppModel model{prepared};
        loadAndWait(model, folder / "short.fit");
        model.exportMovie(folder / "short.mov");
        ASSERT_TRUE(waitUntil([&] { return !model.isExporting(); }));
        EXPECT_EQ(model.statusText(), "Готово: short.mov");
        ASSERT_FALSE(recordedConfigs().empty());
        EXPECT_EQ(recordedConfigs().back().startOffsetSeconds, 0.0);
        EXPECT_EQ(recordedConfigs().back().durationSeconds, expectedSeconds) << "activity of " << duration << " s";
    }
}

TEST_F(AppModelExportTest, StoppingLeavesNoFileAndResetsTheProgress) {
    testing::Gate gate;
    MovieWriterRecordingScript script;
    script.onAppend = [&](std::int64_t frameIndex) {
        if (frameIndex == 40) gate.waitOpen();
    };
    AppModel model{services(script)};
    loadAndWait(model, writeRide("ride.fit", 60));
    model.exportDefault();
    ASSERT_TRUE(waitUntil([&] { return gate.isWaiting(); }));
    // The progress of the first second has arrived.
    ASSERT_TRUE(waitUntil([&] { return model.exportProgress() > 0; }));

    model.cancelExport();
    EXPECT_EQ(model.statusText(), "Останавливаю экспорт...");
    EXPECT_TRUE(model.isExporting());
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return !model.isExporting(); }));
    EXPECT_EQ(model.statusText(), "Экспорт остановлен.");
    EXPECT_EQ(model.exportProgress(), 0.0);
    EXPECT_FALSE(model.lastOutputURL().has_value());
    EXPECT_FALSE(model.errorMessage().has_value());
    EXPECT_EQ(testing::filesIn(folder.path()), std::vector<std::filesystem::path>{"ride.fit"});

    model.cancelExport();  // not exporting: nothing
    EXPECT_EQ(model.statusText(), "Экспорт остановлен.");
}

TEST_F(AppModelExportTest, FailuresRaiseTheAlertWithTheExportersText) {
    MovieWriterRecordingScript script;
    script.failsToFinish = true;
    AppModel model{services(script)};
    loadAndWait(model, writeRide("ride.fit", 3));
    model.exportDefault();
    ASSERT_TRUE(waitUntil([&] { return !model.isExporting(); }));
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Не удалось записать видео."));
    EXPECT_EQ(model.statusText(), "Экспорт не удался.");
    EXPECT_FALSE(model.lastOutputURL().has_value());
    EXPECT_EQ(testing::filesIn(folder.path()), std::vector<std::filesystem::path>{"ride.fit"});

    // A destination whose folder cannot exist (its parent is a file).
    model.exportMovie(folder / "ride.fit" / "out.mov");
    ASSERT_TRUE(waitUntil([&] { return !model.isExporting(); }));
    EXPECT_EQ(model.statusText(), "Экспорт не удался.");
    ASSERT_TRUE(model.errorMessage().has_value());
    EXPECT_FALSE(model.errorMessage()->isEmpty());
}

TEST_F(AppModelExportTest, ANewExportSupersedesARunningOne) {
    testing::Gate gate;
    MovieWriterRecordingScript script;
    std::atomic<bool> firstHeld = false;
    script.onAppend = [&](std::int64_t frameIndex) {
        if (frameIndex == 0 && !firstHeld.exchange(true)) gate.waitOpen();
    };
    AppModel model{services(script)};
    loadAndWait(model, writeRide("ride.fit", 5));
    model.exportMovie(folder / "first.mov");
    ASSERT_TRUE(waitUntil([&] { return gate.isWaiting(); }));

    model.exportMovie(folder / "second.mov");
    EXPECT_EQ(model.statusText(), "Создаю second.mov, отрезок 00:05...");
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return !model.isExporting(); }));
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    // The stopped first export neither overwrote the state nor left a file.
    EXPECT_EQ(model.statusText(), "Готово: second.mov");
    EXPECT_EQ(model.lastOutputURL(), folder / "second.mov");
    EXPECT_EQ(model.exportProgress(), 1.0);
    EXPECT_EQ(testing::filesIn(folder.path()), (std::vector<std::filesystem::path>{"ride.fit", "second.mov"}));
}

TEST_F(AppModelExportTest, ALoadIsNotHeldUpByARunningExport) {
    QThreadPool* pool = QThreadPool::globalInstance();
    const int savedMaximum = pool->maxThreadCount();
    pool->setMaxThreadCount(1);  // a single-processor machine's default
    testing::Gate gate;
    MovieWriterRecordingScript script;
    script.onAppend = [&](std::int64_t frameIndex) {
        if (frameIndex == 0) gate.waitOpen();
    };
    AppModel model{services(script)};
    loadAndWait(model, writeRide("ride.fit", 4));
    model.exportDefault();
    ASSERT_TRUE(waitUntil([&] { return gate.isWaiting(); }));
    model.load(writeRide("next.fit", 6));
    const bool loaded = waitUntil([&] { return !model.isLoading(); });
    gate.open();
    EXPECT_TRUE(loaded);
    EXPECT_TRUE(waitUntil([&] { return !model.isExporting(); }));
    pool->setMaxThreadCount(savedMaximum);
}

}  // namespace
}  // namespace pacemark
