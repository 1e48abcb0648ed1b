// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>

#include <filesystem>
#include <memory>
#include <optional>

#include "AppModelServices.h"
#include "WorkerTask.h"

namespace pacemark {

class AppStatus;
class ExportSessionModel;
class LoadedActivityModel;

// The video under the preview: opening it (the still frame on a worker, then
// the player on the main thread), its playback, where it sits on the canvas
// (scale and offsets), and its synchronization with the activity, which moves
// the export segment. Opening another video or clearing drops a pending open
// and ends a running synchronization. Main thread only.
class BackgroundVideoModel : public QObject {
    Q_OBJECT

public:
    static const QString noVideoSelectedText;  // "Видео не выбрано"

    // Empty services leave opening and synchronizing failing with a clear
    // text; without a player factory a video stays a still frame.
    BackgroundVideoModel(const AppModelServices& services, const LoadedActivityModel& activity,
                         ExportSessionModel& exportSession, AppStatus& status, QObject* parent = nullptr);
    // The player outlives this object by a moment; it must not call back.
    ~BackgroundVideoModel() override;

    QString videoBackgroundName() const { return videoBackgroundName_; }
    std::optional<std::filesystem::path> videoBackgroundFile() const { return videoFile_; }
    std::shared_ptr<const VideoBackgroundImage> videoBackgroundImage() const { return image_; }
    std::shared_ptr<VideoBackgroundPlayer> videoBackgroundPlayer() const { return player_; }
    bool isVideoPreviewPlaying() const { return isPlaying_; }
    double videoPreviewElapsedSeconds() const { return elapsedSeconds_; }
    double videoBackgroundScale() const { return scale_; }
    double videoBackgroundOffsetX() const { return offsetX_; }
    double videoBackgroundOffsetY() const { return offsetY_; }
    bool isLoadingVideo() const { return isLoadingVideo_; }
    bool isSynchronizingVideo() const { return isSynchronizing_; }
    // Ride seconds per second of the video as the last synchronization found
    // it (a timelapse's 10); 1 until then.
    double videoClipRate() const { return clipRate_; }

    void setVideoPreviewElapsedSeconds(double seconds);
    // How often the player reports its position while playing, for this
    // player and the ones opened later.
    void setPlaybackUpdatesPerSecond(double updates);
    void setVideoBackgroundScale(double scale);
    void setVideoBackgroundOffsetX(double offset);
    void setVideoBackgroundOffsetY(double offset);

    void loadVideoBackground(const std::filesystem::path& file);
    void clearVideoBackground();
    void resetVideoBackgroundTransform();
    void playVideoPreview();
    void stopVideoPreview();
    void toggleVideoPreviewPlayback();
    // Back to the first frame, still playing if it was.
    void restartVideoPreview();
    // Reads the video's camera GPS, location and creation date on a worker,
    // places the clip on the ride (VideoSynchronization::placeClip) and moves
    // the export segment to start there (whole seconds, not before the ride).
    // Opening a clip with camera GPS while a ride is loaded does the same.
    void synchronizeVideoWithTelemetry();
    // The finished video of this clip: the overlay burnt into it, the ride
    // shown from the segment start at the clip's rate, as the preview places
    // it (ExportSessionModel::burnInClip).
    void burnInVideo();
    // A synchronization whose video or activity is gone would move the
    // segment of another pair: it ends here and its result is dropped.
    void endVideoSynchronization();

signals:
    void videoBackgroundNameChanged();
    void videoBackgroundFileChanged();
    void videoBackgroundImageChanged();
    void videoBackgroundPlayerChanged();
    void isVideoPreviewPlayingChanged();
    // Carries the position so that observers of every parameterless change
    // (the sidebar sections) are not woken ten times a second by playback.
    void videoPreviewElapsedSecondsChanged(double seconds);
    void videoBackgroundScaleChanged();
    void videoBackgroundOffsetXChanged();
    void videoBackgroundOffsetYChanged();
    void isLoadingVideoChanged();
    void isSynchronizingVideoChanged();
    void videoClipRateChanged();

private:
    void setVideoBackgroundName(const QString& name);
    void setVideoFile(std::optional<std::filesystem::path> file);
    void setImage(std::shared_ptr<const VideoBackgroundImage> image);
    void setPlayer(std::shared_ptr<VideoBackgroundPlayer> player);
    void setIsPlaying(bool playing);
    void setIsLoadingVideo(bool loading);
    void setIsSynchronizing(bool synchronizing);
    void setClipRate(double rate);

    void finishOpening(const std::filesystem::path& file, std::shared_ptr<const VideoBackgroundImage> image);
    void failOpening(const QString& description);
    // On opening only a placement by the camera's clock is applied and shown.
    void synchronize(bool onOpening);
    void finishSynchronization(const ClipPlacement& placement);
    void failSynchronization(const QString& description);
    void applySynchronizedStartSeconds(std::int64_t startSeconds);

    // Drops the player (paused, so a view still holding it shows no motion)
    // and its observers.
    void releasePlayer();
    void observePlayer(VideoBackgroundPlayer* player);
    void stopObservingPlayer();

    AppModelServices services_;
    const LoadedActivityModel& activity_;
    ExportSessionModel& exportSession_;
    AppStatus& status_;

    QString videoBackgroundName_ = noVideoSelectedText;
    std::optional<std::filesystem::path> videoFile_;
    std::shared_ptr<const VideoBackgroundImage> image_;
    std::shared_ptr<VideoBackgroundPlayer> player_;
    bool isPlaying_ = false;
    double elapsedSeconds_ = 0;
    double scale_ = 1.0;
    double offsetX_ = 0;
    double offsetY_ = 0;
    bool isLoadingVideo_ = false;
    bool isSynchronizing_ = false;
    double clipRate_ = 1;
    // The running synchronization was started by opening the video.
    bool synchronizingOnOpening_ = false;

    WorkerTask openTask_{*this};
    // Also cancelled when the video or the activity is replaced, so a result
    // computed for the old pair is dropped.
    WorkerTask synchronizationTask_{*this};
    QMetaObject::Connection endObserver_;
    QMetaObject::Connection failureObserver_;
    QMetaObject::Connection positionObserver_;
    double playbackUpdatesPerSecond_ = 10;
};

}  // namespace pacemark
