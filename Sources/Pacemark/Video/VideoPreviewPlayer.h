// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "FFmpegMovieReader.h"

namespace pacemark {

// A muted player for the background video of the editor preview.
//
// The object lives on the thread that creates it (the main thread) and every
// public method is called there; none of them blocks. A worker thread opens the
// file, decodes the video track (audio is never opened) and keeps the newest
// frame due on the playback clock; frames that would arrive late are decoded but
// not converted, so the picture follows the clock instead of falling behind.
// A decoder slower than real time still shows its newest frame at least every
// maximumFrameGapSeconds: playback degrades to a lower rate, never to a still
// picture. While it is that far behind the decoder also skips the frames
// nothing refers to and its loop filter, and says so (fallingBehindChanged).
//
// Signals are delivered on the owner's thread:
// - positionChanged every 0.1 s while playing, and once on pause and seek;
// - playbackEnded once when the clock reaches the end; the player is then
//   paused at the end (whoever owns it rewinds with seekToZero());
// - frameChanged when a new frame is available from currentFrame() (coalesced:
//   several frames may arrive behind one signal);
// - playbackFailed with a Russian description when the file cannot be played;
// - fallingBehindChanged(true) when decoding falls behind the clock while
//   playing, (false) once a frame is on time again or playback stops.
class VideoPreviewPlayer : public QObject {
    Q_OBJECT

public:
    static constexpr int positionIntervalMilliseconds = 100;
    // Longest time a playing player goes without showing a newer frame, as
    // long as the decoder produces any.
    static constexpr double maximumFrameGapSeconds = 0.15;
    // How often positionChanged is emitted while playing (100 ms unless set).
    void setPositionIntervalMilliseconds(int milliseconds);

    // Starts opening `path` in the background; the player starts paused at 0.
    // Frames are fitted into the maximum size like the still frame.
    explicit VideoPreviewPlayer(std::filesystem::path path, QObject* parent = nullptr,
                                std::int64_t maximumWidth = 1920, std::int64_t maximumHeight = 1080);
    // Stops the worker and waits for it (it finishes its current frame).
    ~VideoPreviewPlayer() override;

    const std::filesystem::path& path() const { return path_; }

    void play();
    void pause();
    void seekToZero();

    bool isPlaying() const;
    // The playback clock in seconds from the start of the video.
    double currentSeconds() const;
    // NaN until the file is open, or when it states no duration.
    double durationSeconds() const;
    // The newest frame on the clock, or null before the first one is decoded.
    // May be called from any thread; the image is never modified afterwards.
    std::shared_ptr<const MovieImage> currentFrame() const;

signals:
    void positionChanged(double seconds);
    void playbackEnded();
    void frameChanged();
    void playbackFailed(const QString& description);
    void fallingBehindChanged(bool behind);

private:
    using Clock = std::chrono::steady_clock;

    void tick();
    double positionLocked(Clock::time_point now) const;
    void runWorker(std::stop_token stopToken);
    void publishFrame(MovieImage image);
    void reportFailure(const QString& description);
    // Worker side: reports a change of the falling-behind state once.
    void setFallingBehind(bool behind);

    const std::filesystem::path path_;
    const std::int64_t maximumWidth_;
    const std::int64_t maximumHeight_;
    QTimer positionTimer_;

    // Shared with the worker, guarded by mutex_.
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool playing_ = false;
    bool stopping_ = false;
    double anchorSeconds_ = 0;         // clock value at anchorTime_
    Clock::time_point anchorTime_{};   // when the clock last started or jumped
    std::uint64_t seekGeneration_ = 0;  // advanced by every seek
    double durationSeconds_;
    double endSeconds_;  // where playback ends: the duration, or the last frame's end
    std::shared_ptr<const MovieImage> frame_;

    std::atomic<bool> frameNotificationPending_{false};
    bool fallingBehind_ = false;  // worker thread only
    std::jthread worker_;
};

}  // namespace pacemark
