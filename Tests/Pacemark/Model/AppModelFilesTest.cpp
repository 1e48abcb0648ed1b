// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QThreadPool>

#include <atomic>

#include "AppModelTestSupport.h"
#include "Telemetry/RussianPlural.h"
#include "CairoDrawingSurface.h"
#include "Export/RecordingMovieWriter.h"
#include "Telemetry/FITParser.h"
#include "Telemetry/TelemetryFormatters.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark {
namespace {

using namespace testing;

// Ride files into the model, movies out of it.
class AppModelFilesTest : public ::testing::Test {
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

// Files come from the command line or from drops, routed by their extension
// as the loader reads it, in any letter case. (A lone unsupported file is the
// window's ContentViewTest.)
TEST_F(AppModelFilesTest, FilesAreRoutedByTheirExtension) {
    writeFileBytes(folder / "ride.fit", fitActivityBytes(120));
    writeFileText(folder / "Morning.GPX", "<gpx><trk><trkseg><trkpt lat=\"45\" lon=\"7\"/>"
                                          "<trkpt lat=\"45\" lon=\"7.001\"/></trkseg></trk></gpx>");
    AppModelServices services = makeAppModelServices(nullptr, nullptr);
    services.readVideoStillFrame = [](const std::filesystem::path&, std::stop_token) { return VideoBackgroundImage{}; };
    AppModel model{services};
    const QString file = QString::fromStdString((folder / "ride.fit").string());
    model.loadCommandLineArgumentIfNeeded({QStringLiteral("pacemark"), file, QStringLiteral("other.gpx")});
    ASSERT_TRUE(waitUntil([&] { return !model.loadedActivity().isLoading(); }));
    EXPECT_EQ(model.status().statusText(), "Загружено точек: 121.");

    // Every dropped file is routed, also after an unsupported one, whose
    // alert the loads that follow clear.
    EXPECT_TRUE(model.loadDropped({folder / "readme.md", folder / "Morning.GPX", folder / "clip.MOV"}));
    ASSERT_TRUE(waitUntil([&] { return !model.loadedActivity().isLoading() && !model.backgroundVideo().isLoadingVideo(); }));
    ASSERT_NE(model.loadedActivity().activity(), nullptr);
    EXPECT_EQ(model.loadedActivity().activity()->samples.size(), 2u);
    EXPECT_FALSE(model.status().errorMessage().has_value());
    EXPECT_EQ(model.backgroundVideo().videoBackgroundFile(), folder / "clip.MOV");
}

// With a ride open, a file that fails leaves the ride, its name and its
// segment as they were; only the alert, naming the file before the loader's
// text, says what failed.
TEST_F(AppModelFilesTest, FailedOpenKeepsTheOpenRide) {
    const auto model = loadedModel(90);
    model->exportSession().setStartOffsetSeconds(30);
    const auto ride = model->loadedActivity().activity();
    writeFileText(folder / "empty.gpx", "");
    const std::string expected =
        thrownBy<PacemarkError>([&] { TelemetryFileLoader::load(folder / "empty.gpx"); }).errorDescription();
    ASSERT_TRUE(loadAndWait(*model, folder / "empty.gpx"));
    EXPECT_EQ(model->loadedActivity().activity(), ride);
    EXPECT_EQ(model->loadedActivity().selectedFileName(), "ride.fit");
    EXPECT_EQ(model->exportSession().startOffsetSeconds(), 30);
    EXPECT_EQ(model->status().errorMessage(), "Не удалось открыть «empty.gpx»: " + QString::fromStdString(expected));
}

// A FIT file cut short is offered for what survived: the points before the
// damage, counted with the right form of the noun; choosing the offer
// dismisses the alert and loads them.
TEST_F(AppModelFilesTest, ACutFileOffersItsReadablePoints) {
    auto fit = readFileBytes(sourceFolder() / "samples" / "sample-ride.fit");
    fit.resize(fit.size() * 3 / 5);
    writeFileBytes(folder / "cut.fit", fit);
    const std::size_t readableFIT =
        thrownBy<FITParserError>([&] { TelemetryFileLoader::load(folder / "cut.fit"); }).readableRecordCount();
    ASSERT_GT(readableFIT, 0u);

    AppModel model{makeAppModelServices(nullptr, nullptr)};
    ASSERT_TRUE(loadAndWait(model, folder / "cut.fit"));
    EXPECT_TRUE(model.status().errorMessage().value_or("").contains(QString::number(readableFIT)));
    EXPECT_EQ(model.status().errorActionText(),
              QStringLiteral("Открыть уцелевшие ") + QString::fromStdString(russianCount(readableFIT, pointAccusativeNoun)));
    model.status().runErrorAction();
    EXPECT_FALSE(model.status().errorMessage().has_value());
    ASSERT_TRUE(waitUntil([&] { return !model.loadedActivity().isLoading(); }));
    ASSERT_NE(model.loadedActivity().activity(), nullptr);
    EXPECT_EQ(model.loadedActivity().activity()->samples.size(), readableFIT);
    EXPECT_TRUE(model.status().statusText().startsWith(QStringLiteral("Файл повреждён")));
}

// The loads run on workers: on the main thread the first would never get
// past its gate.
TEST_F(AppModelFilesTest, OnlyTheLatestLoadOfALiveModelIsShown) {
    Gate firstGate, secondGate;
    AppModelServices services;
    std::atomic<bool> firstStopped{false};
    services.loadTelemetry = [&](const std::filesystem::path& file, std::stop_token stop) {
        (file == "first.fit" ? firstGate : secondGate).waitOpen();
        if (file == "first.fit") firstStopped = stop.stop_requested();
        return makeActivity(10);
    };
    auto model = std::make_unique<AppModel>(services);
    model->load("first.fit");
    ASSERT_TRUE(waitUntil([&] { return firstGate.isWaiting(); }));
    model->load("second.fit");
    ASSERT_TRUE(waitUntil([&] { return secondGate.isWaiting(); }));

    // The first load finishes while the second still decodes: nothing shows,
    // and the first was asked to stop (a real loader gives up at once).
    firstGate.open();
    ASSERT_TRUE(waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 1; }));
    EXPECT_TRUE(firstStopped);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(model->loadedActivity().isLoading());
    EXPECT_EQ(model->loadedActivity().activity(), nullptr);
    EXPECT_EQ(model->status().statusText(), "Загружаю second.fit...");

    // The second finishes after the model is gone: its result must not touch it.
    model.reset();
    secondGate.open();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
}

TEST_F(AppModelFilesTest, SegmentFollowsTheActivityInWholeSeconds) {
    TelemetryActivity activity = makeActivity(0);
    AppModelServices services;
    services.loadTelemetry = [&](const std::filesystem::path&, std::stop_token) { return activity; };
    AppModel model{services};
    ASSERT_TRUE(loadAndWait(model, "still.fit"));
    model.exportSession().setExportEndSeconds(5);
    EXPECT_EQ(model.exportSession().exportEndSeconds(), 0);  // no second to export

    activity = makeActivity(125.2);
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    model.exportSession().setStartOffsetSeconds(200);
    EXPECT_EQ(model.exportSession().startOffsetSeconds(), 125);
    EXPECT_EQ(model.exportSession().exportEndSeconds(), 126);
    model.exportSession().setStartOffsetSeconds(-5);
    model.exportSession().setExportEndSeconds(10);
    EXPECT_EQ(model.exportSession().startOffsetSeconds(), 0);
    EXPECT_EQ(model.exportSession().exportEndSeconds(), 10);
    model.exportSession().setStartOffsetSeconds(50);
    EXPECT_EQ(model.exportSession().exportEndSeconds(), 51);  // pushed by the start
    model.exportSession().setExportEndSeconds(500);
    EXPECT_EQ(model.exportSession().exportEndSeconds(), 126);  // never past the activity's end
    model.exportSession().resetExportRange();  // "Весь файл"
    EXPECT_EQ(model.exportSession().startOffsetSeconds(), 0);
}

// "Сделать MOV" over a movie already beside the ride asks first; "Отмена"
// starts nothing and leaves the file alone.
TEST_F(AppModelFilesTest, DefaultExportAsksBeforeReplacingAMovie) {
    ScriptedPlatform platform;
    const auto model = loadedModel(5, {}, &platform);
    const auto existing = folder / "ride-telemetry.mov";
    writeFileText(existing, "earlier movie");
    model->exportSession().exportDefault();
    EXPECT_EQ(platform.replaceFileQuestions, std::vector<std::filesystem::path>{existing});
    EXPECT_FALSE(model->exportSession().isExporting());
    EXPECT_EQ(readFileBytes(existing).size(), std::string("earlier movie").size());

    platform.replaceFileAnswer = true;
    model->exportSession().exportDefault();
    ASSERT_TRUE(waitUntil([&] { return !model->exportSession().isExporting(); }));
    EXPECT_EQ(model->exportSession().lastOutputFile(), existing);
}

TEST_F(AppModelFilesTest, DefaultExportWritesBesideTheSourceWithFrozenSettings) {
    ScriptedPlatform platform;
    const auto model = loadedModel(12, {}, &platform);
    model->exportSession().setWidth(640);
    model->exportSession().setHeight(360);
    model->exportSession().setCodec(TelemetryVideoCodec::proRes4444);
    model->exportSession().setStartOffsetSeconds(2);
    model->exportSession().setExportEndSeconds(7);
    const PacemarkLayout layout = model->layoutEditor().overlayLayout();

    model->exportSession().exportDefault();
    // Edits after the start do not reach the running export.
    model->layoutEditor().removeSelectedWidget();
    model->exportSession().setWidth(1920);
    ASSERT_TRUE(waitUntil([&] { return !model->exportSession().isExporting(); }));
    EXPECT_EQ(model->status().statusText(), "Готово: ride-telemetry.mov");
    EXPECT_TRUE(platform.requests.empty());  // no dialog
    ASSERT_EQ(configs.size(), 1u);
    EXPECT_EQ(configs[0], TelemetryRenderConfig(folder / "ride-telemetry.mov", 640, 360, 30,
                                                TelemetryVideoCodec::proRes4444, 2, 5, layout));
}

// The stop button's outcome on screen is the window's (SidebarEditingTest).
// Writers that cannot finish: a stopped export never gets that far, the next one does.
TEST_F(AppModelFilesTest, StoppingResetsTheProgressWithoutAnAlert) {
    Gate gate;
    MovieWriterRecordingScript script = holdingFirstExport(40, gate);
    script.failsToFinish = true;
    const auto model = loadedModel(60, script);
    model->exportSession().exportDefault();
    // Held after the progress of the first second has arrived.
    ASSERT_TRUE(waitUntil([&] { return gate.isWaiting() && model->exportSession().exportProgress() > 0; }));
    model->exportSession().cancelExport();
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return !model->exportSession().isExporting(); }));
    EXPECT_EQ(model->status().statusText(), "Экспорт остановлен.");
    EXPECT_EQ(model->exportSession().exportProgress(), 0.0);
    EXPECT_FALSE(model->status().errorMessage().has_value());
}

TEST_F(AppModelFilesTest, WriterThatCannotFinishRaisesAnAlert) {
    MovieWriterRecordingScript script;
    script.failsToFinish = true;
    const auto model = loadedModel(60, script);
    model->exportSession().setExportEndSeconds(1);
    model->exportSession().exportDefault();
    ASSERT_TRUE(waitUntil([&] { return !model->exportSession().isExporting(); }));
    EXPECT_EQ(model->status().errorMessage(), QStringLiteral("Не удалось записать видео."));
    EXPECT_EQ(model->status().statusText(), "Экспорт не удался.");
    EXPECT_FALSE(model->exportSession().lastOutputFile().has_value());
}

// With a single worker in the pool (a single-processor machine's default) a
// load is not held up by a running export either; a new export supersedes it.
TEST_F(AppModelFilesTest, NothingWaitsForARunningExport) {
    QThreadPool* pool = QThreadPool::globalInstance();
    const int savedMaximum = pool->maxThreadCount();
    pool->setMaxThreadCount(1);
    Gate gate;
    const auto model = loadedModel(5, holdingFirstExport(0, gate));
    model->exportSession().exportMovie(folder / "first.mov");
    ASSERT_TRUE(waitUntil([&] { return gate.isWaiting(); }));
    EXPECT_TRUE(loadAndWait(*model, folder / "ride.fit"));
    model->exportSession().exportMovie(folder / "second.mov");
    EXPECT_EQ(model->status().statusText(), "Создаю second.mov, отрезок 00:05...");
    gate.open();
    ASSERT_TRUE(waitUntil([&] { return !model->exportSession().isExporting(); }));
    pool->waitForDone();
    QCoreApplication::sendPostedEvents();
    // The stopped first export neither overwrote the state nor left a file.
    EXPECT_EQ(model->status().statusText(), "Готово: second.mov");
    EXPECT_EQ(filesIn(folder.path()), (std::vector<std::filesystem::path>{"ride.fit", "second.mov"}));
    pool->setMaxThreadCount(savedMaximum);
}

}  // namespace
}  // namespace pacemark
