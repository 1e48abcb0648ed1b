#include "AppModel.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

#include "Telemetry/TelemetryFormatters.h"

namespace pacemark {

const QString AppModel::noFileSelectedText = QStringLiteral("Файл не выбран");
const QString AppModel::noVideoSelectedText = QStringLiteral("Видео не выбрано");

namespace {

QString qText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString lastPathComponent(const std::filesystem::path& url) { return qText(url.filename().string()); }

// The extension without its dot, ASCII letters lower-cased; empty when there is none.
std::string lowerCasedExtension(const std::filesystem::path& url) {
    std::string extension = url.extension().string();
    if (!extension.empty() && extension.front() == '.') extension.erase(0, 1);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return extension;
}

bool isTelemetryExtension(const std::string& extension) { return extension == "fit" || extension == "gpx"; }

bool isVideoExtension(const std::string& extension) {
    return extension == "mp4" || extension == "mov" || extension == "m4v";
}

// The Russian text of whatever a worker's operation threw.
QString describeCurrentException() {
    try {
        throw;
    } catch (const PacemarkError& error) {
        return qText(error.errorDescription());
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Недостаточно памяти.");
    } catch (const std::exception& error) {
        return QStringLiteral("Непредвиденная ошибка: ") + qText(error.what());
    } catch (...) {
        return QStringLiteral("Непредвиденная ошибка.");
    }
}

// Runs `work` on the shared worker pool. The pool is drained before the
// application object is destroyed, so the queued calls of a worker always
// find the application alive.
void startWorker(std::function<void()> work) {
    QThreadPool* pool = QThreadPool::globalInstance();
    // The pool sizes itself by the processor count; on a small machine a
    // load or a video open would then queue behind a long export. Room for
    // an export, a stopping one, a load and a video open at once.
    constexpr int minimumWorkers = 4;
    if (pool->maxThreadCount() < minimumWorkers) pool->setMaxThreadCount(minimumWorkers);
    pool->start(std::move(work));
}

// Queues `call` to the main thread. Callers capture the model as a QPointer
// and read it only inside `call`, on the main thread.
template <typename Call>
void onMainThread(Call call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
}

std::string elapsedText(double seconds) { return TelemetryFormatters::elapsed(seconds); }

}  // namespace

AppModel::AppModel(AppModelServices services, AppModelPlatform* platform, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      platform_(platform),
      selectedFileName_(noFileSelectedText),
      videoBackgroundName_(noVideoSelectedText),
      statusText_(QStringLiteral("Выбери FIT или GPX файл.")),
      overlayLayout_(PacemarkLayout::preset(PacemarkPreset::compactRace)) {
    // The selection is set last, once the layout exists.
    if (!overlayLayout_.widgets.empty()) selectedWidgetID_ = overlayLayout_.widgets.front().id;
}

AppModel::~AppModel() {
    // Nobody will see the results any more: let the workers stop early
    // instead of finishing a long export into the void.
    if (loadTask_) loadTask_->request_stop();
    if (exportTask_) exportTask_->request_stop();
    if (videoLoadTask_) videoLoadTask_->request_stop();
    if (videoSynchronizationTask_) videoSynchronizationTask_->request_stop();
    // The player outlives this body by a moment; it must not call back.
    disconnect(videoEndObserver_);
    disconnect(videoFailureObserver_);
    disconnect(videoTimeObserver_);
}

void AppModel::assertMainThread() const { Q_ASSERT(QThread::currentThread() == thread()); }

// MARK: - Published setters

#define PACEMARK_SET(member, value, signal) \
    do {                                    \
        assertMainThread();                 \
        if (member == (value)) return;      \
        member = (value);                   \
        emit signal();                      \
    } while (false)

void AppModel::setActivity(std::shared_ptr<const TelemetryActivity> activity) {
    assertMainThread();
    if (activity_ == activity) return;
    activity_ = std::move(activity);
    emit activityChanged();
    emit derivedValuesChanged();
}

void AppModel::setSelectedFileName(const QString& name) { PACEMARK_SET(selectedFileName_, name, selectedFileNameChanged); }
void AppModel::setVideoBackgroundName(const QString& name) {
    PACEMARK_SET(videoBackgroundName_, name, videoBackgroundNameChanged);
}
void AppModel::setVideoBackgroundURL(std::optional<std::filesystem::path> url) {
    PACEMARK_SET(videoBackgroundURL_, url, videoBackgroundURLChanged);
}
void AppModel::setVideoBackgroundImage(std::shared_ptr<const VideoBackgroundImage> image) {
    PACEMARK_SET(videoBackgroundImage_, image, videoBackgroundImageChanged);
}
void AppModel::setVideoBackgroundPlayer(std::shared_ptr<VideoBackgroundPlayer> player) {
    assertMainThread();
    if (videoBackgroundPlayer_ == player) return;
    videoBackgroundPlayer_ = std::move(player);
    emit videoBackgroundPlayerChanged();
    emit derivedValuesChanged();
}
void AppModel::setIsVideoPreviewPlaying(bool playing) {
    PACEMARK_SET(isVideoPreviewPlaying_, playing, isVideoPreviewPlayingChanged);
}
void AppModel::setIsSynchronizingVideo(bool synchronizing) {
    PACEMARK_SET(isSynchronizingVideo_, synchronizing, isSynchronizingVideoChanged);
}
void AppModel::setVideoPreviewElapsedSeconds(double seconds) {
    assertMainThread();
    if (videoPreviewElapsedSeconds_ == seconds) return;
    videoPreviewElapsedSeconds_ = seconds;
    emit videoPreviewElapsedSecondsChanged();
    emit derivedValuesChanged();
}
void AppModel::setVideoBackgroundScale(double scale) {
    PACEMARK_SET(videoBackgroundScale_, scale, videoBackgroundScaleChanged);
}
void AppModel::setVideoBackgroundOffsetX(double offset) {
    PACEMARK_SET(videoBackgroundOffsetX_, offset, videoBackgroundOffsetXChanged);
}
void AppModel::setVideoBackgroundOffsetY(double offset) {
    PACEMARK_SET(videoBackgroundOffsetY_, offset, videoBackgroundOffsetYChanged);
}
void AppModel::setStatusText(const QString& text) { PACEMARK_SET(statusText_, text, statusTextChanged); }
void AppModel::setIsLoading(bool loading) { PACEMARK_SET(isLoading_, loading, isLoadingChanged); }
void AppModel::setIsLoadingVideo(bool loading) { PACEMARK_SET(isLoadingVideo_, loading, isLoadingVideoChanged); }
void AppModel::setIsExporting(bool exporting) { PACEMARK_SET(isExporting_, exporting, isExportingChanged); }
void AppModel::setExportProgress(double progress) { PACEMARK_SET(exportProgress_, progress, exportProgressChanged); }
void AppModel::setWidth(qint64 width) { PACEMARK_SET(width_, width, widthChanged); }
void AppModel::setHeight(qint64 height) { PACEMARK_SET(height_, height, heightChanged); }
void AppModel::setFramesPerSecond(qint64 framesPerSecond) {
    PACEMARK_SET(framesPerSecond_, framesPerSecond, framesPerSecondChanged);
}
void AppModel::setCodec(TelemetryVideoCodec codec) { PACEMARK_SET(codec_, codec, codecChanged); }
void AppModel::setStartOffsetSeconds(qint64 seconds) {
    assertMainThread();
    if (startOffsetSeconds_ == seconds) return;
    startOffsetSeconds_ = seconds;
    emit startOffsetSecondsChanged();
    emit derivedValuesChanged();
}
void AppModel::setExportEndSecondsValue(qint64 seconds) {
    assertMainThread();
    if (exportEndSeconds_ == seconds) return;
    exportEndSeconds_ = seconds;
    emit exportEndSecondsChanged();
    emit derivedValuesChanged();
}
void AppModel::setSelectedPreset(PacemarkPreset preset) { PACEMARK_SET(selectedPreset_, preset, selectedPresetChanged); }
void AppModel::setOverlayLayout(const PacemarkLayout& layout) {
    PACEMARK_SET(overlayLayout_, layout, overlayLayoutChanged);
}
void AppModel::setSelectedWidgetID(std::optional<UUID> id) { PACEMARK_SET(selectedWidgetID_, id, selectedWidgetIDChanged); }
void AppModel::setLastOutputURL(std::optional<std::filesystem::path> url) {
    PACEMARK_SET(lastOutputURL_, url, lastOutputURLChanged);
}
void AppModel::setErrorMessage(std::optional<QString> message) {
    PACEMARK_SET(errorMessage_, message, errorMessageChanged);
}

#undef PACEMARK_SET

// MARK: - Derived values

QString AppModel::durationLabel() const {
    if (!activity_) return qText(TelemetryFormatters::missing);
    return qText(elapsedText(activity_->summary.durationSeconds));
}

QString AppModel::distanceLabel() const {
    return qText(TelemetryFormatters::distance(activity_ ? activity_->summary.totalDistanceMeters : std::nullopt));
}

QString AppModel::sampleCountLabel() const {
    if (!activity_) return qText(TelemetryFormatters::missing);
    return QString::number(activity_->samples.size());
}

qint64 AppModel::activityDurationSeconds() const {
    if (!activity_) return 0;
    const double duration = std::ceil(activity_->summary.durationSeconds);
    // Not below 0; a NaN duration counts as none.
    return duration > 0 ? static_cast<qint64>(duration) : 0;
}

qint64 AppModel::exportSegmentSeconds() const {
    if (!activity_) return 0;
    return std::max<qint64>(exportEndSeconds_ - startOffsetSeconds_, 0);
}

QString AppModel::exportRangeLabel() const {
    if (!activity_) return qText(TelemetryFormatters::missing);
    return qText(elapsedText(static_cast<double>(startOffsetSeconds_)) + " - " +
                 elapsedText(static_cast<double>(exportEndSeconds_)));
}

QString AppModel::exportSegmentLabel() const {
    if (!activity_) return qText(TelemetryFormatters::missing);
    return qText(elapsedText(static_cast<double>(exportSegmentSeconds())));
}

double AppModel::previewTelemetryElapsedSeconds() const {
    if (!activity_) return 0;
    const double duration = activity_->summary.durationSeconds;
    const double start = static_cast<double>(startOffsetSeconds_);
    if (videoBackgroundPlayer_) {
        // The video's position counts from the segment start.
        return std::min(start + std::max(videoPreviewElapsedSeconds_, 0.0), duration);
    }
    // A still preview shows the instant 42 % into the segment.
    const double segment = std::max(static_cast<double>(exportEndSeconds_ - startOffsetSeconds_), 1.0);
    return std::min(start + 0.42 * segment, duration);
}

// MARK: - Loading

void AppModel::load(const std::filesystem::path& url) {
    assertMainThread();
    if (loadTask_) loadTask_->request_stop();
    const std::int64_t sequence = ++loadSequence_;
    // A running synchronization belongs to the activity that is going away.
    endVideoSynchronization();

    const QString name = lastPathComponent(url);
    setActivity(nullptr);
    setSelectedFileName(name);
    resetExportRange();
    setLastOutputURL(std::nullopt);
    setIsLoading(true);
    setStatusText(QStringLiteral("Загружаю ") + name + QStringLiteral("..."));
    setErrorMessage(std::nullopt);

    std::stop_source stop;
    loadTask_ = stop;
    // Sandboxed file access does not exist on this platform, so there is no
    // access to begin or end around the read.
    startWorker([weak = QPointer<AppModel>(this), loader = services_.loadTelemetry, url, sequence,
                 token = stop.get_token()] {
        // A load superseded before it got a thread does not read the file at all.
        if (token.stop_requested()) {
            onMainThread([weak, sequence] {
                if (AppModel* model = weak.data()) model->cancelledLoad(sequence);
            });
            return;
        }
        try {
            if (!loader) throw PacemarkError("Чтение файлов телеметрии не подключено.");
            auto activity = std::make_shared<const TelemetryActivity>(loader(url));
            if (token.stop_requested()) {
                onMainThread([weak, sequence] {
                    if (AppModel* model = weak.data()) model->cancelledLoad(sequence);
                });
                return;
            }
            onMainThread([weak, sequence, activity = std::move(activity)]() mutable {
                if (AppModel* model = weak.data()) model->finishLoad(sequence, std::move(activity));
            });
        } catch (...) {
            onMainThread([weak, sequence, description = describeCurrentException()] {
                if (AppModel* model = weak.data()) model->failLoad(sequence, description);
            });
        }
    });
}

void AppModel::finishLoad(std::int64_t sequence, std::shared_ptr<const TelemetryActivity> activity) {
    if (sequence != loadSequence_) return;
    const auto sampleCount = activity->samples.size();
    setActivity(activity);
    resetExportRange(*activity);
    setStatusText(QStringLiteral("Загружено точек: ") + QString::number(sampleCount) + QStringLiteral("."));
    setIsLoading(false);
    loadTask_.reset();
}

void AppModel::cancelledLoad(std::int64_t sequence) {
    if (sequence != loadSequence_) return;
    setIsLoading(false);
    loadTask_.reset();
}

void AppModel::failLoad(std::int64_t sequence, const QString& description) {
    if (sequence != loadSequence_) return;
    setErrorMessage(description);
    setStatusText(QStringLiteral("Не удалось загрузить файл."));
    setIsLoading(false);
    loadTask_.reset();
}

bool AppModel::loadSupported(const std::filesystem::path& url) {
    assertMainThread();
    const std::string extension = lowerCasedExtension(url);
    if (isTelemetryExtension(extension)) {
        load(url);
        return true;
    }
    if (isVideoExtension(extension)) {
        loadVideoBackground(url);
        return true;
    }
    setErrorMessage(QStringLiteral("Неподдерживаемый файл: ") + lastPathComponent(url));
    return false;
}

bool AppModel::loadDropped(const std::vector<std::filesystem::path>& urls) {
    bool accepted = false;
    for (const auto& url : urls) {
        // Every file is routed, also after an unsupported one.
        if (loadSupported(url)) accepted = true;
    }
    return accepted;
}

void AppModel::loadCommandLineArgumentIfNeeded(const QStringList& arguments) {
    if (arguments.size() < 2 || arguments.at(1).startsWith(QLatin1Char('-'))) return;
    std::filesystem::path path(arguments.at(1).toStdString());
    // Relative to the working directory, as a shell user means it; the
    // default output then lands beside the real file.
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    loadSupported(error ? path : absolute);
}

// MARK: - Export segment

void AppModel::resetExportRange() {
    if (activity_) {
        // Copy the pointer: the activity must outlive the call.
        const auto activity = activity_;
        resetExportRange(*activity);
        return;
    }
    setStartOffsetSeconds(0);
    setExportEndSecondsValue(0);
}

void AppModel::resetExportRange(const TelemetryActivity& activity) {
    const double duration = std::ceil(activity.summary.durationSeconds);
    setStartOffsetSeconds(0);
    setExportEndSecondsValue(duration > 0 ? static_cast<qint64>(duration) : 0);
    clampExportRange();
}

void AppModel::clampExportRange() {
    const qint64 duration = activityDurationSeconds();
    if (duration < 1) {
        setStartOffsetSeconds(0);
        setExportEndSecondsValue(0);
        return;
    }
    const qint64 start = std::min(duration - 1, std::max<qint64>(startOffsetSeconds_, 0));
    setStartOffsetSeconds(start);
    setExportEndSecondsValue(std::min(duration, std::max(exportEndSeconds_, start + 1)));
}

void AppModel::setExportStartSeconds(qint64 seconds) {
    setStartOffsetSeconds(seconds);
    clampExportRange();
}

void AppModel::setExportEndSeconds(qint64 seconds) {
    setExportEndSecondsValue(seconds);
    clampExportRange();
}

// MARK: - Background video
//
// Files are opened directly: this platform has no sandbox, so there is no
// access to begin before a read or to hold while the video is in use.

void AppModel::loadVideoBackground(const std::filesystem::path& url) {
    assertMainThread();
    const std::int64_t sequence = ++videoLoadSequence_;
    cancelVideoOpening();
    endVideoSynchronization();
    stopAccessingVideoBackground();

    const QString name = lastPathComponent(url);
    setVideoBackgroundName(name);
    setVideoBackgroundURL(std::nullopt);
    setVideoBackgroundImage(nullptr);
    releaseVideoBackgroundPlayer();
    setIsVideoPreviewPlaying(false);
    setVideoPreviewElapsedSeconds(0);
    resetVideoBackgroundTransform();
    setIsLoadingVideo(true);
    setStatusText(QStringLiteral("Загружаю видео-подложку ") + name + QStringLiteral("..."));
    setErrorMessage(std::nullopt);

    std::stop_source stop;
    videoLoadTask_ = stop;
    startWorker([weak = QPointer<AppModel>(this), reader = services_.readVideoStillFrame, url, sequence,
                 token = stop.get_token()] {
        // An open superseded before it got a thread does not touch the file;
        // the newer open or the clear already owns the state.
        if (token.stop_requested()) return;
        try {
            if (!reader) throw PacemarkError("Открытие видео не подключено.");
            auto image = std::make_shared<const VideoBackgroundImage>(reader(url, token));
            onMainThread([weak, sequence, url, image = std::move(image)]() mutable {
                if (AppModel* model = weak.data()) model->finishVideoOpening(sequence, url, std::move(image));
            });
        } catch (...) {
            onMainThread([weak, sequence, description = describeCurrentException()] {
                if (AppModel* model = weak.data()) model->failVideoOpening(sequence, description);
            });
        }
    });
}

void AppModel::finishVideoOpening(std::int64_t sequence, const std::filesystem::path& url,
                                  std::shared_ptr<const VideoBackgroundImage> image) {
    if (sequence != videoLoadSequence_) return;
    videoLoadTask_.reset();
    // The player is made only for the open that won, here on the main thread
    // that owns it. Without a player factory the video stays a still frame.
    std::shared_ptr<VideoBackgroundPlayer> player;
    if (services_.makeVideoPlayer) {
        try {
            player = services_.makeVideoPlayer(url);
        } catch (...) {
            failVideoOpening(sequence, describeCurrentException());
            return;
        }
    }
    stopAccessingVideoBackground();
    const QString name = lastPathComponent(url);
    setVideoBackgroundURL(url);
    setVideoBackgroundImage(std::move(image));
    setVideoBackgroundPlayer(player);
    setVideoPreviewElapsedSeconds(0);
    setVideoBackgroundName(name);
    if (player) {
        installVideoEndObserver(player.get());
        installVideoTimeObserver(player.get());
    }
    setIsLoadingVideo(false);
    setStatusText(activity_ ? QStringLiteral("Видео-подложка загружена: ") + name
                            : QStringLiteral("Видео-подложка загружена. Добавь FIT или GPX."));
}

void AppModel::failVideoOpening(std::int64_t sequence, const QString& description) {
    if (sequence != videoLoadSequence_) return;
    videoLoadTask_.reset();
    stopAccessingVideoBackground();
    // The name of the failed file stays on show.
    setVideoBackgroundURL(std::nullopt);
    setVideoBackgroundImage(nullptr);
    releaseVideoBackgroundPlayer();
    setIsVideoPreviewPlaying(false);
    setVideoPreviewElapsedSeconds(0);
    setIsLoadingVideo(false);
    setErrorMessage(description);
    setStatusText(QStringLiteral("Не удалось загрузить видео-подложку."));
}

void AppModel::clearVideoBackground() {
    assertMainThread();
    ++videoLoadSequence_;  // a pending open is dropped
    cancelVideoOpening();
    endVideoSynchronization();
    stopVideoPreview();
    stopAccessingVideoBackground();
    setVideoBackgroundName(noVideoSelectedText);
    setVideoBackgroundURL(std::nullopt);
    setVideoBackgroundImage(nullptr);
    releaseVideoBackgroundPlayer();
    setIsVideoPreviewPlaying(false);
    setVideoPreviewElapsedSeconds(0);
    resetVideoBackgroundTransform();
    setIsLoadingVideo(false);
}

void AppModel::resetVideoBackgroundTransform() {
    setVideoBackgroundScale(1.0);
    setVideoBackgroundOffsetX(0);
    setVideoBackgroundOffsetY(0);
}

void AppModel::stopAccessingVideoBackground() {
    disconnect(videoEndObserver_);
    disconnect(videoFailureObserver_);
    videoEndObserver_ = {};
    videoFailureObserver_ = {};
    removeVideoTimeObserver();
}

void AppModel::cancelVideoOpening() {
    if (videoLoadTask_) videoLoadTask_->request_stop();
    videoLoadTask_.reset();
}

void AppModel::endVideoSynchronization() {
    // A synchronization whose video or activity is gone would move the
    // segment of another pair, and left running it would keep the command
    // disabled for good: it ends here and its result is dropped.
    ++videoSynchronizationSequence_;
    if (videoSynchronizationTask_) videoSynchronizationTask_->request_stop();
    videoSynchronizationTask_.reset();
    setIsSynchronizingVideo(false);
}

void AppModel::releaseVideoBackgroundPlayer() {
    // A view may still hold the old player for a moment; it must not keep
    // playing unseen.
    if (auto player = videoBackgroundPlayer_) player->pause();
    setVideoBackgroundPlayer(nullptr);
}

void AppModel::installVideoEndObserver(VideoBackgroundPlayer* player) {
    disconnect(videoEndObserver_);
    disconnect(videoFailureObserver_);
    const QPointer<VideoBackgroundPlayer> weakPlayer(player);
    // Playback does not loop: the end rewinds to the first frame and stops.
    videoEndObserver_ = connect(player, &VideoBackgroundPlayer::playbackEnded, this, [this, weakPlayer] {
        if (!weakPlayer || weakPlayer.data() != videoBackgroundPlayer_.get()) return;
        weakPlayer->seekToStart();
        setVideoPreviewElapsedSeconds(0);
        setIsVideoPreviewPlaying(false);
    });
    // A player that cannot decode the file stops for good; saying so beats a
    // play button that silently does nothing.
    videoFailureObserver_ =
        connect(player, &VideoBackgroundPlayer::playbackFailed, this, [this, weakPlayer](const QString& description) {
            if (!weakPlayer || weakPlayer.data() != videoBackgroundPlayer_.get()) return;
            setIsVideoPreviewPlaying(false);
            setErrorMessage(description);
        });
}

void AppModel::installVideoTimeObserver(VideoBackgroundPlayer* player) {
    removeVideoTimeObserver();
    const QPointer<VideoBackgroundPlayer> weakPlayer(player);
    videoTimeObserver_ = connect(player, &VideoBackgroundPlayer::positionChanged, this, [this, weakPlayer](double seconds) {
        if (!weakPlayer || weakPlayer.data() != videoBackgroundPlayer_.get() || !std::isfinite(seconds)) return;
        setVideoPreviewElapsedSeconds(std::max(seconds, 0.0));
    });
}

void AppModel::removeVideoTimeObserver() {
    disconnect(videoTimeObserver_);
    videoTimeObserver_ = {};
}

void AppModel::playVideoPreview() {
    assertMainThread();
    const auto player = videoBackgroundPlayer_;
    if (!player) return;
    player->play();
    setIsVideoPreviewPlaying(true);
}

void AppModel::stopVideoPreview() {
    assertMainThread();
    if (const auto player = videoBackgroundPlayer_) player->pause();
    setIsVideoPreviewPlaying(false);
}

void AppModel::toggleVideoPreviewPlayback() {
    if (isVideoPreviewPlaying_) {
        stopVideoPreview();
    } else {
        playVideoPreview();
    }
}

void AppModel::restartVideoPreview() {
    assertMainThread();
    const auto player = videoBackgroundPlayer_;
    if (!player) return;
    setVideoPreviewElapsedSeconds(0);
    player->seekToStart();
    if (isVideoPreviewPlaying_) player->play();
}

// MARK: - Synchronization

void AppModel::synchronizeVideoWithTelemetry() {
    assertMainThread();
    if (!activity_) {
        setErrorMessage(QStringLiteral("Сначала загрузи FIT или GPX."));
        return;
    }
    if (!videoBackgroundURL_) {
        setErrorMessage(QStringLiteral("Сначала загрузи видео-подложку."));
        return;
    }
    if (isSynchronizingVideo_) return;

    setIsSynchronizingVideo(true);
    setStatusText(QStringLiteral("Ищу синхронизацию видео с треком..."));
    setErrorMessage(std::nullopt);

    const std::int64_t sequence = ++videoSynchronizationSequence_;
    std::stop_source stop;
    videoSynchronizationTask_ = stop;
    // The activity is immutable and shared; the match is computed on the
    // worker against the activity as it is now.
    startWorker([weak = QPointer<AppModel>(this), reader = services_.readVideoMetadata, url = *videoBackgroundURL_,
                 activity = activity_, sequence, token = stop.get_token()] {
        if (token.stop_requested()) return;
        try {
            if (!reader) throw PacemarkError("Чтение метаданных видео не подключено.");
            const std::vector<VideoMetadataItem> items = reader(url, token);
            const VideoSynchronizationMetadata metadata = VideoSynchronization::metadataFromItems(items);
            auto result = VideoSynchronization::bestSynchronizationResult(*activity, metadata);
            onMainThread([weak, sequence, metadata, result = std::move(result)] {
                if (AppModel* model = weak.data()) model->finishVideoSynchronization(sequence, metadata, result);
            });
        } catch (...) {
            onMainThread([weak, sequence, description = describeCurrentException()] {
                if (AppModel* model = weak.data()) model->failVideoSynchronization(sequence, description);
            });
        }
    });
}

void AppModel::finishVideoSynchronization(std::int64_t sequence, const VideoSynchronizationMetadata& metadata,
                                          const std::optional<VideoSynchronizationResult>& result) {
    if (sequence != videoSynchronizationSequence_) return;
    videoSynchronizationTask_.reset();
    if (result) {
        applySynchronizedStartSeconds(result->startSeconds);
        setIsSynchronizingVideo(false);
        setStatusText(qText(result->message));
    } else {
        setIsSynchronizingVideo(false);
        setStatusText(qText(VideoSynchronization::noSynchronizationMessage(metadata)));
    }
}

void AppModel::failVideoSynchronization(std::int64_t sequence, const QString& description) {
    if (sequence != videoSynchronizationSequence_) return;
    videoSynchronizationTask_.reset();
    setIsSynchronizingVideo(false);
    setErrorMessage(description);
    setStatusText(QStringLiteral("Синхронизация не удалась."));
}

void AppModel::applySynchronizedStartSeconds(std::int64_t startSeconds) {
    // An activity shorter than a second has no segment to move.
    const auto segment = VideoSynchronization::applySynchronizedStartSeconds(
        startSeconds, activityDurationSeconds(), VideoExportSegment{startOffsetSeconds_, exportEndSeconds_});
    if (!segment) return;
    setStartOffsetSeconds(segment->startOffsetSeconds);
    setExportEndSecondsValue(segment->exportEndSeconds);
    // The video's first frame is now the segment start.
    setVideoPreviewElapsedSeconds(0);
    if (const auto player = videoBackgroundPlayer_) player->seekToStart();
    clampExportRange();
}

// MARK: - Export

QString AppModel::defaultOutputName() const {
    if (selectedFileName_ == noFileSelectedText) return QStringLiteral("pacemark.mov");
    const std::filesystem::path name(selectedFileName_.toStdString());
    return qText(name.stem().string()) + QStringLiteral("-telemetry.mov");
}

std::filesystem::path AppModel::defaultOutputURL(const std::filesystem::path& sourceURL) {
    return sourceURL.parent_path() / (sourceURL.stem().string() + "-telemetry.mov");
}

std::optional<std::filesystem::path> AppModel::chooseExportURL() {
    assertMainThread();
    if (!platform_) return std::nullopt;
    AppModelPlatform::SaveDialogRequest request;
    request.title = "Экспорт телеметрии";
    request.suggestedName = defaultOutputName().toStdString();
    request.fileExtension = "mov";
    request.canCreateFolders = true;
    return platform_->chooseSaveFile(request);
}

void AppModel::exportDefault() {
    assertMainThread();
    if (isLoading_ || !activity_) return;
    if (activity_->sourceURL) {
        exportMovie(defaultOutputURL(*activity_->sourceURL));
        return;
    }
    if (auto url = chooseExportURL()) exportMovie(*url);
}

void AppModel::exportMovie(const std::filesystem::path& url) {
    assertMainThread();
    if (isLoading_ || !activity_) return;
    clampExportRange();
    if (exportTask_) exportTask_->request_stop();

    const QString name = lastPathComponent(url);
    setLastOutputURL(std::nullopt);
    setIsExporting(true);
    setExportProgress(0);
    setStatusText(QStringLiteral("Создаю ") + name + QStringLiteral(", отрезок ") + exportSegmentLabel() +
                  QStringLiteral("..."));
    setErrorMessage(std::nullopt);

    // Everything the export uses is frozen now; later edits do not reach it.
    TelemetryRenderConfig config(url, width_, height_, framesPerSecond_, codec_,
                                 std::max(static_cast<double>(startOffsetSeconds_), 0.0),
                                 std::max(static_cast<double>(exportEndSeconds_ - startOffsetSeconds_), 0.001),
                                 overlayLayout_);
    std::stop_source stop;
    exportTask_ = stop;
    const std::int64_t sequence = ++exportSequence_;

    startWorker([weak = QPointer<AppModel>(this), exporter = services_.exportMovie, activity = activity_,
                 config = std::move(config), writerLock = exportWriterLock_, url, sequence,
                 token = stop.get_token()] {
        // A superseded export may still be removing its temporary file.
        std::lock_guard<std::mutex> guard(*writerLock);
        try {
            if (!exporter) throw PacemarkError("Запись видео не подключена.");
            if (token.stop_requested()) throw TelemetryVideoExportCancelled();
            exporter(activity, config,
                     [weak, sequence](double progress) {
                         onMainThread([weak, sequence, progress] {
                             if (AppModel* model = weak.data()) model->reportExportProgress(sequence, progress);
                         });
                     },
                     token);
            onMainThread([weak, sequence, url] {
                if (AppModel* model = weak.data()) model->finishExport(sequence, url);
            });
        } catch (const TelemetryVideoExportCancelled&) {
            onMainThread([weak, sequence] {
                if (AppModel* model = weak.data()) model->cancelledExport(sequence);
            });
        } catch (...) {
            onMainThread([weak, sequence, description = describeCurrentException()] {
                if (AppModel* model = weak.data()) model->failExport(sequence, description);
            });
        }
    });
}

void AppModel::reportExportProgress(std::int64_t sequence, double progress) {
    // Reports of a superseded or already finished export would show a
    // figure that belongs to no running export.
    if (sequence != exportSequence_ || !isExporting_) return;
    setExportProgress(progress);
}

void AppModel::finishExport(std::int64_t sequence, const std::filesystem::path& url) {
    if (sequence != exportSequence_) return;
    setLastOutputURL(url);
    setStatusText(QStringLiteral("Готово: ") + lastPathComponent(url));
    setIsExporting(false);
    exportTask_.reset();
}

void AppModel::cancelledExport(std::int64_t sequence) {
    if (sequence != exportSequence_) return;
    setExportProgress(0);
    setStatusText(QStringLiteral("Экспорт остановлен."));
    setIsExporting(false);
    exportTask_.reset();
}

void AppModel::failExport(std::int64_t sequence, const QString& description) {
    if (sequence != exportSequence_) return;
    setErrorMessage(description);
    setStatusText(QStringLiteral("Экспорт не удался."));
    setIsExporting(false);
    exportTask_.reset();
}

void AppModel::cancelExport() {
    assertMainThread();
    if (!isExporting_) return;
    setStatusText(QStringLiteral("Останавливаю экспорт..."));
    if (exportTask_) exportTask_->request_stop();
}

void AppModel::revealLastOutput() {
    assertMainThread();
    if (platform_ && lastOutputURL_) platform_->revealInFileManager(*lastOutputURL_);
}

// MARK: - Widget editing

std::optional<PacemarkWidget> AppModel::selectedWidget() const {
    if (!selectedWidgetID_) return std::nullopt;
    for (const auto& widget : overlayLayout_.widgets) {
        if (widget.id == *selectedWidgetID_) return widget;
    }
    return std::nullopt;
}

void AppModel::applyPreset(PacemarkPreset preset) {
    assertMainThread();
    setSelectedPreset(preset);
    setOverlayLayout(PacemarkLayout::preset(preset));
    setSelectedWidgetID(overlayLayout_.widgets.empty() ? std::nullopt
                                                       : std::optional<UUID>(overlayLayout_.widgets.front().id));
}

void AppModel::addWidget(TelemetryWidgetKind kind) {
    assertMainThread();
    PacemarkWidget widget(UUID::random(), kind, std::nullopt, "", defaultAccentHex, defaultLabelColorHex,
                          defaultValueColorHex, TelemetryWidgetPanelStyle::glass, true);
    const UUID id = widget.id;
    PacemarkLayout layout = overlayLayout_;
    layout.widgets.push_back(std::move(widget));  // last, so drawn above the others
    setOverlayLayout(layout);
    setSelectedWidgetID(id);
}

void AppModel::removeSelectedWidget() {
    assertMainThread();
    if (!selectedWidgetID_) return;
    const UUID id = *selectedWidgetID_;
    PacemarkLayout layout = overlayLayout_;
    std::erase_if(layout.widgets, [&](const PacemarkWidget& widget) { return widget.id == id; });
    setOverlayLayout(layout);
    // The selection moves to the first widget, also when none had the id.
    setSelectedWidgetID(overlayLayout_.widgets.empty() ? std::nullopt
                                                       : std::optional<UUID>(overlayLayout_.widgets.front().id));
}

void AppModel::updateSelectedWidget(const std::function<void(PacemarkWidget&)>& change) {
    assertMainThread();
    if (!selectedWidgetID_) return;
    PacemarkLayout layout = overlayLayout_;
    auto it = std::find_if(layout.widgets.begin(), layout.widgets.end(),
                           [&](const PacemarkWidget& widget) { return widget.id == *selectedWidgetID_; });
    if (it == layout.widgets.end()) return;
    // Edited on a copy and published once, so observers never see an
    // unclamped frame and a throwing change leaves the layout untouched.
    change(*it);
    it->frame = it->frame.clamped();
    setOverlayLayout(layout);
}

void AppModel::updateAllWidgets(const std::function<void(PacemarkWidget&)>& change) {
    assertMainThread();
    PacemarkLayout layout = overlayLayout_;
    for (auto& widget : layout.widgets) {
        change(widget);
        widget.frame = widget.frame.clamped();
    }
    setOverlayLayout(layout);
}

void AppModel::setSelectedWidgetKind(TelemetryWidgetKind kind) {
    updateSelectedWidget([kind](PacemarkWidget& widget) { widget.kind = kind; });
}

void AppModel::setSelectedWidgetPanelStyle(TelemetryWidgetPanelStyle style) {
    updateSelectedWidget([style](PacemarkWidget& widget) { widget.panelStyle = style; });
}

void AppModel::setSelectedWidgetCaption(const QString& text) {
    const std::string caption = PacemarkWidget::limitedCaption(text.toStdString());
    updateSelectedWidget([&caption](PacemarkWidget& widget) { widget.titleOverride = caption; });
}

void AppModel::setSelectedWidgetAccentHex(std::uint32_t hex) {
    updateSelectedWidget([hex](PacemarkWidget& widget) { widget.accentHex = hex; });
}
void AppModel::setSelectedWidgetLabelColorHex(std::uint32_t hex) {
    updateSelectedWidget([hex](PacemarkWidget& widget) { widget.labelColorHex = hex; });
}
void AppModel::setSelectedWidgetValueColorHex(std::uint32_t hex) {
    updateSelectedWidget([hex](PacemarkWidget& widget) { widget.valueColorHex = hex; });
}
void AppModel::setSelectedWidgetFrameX(double x) {
    updateSelectedWidget([x](PacemarkWidget& widget) { widget.frame.x = x; });
}
void AppModel::setSelectedWidgetFrameY(double y) {
    updateSelectedWidget([y](PacemarkWidget& widget) { widget.frame.y = y; });
}
void AppModel::setSelectedWidgetFrameWidth(double width) {
    updateSelectedWidget([width](PacemarkWidget& widget) { widget.frame.width = width; });
}
void AppModel::setSelectedWidgetFrameHeight(double height) {
    updateSelectedWidget([height](PacemarkWidget& widget) { widget.frame.height = height; });
}
void AppModel::setAllWidgetsAccentHex(std::uint32_t hex) {
    updateAllWidgets([hex](PacemarkWidget& widget) { widget.accentHex = hex; });
}
void AppModel::setAllWidgetsLabelColorHex(std::uint32_t hex) {
    updateAllWidgets([hex](PacemarkWidget& widget) { widget.labelColorHex = hex; });
}
void AppModel::setAllWidgetsValueColorHex(std::uint32_t hex) {
    updateAllWidgets([hex](PacemarkWidget& widget) { widget.valueColorHex = hex; });
}

QString AppModel::selectedWidgetCaption() const {
    const auto widget = selectedWidget();
    return widget ? qText(widget->titleOverride) : QString();
}

std::uint32_t AppModel::selectedWidgetAccentHex() const {
    const auto widget = selectedWidget();
    return widget ? widget->accentHex : defaultAccentHex;
}
std::uint32_t AppModel::selectedWidgetLabelColorHex() const {
    const auto widget = selectedWidget();
    return widget ? widget->labelColorHex : defaultLabelColorHex;
}
std::uint32_t AppModel::selectedWidgetValueColorHex() const {
    const auto widget = selectedWidget();
    return widget ? widget->valueColorHex : defaultValueColorHex;
}
std::uint32_t AppModel::allWidgetsAccentHex() const {
    return overlayLayout_.widgets.empty() ? defaultAccentHex : overlayLayout_.widgets.front().accentHex;
}
std::uint32_t AppModel::allWidgetsLabelColorHex() const {
    return overlayLayout_.widgets.empty() ? defaultLabelColorHex : overlayLayout_.widgets.front().labelColorHex;
}
std::uint32_t AppModel::allWidgetsValueColorHex() const {
    return overlayLayout_.widgets.empty() ? defaultValueColorHex : overlayLayout_.widgets.front().valueColorHex;
}

// MARK: - Colours

std::uint32_t AppModel::hexFromPickedColor(std::optional<SRGBColor> color) {
    const SRGBColor srgb = color.value_or(SRGBColor{0.21, 0.82, 0.36});
    const auto byte = [](double component) -> std::uint32_t {
        // Above 1 counts as 1; negative and NaN count as 0.
        const double limited = component > 0 ? std::min(component, 1.0) : 0.0;
        return static_cast<std::uint32_t>(std::round(limited * 255.0));  // halves away from zero
    };
    return byte(srgb.red) * 65536 + byte(srgb.green) * 256 + byte(srgb.blue);
}

SRGBColor AppModel::colorFromHex(std::uint32_t hex) {
    return {static_cast<double>((hex >> 16) & 0xFF) / 255.0, static_cast<double>((hex >> 8) & 0xFF) / 255.0,
            static_cast<double>(hex & 0xFF) / 255.0};
}

}  // namespace pacemark
