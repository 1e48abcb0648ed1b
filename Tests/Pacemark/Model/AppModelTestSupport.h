#pragma once

#include <QCoreApplication>
#include <QTest>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "AppModel.h"

namespace pacemark::testing {

// Waits, running the event loop, until `condition` holds; false after the timeout.
inline bool waitUntil(const std::function<bool()>& condition, int timeoutMilliseconds = 20000) {
    return QTest::qWaitFor(condition, timeoutMilliseconds);
}

// An activity of `durationSeconds` with one sample per second (plus the end).
TelemetryActivity makeActivity(double durationSeconds, std::optional<std::filesystem::path> source = std::nullopt);

// A GPX track of `durationSeconds` with one point per second, moving east.
std::string gpxTrackText(int durationSeconds);
// A FIT activity of `durationSeconds` with one record per second (timestamp,
// heart rate, speed, power), as a device writes it.
std::vector<std::uint8_t> fitActivityBytes(int durationSeconds);

// Services over the core's loader and exporter, writing with the recording
// movie writers of `writers` and a renderer that fills each frame with the
// sample index in force.
AppModelServices recordingServices(std::shared_ptr<const MovieWriterFactory> writers);

// A gate a worker can be held at until the test opens it.
class Gate {
public:
    void open();
    void waitOpen();
    bool isWaiting() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool waiting_ = false;
};

// A player that records the model's commands as "play", "pause" and "seek";
// tests emit its signals to play the part of the decoder.
class FakeVideoPlayer : public VideoBackgroundPlayer {
public:
    std::vector<std::string> calls;
    void play() override { calls.push_back("play"); }
    void pause() override { calls.push_back("pause"); }
    void seekToStart() override { calls.push_back("seek"); }
};

// Answers the dialogs and the replace question with prepared answers and
// records what was asked.
class ScriptedPlatform : public AppModelPlatform {
public:
    std::optional<std::filesystem::path> answer;
    std::vector<SaveDialogRequest> requests;
    std::vector<std::filesystem::path> revealed;
    std::optional<std::filesystem::path> openAnswer;
    bool replaceAnswer = false;
    int replaceQuestions = 0;

    std::optional<std::filesystem::path> chooseOpenFile(const OpenDialogRequest&) override { return openAnswer; }
    bool confirmReplacingLayout() override {
        ++replaceQuestions;
        return replaceAnswer;
    }

    std::optional<std::filesystem::path> chooseSaveFile(const SaveDialogRequest& request) override {
        requests.push_back(request);
        return answer;
    }
    void revealInFileManager(const std::filesystem::path& file) override { revealed.push_back(file); }
};

}  // namespace pacemark::testing
