#include <gtest/gtest.h>

#include <QThreadPool>

#include "AppModelTestSupport.h"
#include "CairoDrawingSurface.h"
#include "Export/RecordingMovieWriter.h"

namespace pacemark {
namespace {

using namespace testing;

class AppModelExportTest : public ::testing::Test {
protected:
    // The real loader, renderer and exporter over recording writers that
    // follow `script`; every configuration the exporter receives is kept
    // (read once the export has ended).
    AppModelServices services(MovieWriterRecordingScript script = {}) {
        AppModelServices result =
            makeAppModelServices(std::make_shared<RecordingMovieWriterFactory>(std::move(script)),
                                 TelemetryVideoExporter::layoutFrameRenderers(
                                     std::make_shared<const CairoDrawingSurfaceFactory>()));
        result.exportMovie = [this, exportMovie = result.exportMovie](std::shared_ptr<const TelemetryActivity> activity,
                                                                      const TelemetryRenderConfig& config,
                                                                      const std::function<void(double)>& progress,
                                                                      std::stop_token stop) {
            configs.push_back(config);
            exportMovie(std::move(activity), config, progress, std::move(stop));
        };
        return result;
    }
    // A model with a FIT ride of `seconds` loaded from ride.fit in the folder.
    std::unique_ptr<AppModel> loadedModel(int seconds, MovieWriterRecordingScript script = {},
                                          AppModelPlatform* platform = nullptr) {
        writeFileBytes(folder / "ride.fit", fitActivityBytes(seconds));
        auto model = std::make_unique<AppModel>(services(std::move(script)), platform);
        EXPECT_TRUE(loadAndWait(*model, folder / "ride.fit"));
        return model;
    }
    // Writers that hold the first export at frame `frameIndex` until `gate` opens.
    static MovieWriterRecordingScript holdingFirstExport(std::int64_t frameIndex, Gate& gate) {
        MovieWriterRecordingScript script;
        script.onAppend = [frameIndex, &gate, held = std::make_shared<std::atomic<bool>>(false)](std::int64_t index) {
            if (index == frameIndex && !held->exchange(true)) gate.waitOpen();
        };
        return script;
    }

    TemporaryFolder folder;
    std::vector<TelemetryRenderConfig> configs;
};

TEST_F(AppModelExportTest, DefaultExportWritesBesideTheSourceWithFrozenSettings) {
    ScriptedPlatform platform;
    const auto model = loadedModel(12, {}, &platform);
    model->setWidth(640);
    model->setHeight(360);
    model->setCodec(TelemetryVideoCodec::proRes4444);
    model->setExportStartSeconds(2);
    model->setExportEndSeconds(7);
    const PacemarkLayout layout = model->overlayLayout();

    model->exportDefault();
    EXPECT_EQ(model->statusText(), "Создаю ride-telemetry.mov, отрезок 00:05...");
    // Edits after the start do not reach the running export.
    model->removeSelectedWidget();
    model->setWidth(1920);
    ASSERT_TRUE(waitUntil([&] { return !model->isExporting(); }));
    const auto output = folder / "ride-telemetry.mov";
    EXPECT_EQ(model->statusText(), "Готово: ride-telemetry.mov");
    EXPECT_TRUE(platform.requests.empty());  // no dialog
    ASSERT_EQ(configs.size(), 1u);
    EXPECT_EQ(configs[0], TelemetryRenderConfig(output, 640, 360, 30, TelemetryVideoCodec::proRes4444, 2, 5, layout));

    // A destination whose folder cannot exist (its parent is a file) is
    // refused before any work starts.
    model->exportMovie(folder / "ride.fit" / "out.mov");
    EXPECT_EQ(model->statusText(), "Экспорт не удался.");
    EXPECT_FALSE(model->errorMessage().value_or("").isEmpty());
    EXPECT_EQ(configs.size(), 1u);
}

// The chosen file's export itself is the window's (SidebarEditingTest).
TEST_F(AppModelExportTest, SaveDialogIsAskedWhenTheSourceIsUnknown) {
    ScriptedPlatform platform;
    AppModelServices withoutSource = services();
    withoutSource.loadTelemetry = [](const std::filesystem::path&) { return makeActivity(3); };
    AppModel model{withoutSource, &platform};
    model.exportDefault();  // no activity: nothing
    ASSERT_TRUE(loadAndWait(model, "morning.gpx"));
    model.exportDefault();  // cancelled dialog: nothing
    ASSERT_EQ(platform.requests.size(), 1u);
    EXPECT_EQ(platform.requests[0].suggestedName, "morning-telemetry.mov");
    EXPECT_FALSE(model.isExporting());
}

TEST_F(AppModelExportTest, AnActivityOfASingleInstantStillExportsAFrame) {
    const auto model = loadedModel(0);
    model->exportMovie(folder / "still.mov");
    ASSERT_TRUE(waitUntil([&] { return !model->isExporting(); }));
    EXPECT_EQ(model->statusText(), "Готово: still.mov");
    EXPECT_EQ(configs.back().durationSeconds, 0.001);
}

// The stop button's outcome on screen is the window's (SidebarEditingTest).
TEST_F(AppModelExportTest, StoppingResetsTheProgressWithoutAnAlert) {
    Gate gate;
    const auto model = loadedModel(60, holdingFirstExport(40, gate));
    model->exportDefault();
    // Held after the progress of the first second has arrived.
    ASSERT_TRUE(waitUntil([&] { return gate.isWaiting() && model->exportProgress() > 0; }));
    model->cancelExport();
    EXPECT_EQ(model->statusText(), "Останавливаю экспорт...");
    EXPECT_TRUE(model->isExporting());
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return !model->isExporting(); }));
    EXPECT_EQ(model->statusText(), "Экспорт остановлен.");
    EXPECT_EQ(model->exportProgress(), 0.0);
    EXPECT_FALSE(model->errorMessage().has_value());
    model->cancelExport();  // not exporting: nothing
    EXPECT_EQ(model->statusText(), "Экспорт остановлен.");
}

TEST_F(AppModelExportTest, FailuresRaiseTheAlertWithTheExportersText) {
    MovieWriterRecordingScript script;
    script.failsToFinish = true;
    const auto model = loadedModel(3, script);
    model->exportDefault();
    ASSERT_TRUE(waitUntil([&] { return !model->isExporting(); }));
    EXPECT_EQ(model->errorMessage(), QStringLiteral("Не удалось записать видео."));
    EXPECT_EQ(model->statusText(), "Экспорт не удался.");
    EXPECT_FALSE(model->lastOutputURL().has_value());
}

// With a single worker in the pool (a single-processor machine's default) a
// load is not held up by a running export either; a new export supersedes it.
TEST_F(AppModelExportTest, LoadsAndNewExportsAreNotHeldUpByARunningOne) {
    QThreadPool* pool = QThreadPool::globalInstance();
    const int savedMaximum = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    Gate gate;
    const auto model = loadedModel(5, holdingFirstExport(0, gate));
    model->exportMovie(folder / "first.mov");
    ASSERT_TRUE(waitUntil([&] { return gate.isWaiting(); }));
    EXPECT_TRUE(loadAndWait(*model, folder / "ride.fit"));
    model->exportMovie(folder / "second.mov");
    EXPECT_EQ(model->statusText(), "Создаю second.mov, отрезок 00:05...");
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return !model->isExporting(); }));
    pool->waitForDone();
    QCoreApplication::sendPostedEvents();
    // The stopped first export neither overwrote the state nor left a file.
    EXPECT_EQ(model->statusText(), "Готово: second.mov");
    EXPECT_EQ(filesIn(folder.path()), (std::vector<std::filesystem::path>{"ride.fit", "second.mov"}));
    pool->setMaxThreadCount(savedMaximum);
}

}  // namespace
}  // namespace pacemark
