// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QThreadPool>

#include <fstream>
#include <map>
#include <mutex>

#include "AppModelTestSupport.h"

namespace pacemark {
namespace {

using namespace testing;

// Several clips as background video and the batch of their overlays, over
// fake services: a clip's reading is looked up by its file name (a missing
// name cannot be read), and the exporter writes a small file unless the
// clip's name says otherwise. Placement and the overlays' configs are the
// core's.
class VideoClipListTest : public ::testing::Test {
protected:
    VideoClipListTest() {
        const TelemetryTimestamp rideStart = *activity.samples.front().timestamp;
        // Recorded 100 s into the ride: its location is the ride's there.
        readings["located.mp4"] = clipAt(100, 42);
        // Dated a day after the ride: no zone makes it overlap.
        readings["late.mp4"].synchronization.metadata.creationDate = rideStart + std::chrono::hours(30);
        readings["late.mp4"].synchronization.durationSeconds = 5;
        readings["dated.mp4"].synchronization.metadata.creationDate = rideStart + std::chrono::seconds(1500);
        readings["dated.mp4"].synchronization.durationSeconds = 7;
        for (const std::string name : {"a.mp4", "b.mp4", "b.mov", "failing.mp4", "a-telemetry.mov"}) {
            readings[name] = clipAt(200, 2);
        }
    }

    // A two-second 25 fps clip of 192 × 108 recorded `second` s into the ride.
    static ClipOverlayInput clipAt(int second, double seconds) {
        ClipOverlayInput clip;
        clip.synchronization.metadata.location = VideoLocation{45.0, 7.0 + second * 0.0001};
        clip.synchronization.durationSeconds = seconds;
        clip.facts = ClipFacts{FrameRate(25, 1), std::llround(seconds * 25), 192, 108, seconds};
        return clip;
    }

    AppModelServices services() {
        AppModelServices result;
        result.loadTelemetry = [this](const std::filesystem::path&, std::stop_token) { return activity; };
        result.readVideoStillFrame = [](const std::filesystem::path&, std::stop_token) {
            return VideoBackgroundImage{2, 1, {}};
        };
        result.makeVideoPlayer = [](const std::filesystem::path&) { return std::make_shared<FakeVideoPlayer>(); };
        result.readClipForOverlay = [this](const std::filesystem::path& file, std::stop_token) {
            const auto found = readings.find(file.filename().string());
            if (found == readings.end()) throw PacemarkError("Файл «" + file.filename().string() + "» не читается.");
            ClipOverlayInput clip = found->second;
            clip.file = file;
            return clip;
        };
        // "failing*" overlays fail.
        result.exportMovie = [this](std::shared_ptr<const TelemetryActivity>, const TelemetryRenderConfig& config,
                                    const std::function<void(double)>& progress, std::stop_token) {
            if (config.outputFile.filename().string().starts_with("failing")) throw PacemarkError("Диск переполнен.");
            progress(1);
            std::ofstream(config.outputFile) << "movie";
            const std::lock_guard<std::mutex> guard(exportedLock);
            exported.push_back(config);
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
    std::map<std::string, ClipOverlayInput> readings;
    TemporaryFolder folder;
    ScriptedPlatform platform;
    std::mutex exportedLock;
    std::vector<TelemetryRenderConfig> exported;
};

// Length, method and start of each clip, as the list shows them; a clip
// that cannot be placed or read says why, without an alert.
TEST_F(VideoClipListTest, EachClipShowsItsPlacement) {
    AppModel model{services(), &platform};
    ASSERT_TRUE(loadAndWait(model, "ride.fit"));
    openAndRead(model, {"/clips/located.mp4", "/clips/dated.mp4", "/clips/late.mp4", "/clips/missing.mp4"});
    const auto& clips = model.videoClips().clips();
    ASSERT_EQ(clips.size(), 4u);
    EXPECT_EQ(clips[0].lengthText(), "00:42");
    EXPECT_EQ(clips[0].placementText(), "по месту съёмки");
    EXPECT_EQ(clips[0].startText(), "01:40");
    EXPECT_EQ(clips[1].startText(), "25:00");
    EXPECT_TRUE(clips[2].placementText().startsWith("не размещён: Дата съемки видео не попадает в трек"))
        << clips[2].placementText().toStdString();
    EXPECT_EQ(clips[3].placementText(), "Файл «missing.mp4» не читается.");
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

TEST_F(VideoClipListTest, OneClipsFailureDoesNotStopTheBatch) {
    AppModel model{services(), &platform};
    exportBatch(model, {"a.mp4", "late.mp4", "failing.mp4", "b.mp4", "missing.mp4"});
    EXPECT_TRUE(std::filesystem::exists(folder / "a-telemetry.mov"));
    EXPECT_TRUE(std::filesystem::exists(folder / "b-telemetry.mov"));
    EXPECT_EQ(model.status().statusText(), "Готово: 2 из 5 клипов. Не удалось: 3.");
    EXPECT_EQ(model.status().errorMessage(),
              "Не удалось сделать MOV для 3 клипов:\n"
              "late.mp4: Дата съемки видео не попадает в трек ни в одном часовом поясе: видео не синхронизировано.\n"
              "failing.mp4: Диск переполнен.\n"
              "missing.mp4: Файл «missing.mp4» не читается.");
    EXPECT_EQ(model.exportSession().lastOutputFile(), folder / "b-telemetry.mov");
    EXPECT_FALSE(model.exportSession().clipBatchProgress());
}

// Each overlay goes into the chosen folder with the window's codec and
// layout, at its clip's size, starting where its clip starts in the ride.
TEST_F(VideoClipListTest, TheBatchMakesEachOverlayForItsClip) {
    AppModel model{services(), &platform};
    model.exportSession().setCodec(TelemetryVideoCodec::proRes4444);
    model.layoutEditor().applyPreset(PacemarkPreset::minimal);
    exportBatch(model, {"located.mp4", "a.mp4"});
    ASSERT_EQ(exported.size(), 2u);
    const TelemetryRenderConfig& first = exported[0];
    EXPECT_EQ(first.outputFile, folder / "located-telemetry.mov");
    EXPECT_EQ(first.codec, TelemetryVideoCodec::proRes4444);
    EXPECT_EQ(first.layout, model.layoutEditor().overlayLayout());
    EXPECT_EQ(first.width, 192);
    EXPECT_DOUBLE_EQ(first.startOffsetSeconds, 100);
    EXPECT_DOUBLE_EQ(exported[1].startOffsetSeconds, 200);
}

// A clip named like another clip's overlay is not written over.
TEST_F(VideoClipListTest, TheBatchNeverWritesOverOneOfItsClips) {
    writeFileText(folder / "a-telemetry.mov", "clip");
    AppModel model{services(), &platform};
    exportBatch(model, {"a.mp4", "a-telemetry.mov"});
    EXPECT_EQ(readFileBytes(folder / "a-telemetry.mov"), std::vector<std::uint8_t>({'c', 'l', 'i', 'p'}));
    EXPECT_TRUE(std::filesystem::exists(folder / "a-telemetry-telemetry.mov"));
    ASSERT_TRUE(model.status().errorMessage());
    EXPECT_TRUE(model.status().errorMessage()->startsWith("Не удалось сделать MOV для 1 клипа:\na.mp4: "));
}

TEST_F(VideoClipListTest, TwoClipsOfOneNameGetOneOverlay) {
    AppModel model{services(), &platform};
    exportBatch(model, {"b.mp4", "b.mov"});
    ASSERT_EQ(exported.size(), 1u);
    EXPECT_EQ(model.status().errorMessage(),
              "Не удалось сделать MOV для 1 клипа:\nb.mov: Подложка «b-telemetry.mov» уже делается для клипа b.mp4.");
}

}  // namespace
}  // namespace pacemark
