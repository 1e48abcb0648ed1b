// SPDX-License-Identifier: GPL-3.0-or-later
#include "VideoPreviewPlayer.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace pacemark {
namespace {

constexpr double unknown = std::numeric_limits<double>::quiet_NaN();
// Frames this late make the decoder skip frames nothing refers to until it
// is back on time.
constexpr double catchUpLatenessSeconds = 0.25;

}  // namespace

VideoPreviewPlayer::VideoPreviewPlayer(std::filesystem::path path, QObject* parent, std::int64_t maximumWidth,
                                       std::int64_t maximumHeight)
    : QObject(parent),
      path_(std::move(path)),
      maximumWidth_(maximumWidth),
      maximumHeight_(maximumHeight),
      durationSeconds_(unknown),
      endSeconds_(unknown) {
    positionTimer_.setInterval(positionIntervalMilliseconds);
    positionTimer_.setTimerType(Qt::PreciseTimer);
    connect(&positionTimer_, &QTimer::timeout, this, &VideoPreviewPlayer::tick);
    worker_ = std::jthread([this](std::stop_token stopToken) { runWorker(std::move(stopToken)); });
}

VideoPreviewPlayer::~VideoPreviewPlayer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    worker_.request_stop();  // also interrupts a read stuck on a slow file
    changed_.notify_all();
    worker_.join();
}

double VideoPreviewPlayer::positionLocked(Clock::time_point now) const {
    if (!playing_) return anchorSeconds_;
    return anchorSeconds_ + std::chrono::duration<double>(now - anchorTime_).count();
}

void VideoPreviewPlayer::setPositionIntervalMilliseconds(int milliseconds) {
    positionTimer_.setInterval(std::max(milliseconds, 1));
}

void VideoPreviewPlayer::play() {
    {
        std::lock_guard lock(mutex_);
        if (playing_) return;
        playing_ = true;
        anchorTime_ = Clock::now();
    }
    changed_.notify_all();
    positionTimer_.start();
}

void VideoPreviewPlayer::pause() {
    double position = 0;
    {
        std::lock_guard lock(mutex_);
        if (!playing_) return;
        anchorSeconds_ = positionLocked(Clock::now());
        if (std::isfinite(endSeconds_)) anchorSeconds_ = std::min(anchorSeconds_, endSeconds_);
        playing_ = false;
        position = anchorSeconds_;
    }
    changed_.notify_all();
    positionTimer_.stop();
    emit positionChanged(position);
}

void VideoPreviewPlayer::seekToZero() {
    {
        std::lock_guard lock(mutex_);
        anchorSeconds_ = 0;
        anchorTime_ = Clock::now();
        ++seekGeneration_;
    }
    changed_.notify_all();
    emit positionChanged(0);
}

bool VideoPreviewPlayer::isPlaying() const {
    std::lock_guard lock(mutex_);
    return playing_;
}

double VideoPreviewPlayer::currentSeconds() const {
    std::lock_guard lock(mutex_);
    const double position = positionLocked(Clock::now());
    return std::isfinite(endSeconds_) ? std::min(position, endSeconds_) : position;
}

double VideoPreviewPlayer::durationSeconds() const {
    std::lock_guard lock(mutex_);
    return durationSeconds_;
}

std::shared_ptr<const MovieImage> VideoPreviewPlayer::currentFrame() const {
    std::lock_guard lock(mutex_);
    return frame_;
}

void VideoPreviewPlayer::tick() {
    double position = 0;
    bool ended = false;
    {
        std::lock_guard lock(mutex_);
        if (!playing_) return;
        position = positionLocked(Clock::now());
        if (std::isfinite(endSeconds_) && position >= endSeconds_) {
            // Stop on the end itself so the last position reported is the duration.
            position = endSeconds_;
            anchorSeconds_ = endSeconds_;
            playing_ = false;
            ended = true;
        }
    }
    if (ended) {
        changed_.notify_all();
        positionTimer_.stop();
    }
    emit positionChanged(position);
    if (ended) emit playbackEnded();
}

void VideoPreviewPlayer::publishFrame(MovieImage image) {
    auto shared = std::make_shared<const MovieImage>(std::move(image));
    {
        std::lock_guard lock(mutex_);
        frame_ = std::move(shared);
    }
    // One queued notification at a time; the receiver reads the newest frame.
    // A notification still queued when the player is destroyed is discarded by Qt.
    if (!frameNotificationPending_.exchange(true)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                frameNotificationPending_ = false;
                emit frameChanged();
            },
            Qt::QueuedConnection);
    }
}

void VideoPreviewPlayer::setFallingBehind(bool behind) {
    if (fallingBehind_ == behind) return;
    fallingBehind_ = behind;
    QMetaObject::invokeMethod(
        this, [this, behind] { emit fallingBehindChanged(behind); }, Qt::QueuedConnection);
}

void VideoPreviewPlayer::reportFailure(const QString& description) {
    QMetaObject::invokeMethod(
        this, [this, description] { emit playbackFailed(description); }, Qt::QueuedConnection);
}

void VideoPreviewPlayer::runWorker(std::stop_token stopToken) {
    std::optional<FFmpegMovieReader> reader;
    try {
        reader.emplace(path_, stopToken);
    } catch (const PacemarkError& error) {
        if (!stopToken.stop_requested()) reportFailure(QString::fromStdString(error.errorDescription()));
        return;
    }
    {
        std::lock_guard lock(mutex_);
        durationSeconds_ = reader->durationSeconds();
        endSeconds_ = durationSeconds_;
    }

    std::uint64_t seenGeneration = 0;
    bool showNextFrame = true;  // the next decoded frame is shown at once (start, rewind)
    bool atEnd = false;
    bool skipping = false;
    double lastFrameEnd = 0;
    Clock::time_point lastShown = Clock::now();
    try {
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return stopping_ || seekGeneration_ != seenGeneration || (!atEnd && (playing_ || showNextFrame));
                });
                if (stopping_) return;
                if (!playing_) setFallingBehind(false);
                if (seekGeneration_ != seenGeneration) {
                    seenGeneration = seekGeneration_;
                    lock.unlock();
                    reader->seek(0);
                    showNextFrame = true;
                    atEnd = false;
                    continue;
                }
            }

            const std::optional<double> frameTime = reader->decodeNextFrame();
            if (!frameTime) {
                atEnd = true;
                std::lock_guard lock(mutex_);
                // Without a stated duration the clock ends with the last frame.
                if (!std::isfinite(endSeconds_)) endSeconds_ = lastFrameEnd;
                continue;
            }
            const double frameEnd = *frameTime + reader->currentFrameDurationSeconds();
            lastFrameEnd = std::max(lastFrameEnd, frameEnd);
            if (showNextFrame) {
                showNextFrame = false;
                publishFrame(reader->currentFrameImage(maximumWidth_, maximumHeight_));
                lastShown = Clock::now();
                continue;
            }

            double lateness = 0;
            bool isPlaying = false;
            const auto now = Clock::now();
            {
                std::lock_guard lock(mutex_);
                lateness = positionLocked(now) - frameEnd;
                isPlaying = playing_;
            }
            if (skipping != (lateness > catchUpLatenessSeconds)) {
                skipping = lateness > catchUpLatenessSeconds;
                reader->setSkipsNonReferenceFrames(skipping);
            }
            if (lateness >= 0) {
                // Its time has passed. Dropped unconverted, unless nothing newer
                // was shown for too long: then this newest decoded frame is
                // shown late rather than the picture standing still.
                if (isPlaying && skipping) setFallingBehind(true);
                if (!isPlaying || std::chrono::duration<double>(now - lastShown).count() < maximumFrameGapSeconds) {
                    continue;
                }
                // Converted at half the size: the conversion of a 4K frame is a
                // good part of what a late frame costs.
                publishFrame(reader->currentFrameImage(maximumWidth_ / 2, maximumHeight_ / 2));
                lastShown = Clock::now();
                continue;
            }
            setFallingBehind(false);

            MovieImage image = reader->currentFrameImage(maximumWidth_, maximumHeight_);
            std::unique_lock lock(mutex_);
            // Hold the frame until the clock reaches it; pause, seek and stop interrupt.
            for (;;) {
                if (stopping_ || seekGeneration_ != seenGeneration) break;
                if (!playing_) {
                    changed_.wait(lock);
                    continue;
                }
                const double wait = *frameTime - positionLocked(Clock::now());
                if (wait <= 0) break;
                changed_.wait_for(lock, std::chrono::duration<double>(wait));
            }
            if (stopping_) return;
            if (seekGeneration_ != seenGeneration) continue;
            lock.unlock();
            publishFrame(std::move(image));
            lastShown = Clock::now();
        }
    } catch (const PacemarkError& error) {
        reportFailure(QString::fromStdString(error.errorDescription()));
    } catch (const std::exception&) {
        reportFailure(QString::fromUtf8("Не удалось воспроизвести видео «%1».")
                          .arg(QString::fromStdString(path_.filename().string())));
    }
}

}  // namespace pacemark
