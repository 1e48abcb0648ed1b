// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QThreadPool>

#include <fstream>
#include <map>

#include "AppModelTestSupport.h"

namespace pacemark {
namespace {

using namespace testing;

// Several clips as background video and the batch of their overlays, over
// fake services: a clip's reading is looked up by its file name (a missing
// name cannot be read), and the exporter writes a small file unless the
// clip's name says otherwise.
class VideoClipListTest : public ::testing::Test {
protected:
    VideoClipListTest() {
        const TelemetryTimestamp rideStart = *activity.samples.front().timestamp;
        // Recorded 100 s into the ride: its location is the ride's there.
        readings["located.mp4"].metadata.location = VideoLocation{45.0, 7.0 + 100 * 0.0001};
        readings["located.mp4"].durationSeconds = 42;
        // Dated a day after the ride: no zone makes it overlap.
        readings["late.mp4"].metadata.creationDate = rideStart + std::chrono::hours(30);
        readings["late.mp4"].durationSeconds = 5;
        readings["dated.mp4"].metadata.creationDate = rideStart + std::chrono::seconds(1500);
        readings["dated.mp4"].durationSeconds = 7;
    }

    AppModelServices services() {
        AppModelServices result;
        result.loadTelemetry = [this](const std::filesystem::path&, std::stop_token) { return activity; };
        result.readVideoStillFrame = [](const std::filesystem::path&, std::stop_token) {
            return VideoBackgroundImage{2, 1, {}};
        };
        result.makeVideoPlayer = [](const std::filesystem::path&) { return std::make_shared<FakeVideoPlayer>(); };
        result.readClipSynchronization = [this](const std::filesystem::path& file, std::stop_token) {
            const auto found = readings.find(file.filename().string());
            if (found == readings.end()) throw PacemarkError("Файл «" + file.filename().string() + "» не читается.");
            return found->second;
        };
        // One job per clip into the folder; a clip named "unplaced*" gets an error.
        result.planClipOverlays = [](std::shared_ptr<const TelemetryActivity>,
                                     const std::vector<std::filesystem::path>& clips,
                                     const TelemetryExportSettings& settings, const PacemarkLayout& layout,
                                     const std::filesystem::path& folder, std::stop_token) {
            std::vector<ClipOverlayJob> jobs;
            for (const auto& clip : clips) {
                ClipOverlayJob job{clip, std::nullopt, {}};
                if (clip.filename().string().starts_with("unplaced")) {
                    job.error = "Клип не попадает в трек.";
                } else {
                    job.config.emplace(folder / (clip.stem().string() + "-telemetry.mov"), settings, 0, 2.0, layout);
                }
                jobs.push_back(std::move(job));
            }
            return jobs;
        };
        // "failing*" overlays fail; "held*" ones report half their progress
        // and wait for the stop (leaving their partial file as the real
        // exporter would before it removes it).
        result.exportMovie = [this](std::shared_ptr<const TelemetryActivity>, const TelemetryRenderConfig& config,
                                    const std::function<void(double)>& progress, std::stop_token stop) {
            const std::string name = config.outputFile.filename().string();
            if (name.starts_with("failing")) throw PacemarkError("Диск переполнен.");
            if (name.starts_with("held")) {
                progress(0.5);
                heldReached = true;
                while (!stop.stop_requested()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
                throw TelemetryVideoExportCancelled();
            }
            progress(1);
            std::ofstream(config.outputFile) << "movie";
        };
        return result;
    }

    void openAndRead(AppModel& model, const std::vector<std::filesystem::path>& files) {
        model.videoClips().openClips(files);
        ASSERT_TRUE(waitUntil([&] {
            return !model.videoClips().isReadingClips() && !model.backgroundVideo().isLoadingVideo();
        }));
    }

    // A ride, the clips in `folder`, the folder as the dialog's answer and the batch, run to its end.
    void exportBatch(AppModel& model, const std::vector<std::string>& names) {
        ASSERT_TRUE(loadAndWait(model, "ride.fit"));
        std::vector<std::filesystem::path> clips;
        for (const auto& name : names) clips.push_back(folder / name);
        openAndRead(model, clips);
        platform.folderAnswer = folder.path();
        model.videoClips().exportClipOverlays();
        ASSERT_TRUE(model.exportSession().isExporting());
        ASSERT_TRUE(waitUntil([&] { return !model.exportSession().isExporting(); }));
    }

    TelemetryActivity activity = makeActivity(2000);
    std::map<std::string, ClipSynchronizationInput> readings;
    TemporaryFolder folder;
    ScriptedPlatform platform;
    std::atomic<bool> heldReached = false;
};

TEST_F(VideoClipListTest, SeveralClipsBecomeAListWithTheFirstAsTheBackground) {
    AppModel model{services(), &platform};
    openAndRead(model, {"/clips/located.mp4", "/clips/dated.mp4", "/clips/late.mp4"});
    ASSERT_EQ(model.videoClips().clips().size(), 3u);
    EXPECT_EQ(model.videoClips().clips()[1].name(), "dated.mp4");
    EXPECT_EQ(model.videoClips().chosenIndex(), 0u);
    EXPECT_EQ(model.backgroundVideo().videoBackgroundFile(), std::filesystem::path("/clips/located.mp4"));
}

TEST_F(VideoClipListTest, OneClipIsTheBackgroundWithoutAList) {
    AppModel model{services(), &platform};
    openAndRead(model, {"/clips/located.mp4"});
    EXPECT_TRUE(model.videoClips().clips().empty());
    EXPECT_FALSE(model.videoClips().chosenIndex());
    EXPECT_EQ(model.backgroundVideo().videoBackgroundFile(), std::filesystem::path("/clips/located.mp4"));
}

TEST_F(VideoClipListTest, AFilePickedTwiceIsListedOnce) {
    AppModel model{services(), &platform};
    openAndRead(model, {"/clips/located.mp4", "/clips/located.mp4"});
    EXPECT_TRUE(model.videoClips().clips().empty());
    EXPECT_EQ(model.backgroundVideo().videoBackgroundFile(), std::filesystem::path("/clips/located.mp4"));
}

TEST_F(VideoClipListTest, ChoosingAClipMakesItTheBackground) {
    AppModel model{services(), &platform};
    openAndRead(model, {"/clips/located.mp4", "/clips/dated.mp4", "/clips/late.mp4"});
    model.videoClips().chooseClip(2);
    ASSERT_TRUE(waitUntil([&] { return !model.backgroundVideo().isLoadingVideo(); }));
    EXPECT_EQ(model.videoClips().chosenIndex(), 2u);
    EXPECT_EQ(model.backgroundVideo().videoBackgroundFile(), std::filesystem::path("/clips/late.mp4"));
    EXPECT_NE(model.backgroundVideo().videoBackgroundPlayer(), nullptr);
    EXPECT_EQ(model.videoClips().clips().size(), 3u);  // the list stays
}

// Name, length, method and start of each clip, as the list shows them.
TEST_F(VideoClipListTest, EachClipShowsHowAndWhereItWasPlaced) {
    AppModel model{services(), &platform};
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    openAndRead(model, {"/clips/located.mp4", "/clips/dated.mp4", "/clips/late.mp4"});
    const auto& clips = model.videoClips().clips();
    EXPECT_EQ(clips[0].lengthText(), "00:42");
    EXPECT_EQ(clips[0].placementText(), "по месту съёмки");
    EXPECT_EQ(clips[0].startText(), "01:40");
    EXPECT_EQ(clips[1].placementText(), "по дате съёмки");
    EXPECT_EQ(clips[1].startText(), "25:00");
    EXPECT_TRUE(clips[2].placementText().startsWith("не размещён: Дата съемки видео не попадает в трек"))
        << clips[2].placementText().toStdString();
    EXPECT_EQ(clips[2].startText(), "--");
}

TEST_F(VideoClipListTest, AClipThatCannotBeReadIsListedWithItsErrorAndNoAlert) {
    AppModel model{services(), &platform};
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    openAndRead(model, {"/clips/located.mp4", "/clips/missing.mp4"});
    const auto& clips = model.videoClips().clips();
    ASSERT_EQ(clips.size(), 2u);
    EXPECT_EQ(clips[1].placementText(), "Файл «missing.mp4» не читается.");
    EXPECT_EQ(clips[1].lengthText(), "--");
    EXPECT_EQ(clips[0].placementText(), "по месту съёмки");
    EXPECT_FALSE(model.status().errorMessage());
}

// Read before a ride is loaded, the clips wait for one; the ride places them.
TEST_F(VideoClipListTest, ALoadedRidePlacesTheListedClips) {
    AppModel model{services(), &platform};
    openAndRead(model, {"/clips/located.mp4", "/clips/dated.mp4"});
    EXPECT_EQ(model.videoClips().clips()[0].placementText(), "нужен FIT или GPX");
    readings.clear();  // the clips are not read again
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    ASSERT_TRUE(waitUntil([&] { return !model.videoClips().isReadingClips(); }));
    EXPECT_EQ(model.videoClips().clips()[0].startText(), "01:40");
    EXPECT_EQ(model.videoClips().clips()[1].startText(), "25:00");
}

TEST_F(VideoClipListTest, ClearingTheBackgroundEndsTheList) {
    AppModel model{services(), &platform};
    openAndRead(model, {"/clips/located.mp4", "/clips/dated.mp4"});
    model.backgroundVideo().clearVideoBackground();
    EXPECT_TRUE(model.videoClips().clips().empty());
    EXPECT_FALSE(model.videoClips().chosenIndex());
}

TEST_F(VideoClipListTest, DroppedVideosOpenTogetherAsAList) {
    AppModel model{services(), &platform};
    EXPECT_TRUE(model.loadDropped({"/clips/located.mp4", "/rides/ride.fit", "/clips/dated.mp4"}));
    ASSERT_TRUE(waitUntil([&] {
        return model.loadedActivity().activity() && !model.videoClips().isReadingClips() &&
               !model.backgroundVideo().isLoadingVideo();
    }));
    ASSERT_EQ(model.videoClips().clips().size(), 2u);
    EXPECT_EQ(model.videoClips().clips()[1].startText(), "25:00");
}

TEST_F(VideoClipListTest, TheBatchWritesOneOverlayPerClipAndListsTheFailures) {
    AppModel model{services(), &platform};
    exportBatch(model, {"a.mp4", "unplaced.mp4", "failing.mp4", "b.mp4"});
    EXPECT_TRUE(std::filesystem::exists(folder / "a-telemetry.mov"));
    EXPECT_TRUE(std::filesystem::exists(folder / "b-telemetry.mov"));
    EXPECT_EQ(model.status().statusText(), "Готово: 2 из 4 клипов. Не удалось: 2.");
    EXPECT_EQ(model.status().errorMessage(),
              "Не удалось сделать MOV для 2 клипов:\nunplaced.mp4: Клип не попадает в трек.\n"
              "failing.mp4: Диск переполнен.");
    EXPECT_EQ(model.exportSession().lastOutputFile(), folder / "b-telemetry.mov");
    EXPECT_FALSE(model.exportSession().clipBatchProgress());
}

TEST_F(VideoClipListTest, TheBatchCountsOneClipInTheSingular) {
    AppModel model{services(), &platform};
    exportBatch(model, {"a.mp4", "unplaced.mp4"});
    EXPECT_EQ(model.status().statusText(), "Готово: 1 из 2 клипов. Не удалось: 1.");
    EXPECT_EQ(model.status().errorMessage(), "Не удалось сделать MOV для 1 клипа:\nunplaced.mp4: Клип не попадает в трек.");
}

// The footer's progress is the batch's: half of the second of four clips is 3/8.
TEST_F(VideoClipListTest, TheBatchProgressCountsTheClipsBefore) {
    AppModel model{services(), &platform};
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    openAndRead(model, {folder / "a.mp4", folder / "held.mp4", folder / "b.mp4", folder / "c.mp4"});
    platform.folderAnswer = folder.path();
    model.videoClips().exportClipOverlays();
    ASSERT_TRUE(waitUntil([&] {
        const auto batch = model.exportSession().clipBatchProgress();
        return batch && batch->index == 1 && batch->clipProgress == 0.5;
    }));
    EXPECT_EQ(model.exportSession().clipBatchProgress()->count, 4u);
    EXPECT_EQ(model.exportSession().clipBatchProgress()->clipName, "held.mp4");
    EXPECT_DOUBLE_EQ(model.exportSession().exportProgress(), 3.0 / 8);
    EXPECT_EQ(model.status().statusText(), "Создаю MOV клипа 2 из 4: held.mp4...");
    model.exportSession().cancelExport();
    ASSERT_TRUE(waitUntil([&] { return !model.exportSession().isExporting(); }));
}

TEST_F(VideoClipListTest, StoppingTheBatchKeepsTheFinishedOverlays) {
    AppModel model{services(), &platform};
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    openAndRead(model, {folder / "a.mp4", folder / "held.mp4", folder / "b.mp4"});
    platform.folderAnswer = folder.path();
    model.videoClips().exportClipOverlays();
    ASSERT_TRUE(waitUntil([&] { return heldReached.load(); }));
    model.exportSession().cancelExport();
    ASSERT_TRUE(waitUntil([&] { return !model.exportSession().isExporting(); }));
    EXPECT_TRUE(std::filesystem::exists(folder / "a-telemetry.mov"));
    EXPECT_FALSE(std::filesystem::exists(folder / "b-telemetry.mov"));  // never started
    EXPECT_EQ(model.status().statusText(), "Экспорт остановлен: готово 1 из 3 клипов.");
    EXPECT_EQ(model.exportSession().lastOutputFile(), folder / "a-telemetry.mov");
    EXPECT_FALSE(model.status().errorMessage());
}

TEST_F(VideoClipListTest, CancellingTheFolderDialogStartsNoBatch) {
    AppModel model{services(), &platform};
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    openAndRead(model, {folder / "a.mp4", folder / "b.mp4"});
    ASSERT_TRUE(model.videoClips().canExportClipOverlays());
    model.videoClips().exportClipOverlays();
    EXPECT_FALSE(model.exportSession().isExporting());
    EXPECT_EQ(platform.folderQuestions, 1);
}

}  // namespace
}  // namespace pacemark
