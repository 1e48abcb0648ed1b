// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTest>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>

#include "AppModel.h"
#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryTime.h"
#include "TestSupport.h"

namespace pacemark::testing {

// Waits, running the event loop, until `condition` holds; false after 20 s.
inline bool waitUntil(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 20000); }

// Starts loading `file` and waits until the load has ended; false on timeout.
inline bool loadAndWait(AppModel& model, const std::filesystem::path& file) {
    model.load(file);
    return waitUntil([&] { return !model.loadedActivity().isLoading(); });
}

// One sample a second from 09:00:00 UTC to `seconds` (the last one at
// `seconds` itself), moving east along latitude 45 by 0.0001° a second, so
// that the position tells the second; without positions on request.
inline TelemetryActivity makeActivity(double seconds, bool positions = true) {
    const TelemetryTimestamp start = *parseISO8601InternetDateTime("2024-05-01T09:00:00Z");
    std::vector<TelemetrySample> samples;
    for (double t = 0;; t = std::min(t + 1, seconds)) {
        TelemetrySample& sample = samples.emplace_back();
        sample.elapsed = t;
        sample.timestamp = start + std::chrono::microseconds(std::llround(t * 1e6));
        if (positions) {
            sample.latitude = 45.0;
            sample.longitude = 7.0 + t * 0.0001;
        }
        if (t == seconds) break;
    }
    return TelemetryActivity(std::nullopt, std::move(samples));
}

// makeActivity(durationSeconds) as a device writes it into a FIT file.
inline std::vector<std::uint8_t> fitActivityBytes(int durationSeconds) {
    FITWriter writer;
    writer.writeRecordDefinition(0, FITWriter::RecordLayout{});
    for (const TelemetrySample& sample : makeActivity(durationSeconds).samples) writer.writeRecord(0, sample);
    return writer.finish();
}

// A gate a worker can be held at until the test opens it (once).
class Gate {
public:
    void open() { opened_.set_value(); }
    // Bounded, so that work wrongly run on the main thread, the one that
    // opens the gate, fails the test instead of hanging it.
    void waitOpen() {
        waiting_ = true;
        EXPECT_EQ(openedFuture_.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "held for 30 s";
    }
    bool isWaiting() const { return waiting_; }

private:
    std::promise<void> opened_;
    std::shared_future<void> openedFuture_ = opened_.get_future().share();
    std::atomic<bool> waiting_ = false;
};

// A player that records the model's commands as "play", "pause" and "seek";
// tests emit its signals to play the part of the decoder.
class FakeVideoPlayer : public VideoBackgroundPlayer {
public:
    std::vector<std::string> calls;
    void play() override { calls.push_back("play"); }
    void pause() override { calls.push_back("pause"); }
    void seekToStart() override { calls.push_back("seek"); }
    void setPositionUpdatesPerSecond(double) override {}
};

// Answers the dialogs and the replace question with prepared answers and
// records what was asked.
class ScriptedPlatform : public AppModelPlatform {
public:
    std::optional<std::filesystem::path> saveAnswer, openAnswer;
    std::vector<SaveDialogRequest> requests;
    UnsavedLayoutChoice unsavedAnswer = UnsavedLayoutChoice::cancel;
    int replaceQuestions = 0;

    std::optional<std::filesystem::path> chooseOpenFile(const OpenDialogRequest&) override { return openAnswer; }
    std::optional<std::filesystem::path> folderAnswer;
    std::optional<std::filesystem::path> chooseFolder(const std::string&) override { return folderAnswer; }
    std::optional<std::filesystem::path> chooseSaveFile(const SaveDialogRequest& request) override {
        requests.push_back(request);
        return saveAnswer;
    }
    std::vector<std::filesystem::path> replaceFileQuestions;
    bool replaceFileAnswer = false;
    bool revealInFileManager(const std::filesystem::path&) override { return true; }
    bool confirmReplacingFile(const std::filesystem::path& file) override {
        replaceFileQuestions.push_back(file);
        return replaceFileAnswer;
    }
    UnsavedLayoutChoice askAboutUnsavedLayout() override {
        ++replaceQuestions;
        return unsavedAnswer;
    }
};

}  // namespace pacemark::testing
