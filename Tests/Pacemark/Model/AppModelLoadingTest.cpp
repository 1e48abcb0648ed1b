#include <gtest/gtest.h>

#include <QThreadPool>

#include "AppModelTestSupport.h"
#include "Telemetry/FITParser.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark {
namespace {

using namespace testing;

// Files come from the command line or from drops, routed by their extension
// as the loader reads it, in any letter case. (A lone unsupported file is the
// window's ContentViewTest.)
TEST(AppModelLoadingTest, CommandLineAndDroppedFilesAreRoutedByTheirExtension) {
    const TemporaryFolder folder;
    writeFileBytes(folder / "ride.fit", fitActivityBytes(120));
    const std::string track = "<gpx><trk><trkseg><trkpt lat=\"45\" lon=\"7\"/><trkpt lat=\"45\" lon=\"7.001\"/>"
                              "</trkseg></trk></gpx>";
    writeFileText(folder / "Morning.GPX", track);
    writeFileText(folder / ".gpx", track);
    AppModelServices services = makeAppModelServices(nullptr, nullptr);
    services.readVideoStillFrame = [](const std::filesystem::path&, std::stop_token) { return VideoBackgroundImage{}; };
    AppModel model{services};
    EXPECT_EQ(model.previewTelemetryElapsedSeconds(), 0);  // nothing loaded
    model.loadCommandLineArgumentIfNeeded({QStringLiteral("pacemark"), QStringLiteral("-ride.fit")});
    model.loadCommandLineArgumentIfNeeded({QStringLiteral("pacemark")});
    EXPECT_FALSE(model.isLoading());

    model.setErrorMessage(QStringLiteral("old"));
    const QString file = QString::fromStdString((folder / "ride.fit").string());
    model.loadCommandLineArgumentIfNeeded({QStringLiteral("pacemark"), file, QStringLiteral("other.gpx")});
    // At once: the status names the file, the old alert is gone, the decoding
    // has not happened yet.
    EXPECT_TRUE(model.isLoading());
    EXPECT_EQ(model.activity(), nullptr);
    EXPECT_EQ(model.statusText(), "Загружаю ride.fit...");
    EXPECT_FALSE(model.errorMessage().has_value());
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    EXPECT_EQ(model.statusText(), "Загружено точек: 121.");
    EXPECT_EQ(model.durationLabel(), "02:00");

    // Every dropped file is routed, also after an unsupported one, whose
    // alert the loads that follow clear.
    EXPECT_TRUE(model.loadDropped({folder / "readme.md", folder / "Morning.GPX", folder / "clip.MOV"}));
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading() && !model.isLoadingVideo(); }));
    ASSERT_NE(model.activity(), nullptr);
    EXPECT_EQ(model.activity()->samples.size(), 2u);
    EXPECT_FALSE(model.errorMessage().has_value());
    EXPECT_EQ(model.videoBackgroundURL(), folder / "clip.MOV");

    // The extension is what follows the last dot, so a hidden ".gpx" is
    // routed to the loader that then reads it.
    EXPECT_TRUE(model.loadSupported(folder / ".gpx"));
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    EXPECT_NE(model.activity(), nullptr);
    EXPECT_FALSE(model.errorMessage().has_value());
}

TEST(AppModelLoadingTest, FailingFilesShowTheLoadersTextAndACutFITFileOffersItsReadablePoints) {
    const TemporaryFolder folder;
    const auto missing = folder / "missing.gpx";
    auto bytes = readFileBytes(sourceFolder() / "samples" / "sample-ride.fit");
    bytes.resize(bytes.size() * 3 / 5);
    const auto cut = folder / "cut.fit";
    writeFileBytes(cut, bytes);
    const std::string expected =
        thrownBy<PacemarkError>([&] { TelemetryFileLoader::load(missing); }).errorDescription();
    const std::size_t readable =
        thrownBy<FITParserError>([&] { TelemetryFileLoader::load(cut); }).readableRecordCount();
    ASSERT_GT(readable, 0u);

    AppModel model{makeAppModelServices(nullptr, nullptr)};
    ASSERT_TRUE(loadAndWait(model, missing));
    EXPECT_EQ(model.errorMessage(), QString::fromStdString(expected));
    EXPECT_EQ(model.statusText(), "Не удалось загрузить файл.");
    EXPECT_TRUE(model.errorActionText().isEmpty());  // the alert offers nothing but "ОК"

    const QString count = QString::number(readable);
    ASSERT_TRUE(loadAndWait(model, cut));
    EXPECT_TRUE(model.errorMessage().value_or("").contains(count));
    EXPECT_EQ(model.errorActionText(), QStringLiteral("Открыть уцелевшие ") + count + QStringLiteral(" точек"));
    // Choosing the offer dismisses the alert and loads the points before the damage.
    model.runErrorAction();
    EXPECT_FALSE(model.errorMessage().has_value());
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    ASSERT_NE(model.activity(), nullptr);
    EXPECT_EQ(model.activity()->samples.size(), readable);
    EXPECT_TRUE(model.statusText().startsWith(QStringLiteral("Файл повреждён")));

    // A service that throws something unexpected.
    AppModelServices throwing;
    throwing.loadTelemetry = [](const std::filesystem::path&) -> TelemetryActivity { throw std::logic_error("boom"); };
    AppModel other{throwing};
    ASSERT_TRUE(loadAndWait(other, "x.fit"));
    EXPECT_EQ(other.errorMessage(), QStringLiteral("Внутренняя ошибка: boom"));
}

// The loads run on workers: on the main thread the first would never get
// past its gate.
TEST(AppModelLoadingTest, OnlyTheLatestLoadOfALiveModelIsShown) {
    Gate firstGate, secondGate;
    AppModelServices services;
    services.loadTelemetry = [&](const std::filesystem::path& file) {
        (file == "first.fit" ? firstGate : secondGate).waitOpen();
        return makeActivity(10);
    };
    auto model = std::make_unique<AppModel>(services);
    model->load("first.fit");
    ASSERT_TRUE(waitUntil([&] { return firstGate.isWaiting(); }));
    model->load("second.fit");
    ASSERT_TRUE(waitUntil([&] { return secondGate.isWaiting(); }));

    // The first load finishes while the second still decodes: nothing shows.
    firstGate.open();
    ASSERT_TRUE(waitUntil([] { return QThreadPool::globalInstance()->activeThreadCount() == 1; }));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(model->activity(), nullptr);
    EXPECT_EQ(model->statusText(), "Загружаю second.fit...");

    // The second finishes after the model is gone: its result must not touch it.
    model.reset();
    secondGate.open();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
}

// A start pushing the end is the window's (SidebarEditingTest).
TEST(AppModelLoadingTest, SegmentFollowsTheActivityInWholeSeconds) {
    TelemetryActivity activity = makeActivity(0.4);
    AppModelServices services;
    services.loadTelemetry = [&](const std::filesystem::path&) { return activity; };
    AppModel model{services};
    ASSERT_TRUE(loadAndWait(model, "short.fit"));
    EXPECT_EQ(model.exportEndSeconds(), 1);
    activity = makeActivity(0);
    ASSERT_TRUE(loadAndWait(model, "still.fit"));
    model.setExportEndSeconds(5);
    EXPECT_EQ(model.exportEndSeconds(), 0);
    EXPECT_EQ(model.previewTelemetryElapsedSeconds(), 0);

    activity = makeActivity(125.2);
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    model.setExportStartSeconds(200);
    EXPECT_EQ(model.startOffsetSeconds(), 125);
    EXPECT_EQ(model.exportEndSeconds(), 126);
    model.setExportStartSeconds(-5);
    model.setExportEndSeconds(10);
    EXPECT_EQ(model.startOffsetSeconds(), 0);
    model.resetExportRange();
    EXPECT_EQ(model.exportRangeLabel(), "00:00 - 02:06");

    // A new load empties the segment until the activity arrives.
    model.load("again.fit");
    EXPECT_EQ(model.exportEndSeconds(), 0);
    ASSERT_TRUE(waitUntil([&] { return !model.isLoading(); }));
    EXPECT_EQ(model.exportEndSeconds(), 126);
}

}  // namespace
}  // namespace pacemark
