// SPDX-License-Identifier: GPL-3.0-or-later
#include "BackgroundVideoModel.h"

#include "PublishedValue.h"

#include <QPointer>

#include <cmath>

#include "AppStatus.h"
#include "ExportSessionModel.h"
#include "LoadedActivityModel.h"
#include "QtText.h"

namespace pacemark {

const QString BackgroundVideoModel::noVideoSelectedText = QStringLiteral("Видео не выбрано");

BackgroundVideoModel::BackgroundVideoModel(const AppModelServices& services, const LoadedActivityModel& activity,
                                           ExportSessionModel& exportSession, AppStatus& status, QObject* parent)
    : QObject(parent), services_(services), activity_(activity), exportSession_(exportSession), status_(status) {}

BackgroundVideoModel::~BackgroundVideoModel() { stopObservingPlayer(); }

void BackgroundVideoModel::burnInVideo() {
    if (!videoFile_ || isLoadingVideo_) return;
    exportSession_.burnInClip(*videoFile_,
                              {static_cast<double>(exportSession_.startOffsetSeconds()), clipRate_});
}

// MARK: - Published setters

void BackgroundVideoModel::setVideoBackgroundName(const QString& name) {
    publish(this, videoBackgroundName_, name, &BackgroundVideoModel::videoBackgroundNameChanged);
}

void BackgroundVideoModel::setVideoFile(std::optional<std::filesystem::path> file) {
    publish(this, videoFile_, std::move(file), &BackgroundVideoModel::videoBackgroundFileChanged);
}

void BackgroundVideoModel::setImage(std::shared_ptr<const VideoBackgroundImage> image) {
    publish(this, image_, std::move(image), &BackgroundVideoModel::videoBackgroundImageChanged);
}

void BackgroundVideoModel::setPlaybackUpdatesPerSecond(double updates) {
    playbackUpdatesPerSecond_ = updates;
    if (player_) player_->setPositionUpdatesPerSecond(updates);
}

void BackgroundVideoModel::setPlayer(std::shared_ptr<VideoBackgroundPlayer> player) {
    publish(this, player_, std::move(player), &BackgroundVideoModel::videoBackgroundPlayerChanged);
}

void BackgroundVideoModel::setIsPlaying(bool playing) {
    publish(this, isPlaying_, playing, &BackgroundVideoModel::isVideoPreviewPlayingChanged);
}

void BackgroundVideoModel::setIsLoadingVideo(bool loading) {
    publish(this, isLoadingVideo_, loading, &BackgroundVideoModel::isLoadingVideoChanged);
}

void BackgroundVideoModel::setIsSynchronizing(bool synchronizing) {
    publish(this, isSynchronizing_, synchronizing, &BackgroundVideoModel::isSynchronizingVideoChanged);
}

void BackgroundVideoModel::setVideoPreviewElapsedSeconds(double seconds) {
    if (elapsedSeconds_ == seconds) return;
    elapsedSeconds_ = seconds;
    emit videoPreviewElapsedSecondsChanged(seconds);
}

void BackgroundVideoModel::setVideoBackgroundScale(double scale) {
    publish(this, scale_, scale, &BackgroundVideoModel::videoBackgroundScaleChanged);
}

void BackgroundVideoModel::setVideoBackgroundOffsetX(double offset) {
    publish(this, offsetX_, offset, &BackgroundVideoModel::videoBackgroundOffsetXChanged);
}

void BackgroundVideoModel::setVideoBackgroundOffsetY(double offset) {
    publish(this, offsetY_, offset, &BackgroundVideoModel::videoBackgroundOffsetYChanged);
}

// MARK: - Opening and clearing

void BackgroundVideoModel::loadVideoBackground(const std::filesystem::path& file) {
    endVideoSynchronization();
    stopObservingPlayer();

    const QString name = qText(file.filename().string());
    setVideoBackgroundName(name);
    setVideoFile(std::nullopt);
    setImage(nullptr);
    releasePlayer();
    setIsPlaying(false);
    setVideoPreviewElapsedSeconds(0);
    resetVideoBackgroundTransform();
    setClipRate(1);  // a new clip's rate is known once it is synchronized
    setIsLoadingVideo(true);
    status_.setStatusText(QStringLiteral("Загружаю видео-подложку ") + name + QStringLiteral("..."));
    status_.setErrorMessage(std::nullopt);

    openTask_.start([this, reader = services_.readVideoStillFrame, file](const WorkerTask::Run& run) {
        // An open superseded before it got a thread does not touch the file;
        // the newer open or the clear already owns the state.
        if (run.stopRequested()) return;
        try {
            if (!reader) throw PacemarkError("Открытие видео не подключено.");
            auto image = std::make_shared<const VideoBackgroundImage>(reader(file, run.stopToken()));
            run.finish([this, file, image = std::move(image)]() mutable { finishOpening(file, std::move(image)); });
        } catch (...) {
            run.finish([this, description = WorkerTask::describeCurrentException()] { failOpening(description); });
        }
    });
}

void BackgroundVideoModel::finishOpening(const std::filesystem::path& file,
                                         std::shared_ptr<const VideoBackgroundImage> image) {
    // The player is made only for the open that won, here on the main thread
    // that owns it.
    std::shared_ptr<VideoBackgroundPlayer> player;
    if (services_.makeVideoPlayer) {
        try {
            player = services_.makeVideoPlayer(file);
        } catch (...) {
            failOpening(WorkerTask::describeCurrentException());
            return;
        }
    }
    stopObservingPlayer();
    const QString name = qText(file.filename().string());
    setVideoFile(file);
    setImage(std::move(image));
    setPlayer(player);
    setVideoPreviewElapsedSeconds(0);
    setVideoBackgroundName(name);
    if (player) {
        player->setPositionUpdatesPerSecond(playbackUpdatesPerSecond_);
        observePlayer(player.get());
    }
    setIsLoadingVideo(false);
    status_.setStatusText(activity_.activity() ? QStringLiteral("Видео-подложка загружена: ") + name
                                               : QStringLiteral("Видео-подложка загружена. Добавь FIT или GPX."));
    // A clip with the camera's own clock is placed at once; the guesses from
    // a location or a date wait for the user's "Синхр.".
    if (activity_.activity() && services_.readClipSynchronization) synchronize(true);
}

void BackgroundVideoModel::failOpening(const QString& description) {
    stopObservingPlayer();
    // The name of the failed file stays on show.
    setVideoFile(std::nullopt);
    setImage(nullptr);
    releasePlayer();
    setIsPlaying(false);
    setVideoPreviewElapsedSeconds(0);
    setIsLoadingVideo(false);
    status_.setErrorMessage(description);
    status_.setStatusText(QStringLiteral("Не удалось загрузить видео-подложку."));
}

void BackgroundVideoModel::clearVideoBackground() {
    openTask_.cancel();  // a pending open is dropped
    endVideoSynchronization();
    stopVideoPreview();
    stopObservingPlayer();
    setVideoBackgroundName(noVideoSelectedText);
    setClipRate(1);
    setVideoFile(std::nullopt);
    setImage(nullptr);
    releasePlayer();
    setIsPlaying(false);
    setVideoPreviewElapsedSeconds(0);
    resetVideoBackgroundTransform();
    setIsLoadingVideo(false);
}

void BackgroundVideoModel::resetVideoBackgroundTransform() {
    setVideoBackgroundScale(1.0);
    setVideoBackgroundOffsetX(0);
    setVideoBackgroundOffsetY(0);
}

// MARK: - The player

void BackgroundVideoModel::releasePlayer() {
    // A view may still hold the old player for a moment; it must not keep
    // playing unseen.
    if (auto player = player_) player->pause();
    setPlayer(nullptr);
}

void BackgroundVideoModel::stopObservingPlayer() {
    disconnect(endObserver_);
    disconnect(failureObserver_);
    disconnect(positionObserver_);
    endObserver_ = {};
    failureObserver_ = {};
    positionObserver_ = {};
}

void BackgroundVideoModel::observePlayer(VideoBackgroundPlayer* player) {
    stopObservingPlayer();
    const QPointer<VideoBackgroundPlayer> weakPlayer(player);
    const auto isCurrent = [this, weakPlayer] { return weakPlayer && weakPlayer.data() == player_.get(); };
    // Playback does not loop: the end rewinds to the first frame and stops.
    endObserver_ = connect(player, &VideoBackgroundPlayer::playbackEnded, this, [this, weakPlayer, isCurrent] {
        if (!isCurrent()) return;
        weakPlayer->seekToStart();
        setVideoPreviewElapsedSeconds(0);
        setIsPlaying(false);
    });
    // A player that cannot decode the file stops for good; saying so beats a
    // play button that silently does nothing.
    failureObserver_ = connect(player, &VideoBackgroundPlayer::playbackFailed, this,
                               [this, isCurrent](const QString& description) {
                                   if (!isCurrent()) return;
                                   setIsPlaying(false);
                                   status_.setErrorMessage(description);
                               });
    positionObserver_ = connect(player, &VideoBackgroundPlayer::positionChanged, this,
                                [this, isCurrent](double seconds) {
                                    if (!isCurrent() || !std::isfinite(seconds)) return;
                                    setVideoPreviewElapsedSeconds(std::max(seconds, 0.0));
                                });
}

void BackgroundVideoModel::playVideoPreview() {
    const auto player = player_;
    if (!player) return;
    player->play();
    setIsPlaying(true);
}

void BackgroundVideoModel::stopVideoPreview() {
    if (const auto player = player_) player->pause();
    setIsPlaying(false);
}

void BackgroundVideoModel::toggleVideoPreviewPlayback() {
    if (isPlaying_) {
        stopVideoPreview();
    } else {
        playVideoPreview();
    }
}

void BackgroundVideoModel::restartVideoPreview() {
    const auto player = player_;
    if (!player) return;
    setVideoPreviewElapsedSeconds(0);
    player->seekToStart();
    if (isPlaying_) player->play();
}

// MARK: - Synchronization

void BackgroundVideoModel::synchronizeVideoWithTelemetry() { synchronize(false); }

void BackgroundVideoModel::synchronize(bool onOpening) {
    const auto activity = activity_.activity();
    if (!activity) {
        status_.setErrorMessage(QStringLiteral("Сначала загрузи FIT или GPX."));
        return;
    }
    if (!videoFile_) {
        status_.setErrorMessage(QStringLiteral("Сначала загрузи видео-подложку."));
        return;
    }
    if (isSynchronizing_) {
        // Asked for while the attempt on opening runs: that one's answer is
        // now the user's, whatever the method.
        if (!onOpening && synchronizingOnOpening_) {
            synchronizingOnOpening_ = false;
            status_.setStatusText(QStringLiteral("Ищу синхронизацию видео с треком..."));
            status_.setErrorMessage(std::nullopt);
        }
        return;
    }

    setIsSynchronizing(true);
    synchronizingOnOpening_ = onOpening;
    if (!onOpening) {
        status_.setStatusText(QStringLiteral("Ищу синхронизацию видео с треком..."));
        status_.setErrorMessage(std::nullopt);
    }

    // The activity is immutable and shared; the match is computed on the
    // worker against the activity as it is now.
    synchronizationTask_.start([this, clipReader = services_.readClipSynchronization,
                                reader = services_.readVideoMetadata, file = *videoFile_,
                                activity](const WorkerTask::Run& run) {
        if (run.stopRequested()) return;
        try {
            ClipSynchronizationInput clip;
            if (clipReader) {
                clip = clipReader(file, run.stopToken());
            } else {
                if (!reader) throw PacemarkError("Чтение метаданных видео не подключено.");
                clip.metadata = VideoSynchronization::metadataFromItems(reader(file, run.stopToken()));
            }
            auto placement = VideoSynchronization::placeClip(*activity, clip);
            run.finish([this, placement = std::move(placement)] { finishSynchronization(placement); });
        } catch (...) {
            run.finish(
                [this, description = WorkerTask::describeCurrentException()] { failSynchronization(description); });
        }
    });
}

void BackgroundVideoModel::finishSynchronization(const ClipPlacement& placement) {
    if (synchronizingOnOpening_ && placement.method != VideoSynchronizationMethod::cameraGPS) {
        setIsSynchronizing(false);
        return;
    }
    // The segment is in whole seconds from the ride's start: a clip that
    // begins before the ride starts the segment at the ride's start.
    if (placement.isPlaced()) {
        applySynchronizedStartSeconds(std::llround(placement.startSeconds));
        setClipRate(placement.rate);
    }
    setIsSynchronizing(false);
    status_.setStatusText(qText(placement.message));
}

void BackgroundVideoModel::setClipRate(double rate) {
    if (clipRate_ == rate) return;
    clipRate_ = rate;
    emit videoClipRateChanged();
}

void BackgroundVideoModel::failSynchronization(const QString& description) {
    if (synchronizingOnOpening_) {
        // Opening said what it had to; the button gives the reason.
        setIsSynchronizing(false);
        return;
    }
    setIsSynchronizing(false);
    status_.setErrorMessage(description);
    status_.setStatusText(QStringLiteral("Синхронизация не удалась."));
}

void BackgroundVideoModel::applySynchronizedStartSeconds(std::int64_t startSeconds) {
    // An activity shorter than a second has no segment to move.
    const auto segment = VideoSynchronization::applySynchronizedStartSeconds(
        startSeconds, activity_.activityDurationSeconds(),
        VideoExportSegment{exportSession_.startOffsetSeconds(), exportSession_.exportEndSeconds()});
    if (!segment) return;
    exportSession_.setSegment(segment->startOffsetSeconds, segment->exportEndSeconds);
    // The video's first frame is now the segment start.
    setVideoPreviewElapsedSeconds(0);
    if (const auto player = player_) player->seekToStart();
}

void BackgroundVideoModel::endVideoSynchronization() {
    // Left running it would also keep the command disabled for good.
    synchronizationTask_.cancel();
    setIsSynchronizing(false);
}

}  // namespace pacemark
