// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <regex>
#include <thread>

#include "Export/RecordingMovieWriter.h"
#include "Export/TelemetryVideoExportError.h"
#include "Export/TelemetryVideoExporter.h"
#include "TestRides.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using testing::filesIn;
using testing::thrownBy;
using testing::TemporaryFolder;

// Notes the instants it is asked to draw (the pictures themselves are not
// looked at here), and says which frames look the same as the export's
// motion does (in steps: frames of one sample).
class SampleIndexRenderer : public ExportFrameRenderer {
public:
    SampleIndexRenderer(std::shared_ptr<const TelemetryActivity> activity, TelemetryMotion motion,
                        std::vector<double>* rendered)
        : activity_(std::move(activity)), motion_(motion), rendered_(rendered) {}

    void render(double elapsed, PixelBufferView) const override { rendered_->push_back(elapsed); }
    std::size_t frameKey(double elapsed) const override { return motion_.frameKey(*activity_, elapsed); }

private:
    std::shared_ptr<const TelemetryActivity> activity_;
    TelemetryMotion motion_;
    std::vector<double>* rendered_;
};

// One export into recording writers: what was drawn, written and reported.
struct ExportRun {
    explicit ExportRun(MovieWriterRecordingScript script = {})
        : writers(std::make_shared<RecordingMovieWriterFactory>(std::move(script))) {}

    void run(const TelemetryActivity& activity, const TelemetryRenderConfig& config, std::stop_token stop = {}) {
        const TelemetryVideoExporter exporter(writers, [this](std::shared_ptr<const TelemetryActivity> drawn,
                                                              const PacemarkLayout&, std::int64_t, std::int64_t,
                                                              const TelemetryMotion& motion) {
            return std::make_unique<SampleIndexRenderer>(std::move(drawn), motion, &rendered);
        });
        exporter.exportMovie(activity, config, [&](double p) { progress.push_back(p); }, stop);
    }
    const MovieWriterRecording& recording() const { return *writers->recording(); }

    std::shared_ptr<RecordingMovieWriterFactory> writers;
    std::vector<double> rendered;
    std::vector<double> progress;
};

TelemetryRenderConfig configFor(fs::path output, FrameRate fps, double start = 0,
                                std::optional<double> duration = std::nullopt,
                                TelemetryVideoCodec codec = TelemetryVideoCodec::proRes4444) {
    return TelemetryRenderConfig(std::move(output), 8, 4, fps, codec, start, duration, PacemarkLayout{});
}

// Smooth motion renders one frame per update and repeats it until the next:
// at 10 Hz every third frame of 30. (Which instants share a picture in each
// motion: TelemetryMotionTest.)
TEST(TelemetryVideoExporterTest, SmoothMotionRendersOneFramePerUpdate) {
    TemporaryFolder folder;
    TelemetryRenderConfig config = configFor(folder / "out.mov", 30, 2.0, 10.0);
    config.motion = {TelemetryMotionMode::smooth, 10, TelemetryValueSmoothing::none};
    ExportRun run;
    run.run(*testing::rideOfSeconds(20), config);
    const auto& frames = run.recording().frames;
    ASSERT_EQ(frames.size(), 300u);
    ASSERT_EQ(run.rendered.size(), 100u);
    const auto repeats = std::count_if(frames.begin(), frames.end(), [](auto& f) { return f.isRepeat; });
    EXPECT_EQ(repeats, 200);
    for (std::size_t k = 0; k < 100; ++k) EXPECT_NEAR(run.rendered[k], 2.0 + 0.1 * double(k), 1e-9);
}

// Frame i shows the instant start + i × D / N exactly and the writer is
// opened at N/D; frames 0, 30, 60 ... change the sample (ten rendered
// pictures, the rest repeats), and progress comes with the first frame of
// each second of movie and after the last (299.7 frames cover ten seconds at 29.97).
TEST(TelemetryVideoExporterTest, SteppedExportRendersOncePerSample) {
    TemporaryFolder folder;
    for (const FrameRate rate : {FrameRate(30), FrameRate(30000, 1001)}) {
        SCOPED_TRACE(rate.text());
        ExportRun run;
        run.run(*testing::rideOfSeconds(20), configFor(folder / "out.mov", rate, 2.0, 10.0));

        EXPECT_EQ(run.recording().openedSettings.at(0).frameRate, rate);
        const auto& frames = run.recording().frames;
        ASSERT_EQ(frames.size(), 300u);
        std::vector<double> expected;
        for (std::int64_t i = 0; i < 300; ++i) {
            EXPECT_EQ(frames[std::size_t(i)].frameIndex, i);
            if (i % 30 == 0) expected.push_back(2.0 + double(i * rate.denominator()) / double(rate.numerator()));
            EXPECT_EQ(frames[std::size_t(i)].isRepeat, i % 30 != 0) << i;
        }
        EXPECT_EQ(run.rendered, expected);
        const std::vector<int> reportedAfter = {1, 31, 61, 91, 121, 151, 181, 211, 241, 271, 300};
        ASSERT_EQ(run.progress.size(), reportedAfter.size());
        for (std::size_t k = 0; k < reportedAfter.size(); ++k) EXPECT_DOUBLE_EQ(run.progress[k], reportedAfter[k] / 300.0);
        EXPECT_EQ(filesIn(folder.path()), std::vector<fs::path>{"out.mov"});
    }
}

TEST(TelemetryVideoExporterTest, FramePlanCountsPartialFrames) {
    const TelemetryActivity activity = *testing::rideOfSeconds(100);
    auto frames = [&](FrameRate fps, double start, std::optional<double> duration) {
        return TelemetryVideoExporter::framePlan(activity, configFor("x.mov", fps, start, duration)).frameCount;
    };
    EXPECT_EQ(frames(30, 0, 10.01), 301);
    EXPECT_EQ(frames(FrameRate(24000, 1001), 0, std::nullopt), 2398);
    EXPECT_EQ(frames(30, 95, 10.0), 150);  // the segment stops at the end of the activity
    // An empty segment still gives one frame at the start instant, at any rate up to 1000.
    EXPECT_EQ(frames(1000, 500, std::nullopt), 1);
    EXPECT_EQ(frames(30, 10, -5.0), 1);
    EXPECT_EQ(frames(30, 10, std::nan("")), 2700);
    EXPECT_DOUBLE_EQ(TelemetryVideoExporter::framePlan(activity, configFor("x.mov", 30, 500, {})).elapsedSeconds(0),
                     500.0);
}

TEST(TelemetryVideoExporterTest, TemporaryFileSitsBesideTheOutputWithAFreshUpperCaseUUID) {
    const std::regex pattern("ride-telemetry\\.[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.tmp\\.mov");
    const fs::path a = TelemetryVideoExporter::temporaryPath("/films/ride-telemetry.mov");
    const fs::path b = TelemetryVideoExporter::temporaryPath("/films/ride-telemetry.mov");
    EXPECT_EQ(a.parent_path(), fs::path("/films"));
    EXPECT_TRUE(std::regex_match(a.filename().string(), pattern)) << a;
    EXPECT_NE(a, b);
}

// (That a failed export keeps the old movie: TelemetryVideoExporterFailureTest.)
TEST(TelemetryVideoExporterTest, ExistingDestinationIsReplacedByTheCompleteMovieInACreatedFolder) {
    TemporaryFolder folder;
    const fs::path output = folder / "deep/er/out.mov";
    ExportRun first;
    first.run(*testing::rideOfSeconds(3), configFor(output, 10));
    const std::vector<std::uint8_t> firstMovie = testing::readFileBytes(output);
    ExportRun second;
    second.run(*testing::rideOfSeconds(3), configFor(output, 20));
    EXPECT_NE(testing::readFileBytes(output), firstMovie);
    EXPECT_EQ(filesIn(output.parent_path()), std::vector<fs::path>{"out.mov"});
    EXPECT_TRUE(second.recording().finished);
}

// Every failure after writing began leaves the old destination and no temporary file.
class TelemetryVideoExporterFailureTest : public ::testing::Test {
protected:
    void SetUp() override { testing::writeFileText(output, "the old movie"); }

    void expectOldDestinationOnly() {
        const std::string old = "the old movie";
        EXPECT_EQ(testing::readFileBytes(output), std::vector<std::uint8_t>(old.begin(), old.end()));
        EXPECT_EQ(filesIn(folder.path()), std::vector<fs::path>{"out.mov"});
    }

    TemporaryFolder folder;
    fs::path output = folder / "out.mov";
};

TEST_F(TelemetryVideoExporterFailureTest, WriterFailuresReachTheCallerWithTheirText) {
    struct Case {
        MovieWriterRecordingScript script;
        const char* text;
    };
    MovieWriterRecordingScript failsStart, failsAppend, failsRepeat, failsFinish;
    failsStart.failsToStart = true;
    failsAppend.failsAppendingFrame = 60;  // a rendered frame
    failsRepeat.failsAppendingFrame = 61;  // a repeat
    failsFinish.failsToFinish = true;
    for (const Case& c : {Case{failsStart, "Видеозапись не стартовала."}, Case{failsAppend, "Не удалось добавить видеокадр."},
                          Case{failsRepeat, "Не удалось добавить видеокадр."}, Case{failsFinish, "Не удалось записать видео."}}) {
        ExportRun run(c.script);
        const auto error = thrownBy<TelemetryVideoExportError>(
            [&] { run.run(*testing::rideOfSeconds(10), configFor(output, 30)); });
        EXPECT_EQ(error.errorCase(), TelemetryVideoExportError::Case::writerFailed);
        EXPECT_EQ(error.errorDescription(), c.text);
        EXPECT_TRUE(run.recording().cancelled) << c.text;
        expectOldDestinationOnly();
    }
}

// A stop is noticed between frames and while waiting for a busy writer.
TEST_F(TelemetryVideoExporterFailureTest, StopIsACancellationNotAnError) {
    std::stop_source stop;
    MovieWriterRecordingScript script;
    script.onAppend = [&](std::int64_t i) {
        if (i == 149) stop.request_stop();
    };
    ExportRun run(script);
    EXPECT_THROW(run.run(*testing::rideOfSeconds(10), configFor(output, 30), stop.get_token()),
                 TelemetryVideoExportCancelled);
    EXPECT_EQ(run.recording().frames.size(), 150u);
    EXPECT_TRUE(run.recording().cancelled);
    EXPECT_FALSE(run.recording().finished);
    expectOldDestinationOnly();

    MovieWriterRecordingScript busy;
    busy.notReadyPollsPerFrame = 1'000'000'000;  // never ready again after the first frame
    ExportRun waiting(busy);
    std::stop_source later;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        later.request_stop();
    });
    EXPECT_THROW(waiting.run(*testing::rideOfSeconds(10), configFor(output, 30), later.get_token()),
                 TelemetryVideoExportCancelled);
    EXPECT_TRUE(waiting.recording().frames.empty());
    expectOldDestinationOnly();
}

// A folder that cannot be created fails before anything is written. (A
// destination that is a folder: ExportCommandTest; that the exporter itself
// refuses such destinations: ExportDestinationTest.)
TEST_F(TelemetryVideoExporterFailureTest, FolderThatCannotBeCreatedIsReported) {
    ExportRun run;
    // The destination's folder would have to be created inside a regular file.
    const auto inside = thrownBy<PacemarkError>(
        [&] { run.run(*testing::rideOfSeconds(3), configFor(output / "inside" / "x.mov", 30)); });
    EXPECT_NE(std::string(inside.what()).find("Не удалось создать папку «inside»"), std::string::npos) << inside.what();
    EXPECT_TRUE(run.recording().openedSettings.empty());
    expectOldDestinationOnly();
}

}  // namespace
}  // namespace pacemark
