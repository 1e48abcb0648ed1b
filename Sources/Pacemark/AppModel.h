#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

#include "AppModelServices.h"
#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"
#include "Rendering/TelemetryVideoCodec.h"
#include "Telemetry/TelemetryActivity.h"

namespace pacemark {

// sRGB components of a picked colour, nominally 0...1 (wide-gamut pickers may
// give values outside).
struct SRGBColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    bool operator==(const SRGBColor&) const = default;
};

// The application's state: the activity, the layout being edited, the render
// settings, the export segment, the background video and the status texts.
// Lives on the main thread and is only touched there; loads and exports run
// on worker threads and hand their results back through queued calls that
// hold the model weakly and check a sequence number, so stale results are
// dropped. Views read the properties, observe the change signals and call the
// commands.
class AppModel : public QObject {
    Q_OBJECT

    Q_PROPERTY(std::shared_ptr<const pacemark::TelemetryActivity> activity READ activity NOTIFY activityChanged)
    Q_PROPERTY(QString selectedFileName READ selectedFileName NOTIFY selectedFileNameChanged)
    Q_PROPERTY(QString videoBackgroundName READ videoBackgroundName NOTIFY videoBackgroundNameChanged)
    Q_PROPERTY(std::optional<std::filesystem::path> videoBackgroundURL READ videoBackgroundURL NOTIFY videoBackgroundURLChanged)
    Q_PROPERTY(std::shared_ptr<const pacemark::VideoBackgroundImage> videoBackgroundImage READ videoBackgroundImage NOTIFY videoBackgroundImageChanged)
    Q_PROPERTY(std::shared_ptr<pacemark::VideoBackgroundPlayer> videoBackgroundPlayer READ videoBackgroundPlayer NOTIFY videoBackgroundPlayerChanged)
    Q_PROPERTY(bool isVideoPreviewPlaying READ isVideoPreviewPlaying NOTIFY isVideoPreviewPlayingChanged)
    Q_PROPERTY(double videoPreviewElapsedSeconds READ videoPreviewElapsedSeconds WRITE setVideoPreviewElapsedSeconds NOTIFY videoPreviewElapsedSecondsChanged)
    Q_PROPERTY(double videoBackgroundScale READ videoBackgroundScale WRITE setVideoBackgroundScale NOTIFY videoBackgroundScaleChanged)
    Q_PROPERTY(double videoBackgroundOffsetX READ videoBackgroundOffsetX WRITE setVideoBackgroundOffsetX NOTIFY videoBackgroundOffsetXChanged)
    Q_PROPERTY(double videoBackgroundOffsetY READ videoBackgroundOffsetY WRITE setVideoBackgroundOffsetY NOTIFY videoBackgroundOffsetYChanged)
    Q_PROPERTY(bool isSynchronizingVideo READ isSynchronizingVideo NOTIFY isSynchronizingVideoChanged)
    Q_PROPERTY(QString statusText READ statusText NOTIFY statusTextChanged)
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool isLoadingVideo READ isLoadingVideo NOTIFY isLoadingVideoChanged)
    Q_PROPERTY(bool isExporting READ isExporting NOTIFY isExportingChanged)
    Q_PROPERTY(double exportProgress READ exportProgress NOTIFY exportProgressChanged)
    Q_PROPERTY(qint64 width READ width WRITE setWidth NOTIFY widthChanged)
    Q_PROPERTY(qint64 height READ height WRITE setHeight NOTIFY heightChanged)
    Q_PROPERTY(qint64 framesPerSecond READ framesPerSecond WRITE setFramesPerSecond NOTIFY framesPerSecondChanged)
    Q_PROPERTY(pacemark::TelemetryVideoCodec::Value codec READ codecValue WRITE setCodecValue NOTIFY codecChanged)
    Q_PROPERTY(qint64 startOffsetSeconds READ startOffsetSeconds NOTIFY startOffsetSecondsChanged)
    Q_PROPERTY(qint64 exportEndSeconds READ exportEndSeconds NOTIFY exportEndSecondsChanged)
    Q_PROPERTY(pacemark::PacemarkPreset::Value selectedPreset READ selectedPresetValue WRITE setSelectedPresetValue NOTIFY selectedPresetChanged)
    Q_PROPERTY(pacemark::PacemarkLayout overlayLayout READ overlayLayout WRITE setOverlayLayout NOTIFY overlayLayoutChanged)
    Q_PROPERTY(std::optional<pacemark::UUID> selectedWidgetID READ selectedWidgetID WRITE setSelectedWidgetID NOTIFY selectedWidgetIDChanged)
    Q_PROPERTY(std::optional<std::filesystem::path> lastOutputURL READ lastOutputURL NOTIFY lastOutputURLChanged)
    Q_PROPERTY(std::optional<QString> errorMessage READ errorMessage WRITE setErrorMessage NOTIFY errorMessageChanged)

    // Derived read-only values, recomputed on every read. They change with the
    // activity, the segment bounds and the video position.
    Q_PROPERTY(QString durationLabel READ durationLabel NOTIFY derivedValuesChanged)
    Q_PROPERTY(QString distanceLabel READ distanceLabel NOTIFY derivedValuesChanged)
    Q_PROPERTY(QString sampleCountLabel READ sampleCountLabel NOTIFY derivedValuesChanged)
    Q_PROPERTY(qint64 activityDurationSeconds READ activityDurationSeconds NOTIFY derivedValuesChanged)
    Q_PROPERTY(qint64 exportSegmentSeconds READ exportSegmentSeconds NOTIFY derivedValuesChanged)
    Q_PROPERTY(QString exportRangeLabel READ exportRangeLabel NOTIFY derivedValuesChanged)
    Q_PROPERTY(QString exportSegmentLabel READ exportSegmentLabel NOTIFY derivedValuesChanged)
    Q_PROPERTY(double previewTelemetryElapsedSeconds READ previewTelemetryElapsedSeconds NOTIFY derivedValuesChanged)

public:
    // Texts shown before anything is chosen; compared against to name outputs.
    static const QString noFileSelectedText;   // "Файл не выбран"
    static const QString noVideoSelectedText;  // "Видео не выбрано"

    // Defaults of a new widget, also shown by the colour controls when there
    // is nothing to show.
    static constexpr std::uint32_t defaultAccentHex = 0x35D05B;
    static constexpr std::uint32_t defaultLabelColorHex = 0xA8A8A8;
    static constexpr std::uint32_t defaultValueColorHex = 0xFFFFFF;
    // Longest caption the caption field stores, in user-perceived characters.
    static constexpr int maxCaptionCharacters = static_cast<int>(PacemarkWidget::maxCaptionCharacters);

    // Empty services leave the matching operations failing with a clear text;
    // the application passes the real ones.
    explicit AppModel(AppModelServices services, AppModelPlatform* platform = nullptr, QObject* parent = nullptr);
    // Asks running loads and exports to stop; their results are dropped.
    ~AppModel() override;

    // Published state.
    std::shared_ptr<const TelemetryActivity> activity() const { return activity_; }
    QString selectedFileName() const { return selectedFileName_; }
    QString videoBackgroundName() const { return videoBackgroundName_; }
    std::optional<std::filesystem::path> videoBackgroundURL() const { return videoBackgroundURL_; }
    std::shared_ptr<const VideoBackgroundImage> videoBackgroundImage() const { return videoBackgroundImage_; }
    std::shared_ptr<VideoBackgroundPlayer> videoBackgroundPlayer() const { return videoBackgroundPlayer_; }
    bool isVideoPreviewPlaying() const { return isVideoPreviewPlaying_; }
    double videoPreviewElapsedSeconds() const { return videoPreviewElapsedSeconds_; }
    double videoBackgroundScale() const { return videoBackgroundScale_; }
    double videoBackgroundOffsetX() const { return videoBackgroundOffsetX_; }
    double videoBackgroundOffsetY() const { return videoBackgroundOffsetY_; }
    bool isSynchronizingVideo() const { return isSynchronizingVideo_; }
    QString statusText() const { return statusText_; }
    bool isLoading() const { return isLoading_; }
    bool isLoadingVideo() const { return isLoadingVideo_; }
    bool isExporting() const { return isExporting_; }
    double exportProgress() const { return exportProgress_; }
    qint64 width() const { return width_; }
    qint64 height() const { return height_; }
    qint64 framesPerSecond() const { return framesPerSecond_; }
    TelemetryVideoCodec codec() const { return codec_; }
    TelemetryVideoCodec::Value codecValue() const { return codec_; }
    qint64 startOffsetSeconds() const { return startOffsetSeconds_; }
    qint64 exportEndSeconds() const { return exportEndSeconds_; }
    PacemarkPreset selectedPreset() const { return selectedPreset_; }
    PacemarkPreset::Value selectedPresetValue() const { return selectedPreset_; }
    const PacemarkLayout& overlayLayout() const { return overlayLayout_; }
    std::optional<UUID> selectedWidgetID() const { return selectedWidgetID_; }
    std::optional<std::filesystem::path> lastOutputURL() const { return lastOutputURL_; }
    std::optional<QString> errorMessage() const { return errorMessage_; }

    // Settings and state the views write directly.
    void setVideoPreviewElapsedSeconds(double seconds);
    void setVideoBackgroundScale(double scale);
    void setVideoBackgroundOffsetX(double offset);
    void setVideoBackgroundOffsetY(double offset);
    void setWidth(qint64 width);
    void setHeight(qint64 height);
    void setFramesPerSecond(qint64 framesPerSecond);
    void setCodec(TelemetryVideoCodec codec);
    void setCodecValue(TelemetryVideoCodec::Value codec) { setCodec(codec); }
    // Only records the picker's choice; applyPreset() replaces the layout.
    void setSelectedPreset(PacemarkPreset preset);
    void setSelectedPresetValue(PacemarkPreset::Value preset) { setSelectedPreset(preset); }
    // The editor's mouse layer moves and resizes widgets through this.
    void setOverlayLayout(const PacemarkLayout& layout);
    void setSelectedWidgetID(std::optional<UUID> id);
    // The alert clears it when dismissed.
    void setErrorMessage(std::optional<QString> message);

    // Derived values.
    QString durationLabel() const;
    QString distanceLabel() const;
    QString sampleCountLabel() const;
    qint64 activityDurationSeconds() const;
    qint64 exportSegmentSeconds() const;
    QString exportRangeLabel() const;
    QString exportSegmentLabel() const;
    double previewTelemetryElapsedSeconds() const;

    // Loading and file routing. load() returns at once; the result arrives
    // later on the main thread.
    void load(const std::filesystem::path& url);
    // Routes one file by its lower-cased extension: telemetry, background
    // video, or an alert for anything else. True when the file was accepted.
    bool loadSupported(const std::filesystem::path& url);
    // The same rule for each file in order; true when at least one was accepted.
    bool loadDropped(const std::vector<std::filesystem::path>& urls);
    // Opens the first argument after the program path unless it starts with "-".
    void loadCommandLineArgumentIfNeeded(const QStringList& arguments);

    // The export segment, in whole seconds; see clampExportRange() for the rule.
    void resetExportRange();
    void resetExportRange(const TelemetryActivity& activity);
    void clampExportRange();
    void setExportStartSeconds(qint64 seconds);
    void setExportEndSeconds(qint64 seconds);

    // Background video. Opening reads the still frame on a worker and makes
    // the player when it arrives; opening another video or clearing drops a
    // pending open and ends a running synchronization.
    void loadVideoBackground(const std::filesystem::path& url);
    void clearVideoBackground();
    void resetVideoBackgroundTransform();
    // Playback of the background video under the preview. Without a player
    // nothing plays.
    void playVideoPreview();
    void stopVideoPreview();
    void toggleVideoPreviewPlayback();
    // Back to the first frame, still playing if it was.
    void restartVideoPreview();
    // Reads the video's location and creation date on a worker, finds the
    // matching track point and moves the export segment to start there.
    void synchronizeVideoWithTelemetry();

    // Export.
    void exportDefault();
    std::optional<std::filesystem::path> chooseExportURL();
    QString defaultOutputName() const;
    static std::filesystem::path defaultOutputURL(const std::filesystem::path& sourceURL);
    void exportMovie(const std::filesystem::path& url);
    void cancelExport();
    // Shows the last written movie in the file manager (the window's "Показать MOV").
    void revealLastOutput();

    // Widget editing. Every change re-clamps the touched frames.
    std::optional<PacemarkWidget> selectedWidget() const;
    void applyPreset(PacemarkPreset preset);
    void addWidget(TelemetryWidgetKind kind);
    void removeSelectedWidget();
    void updateSelectedWidget(const std::function<void(PacemarkWidget&)>& change);
    void updateAllWidgets(const std::function<void(PacemarkWidget&)>& change);

    // What the window's editing controls call and show.
    void setSelectedWidgetKind(TelemetryWidgetKind kind);
    void setSelectedWidgetPanelStyle(TelemetryWidgetPanelStyle style);
    // Stores the first 24 characters of the typed text, untrimmed.
    void setSelectedWidgetCaption(const QString& text);
    void setSelectedWidgetAccentHex(std::uint32_t hex);
    void setSelectedWidgetLabelColorHex(std::uint32_t hex);
    void setSelectedWidgetValueColorHex(std::uint32_t hex);
    void setSelectedWidgetFrameX(double x);
    void setSelectedWidgetFrameY(double y);
    void setSelectedWidgetFrameWidth(double width);
    void setSelectedWidgetFrameHeight(double height);
    void setAllWidgetsAccentHex(std::uint32_t hex);
    void setAllWidgetsLabelColorHex(std::uint32_t hex);
    void setAllWidgetsValueColorHex(std::uint32_t hex);
    QString selectedWidgetCaption() const;
    std::uint32_t selectedWidgetAccentHex() const;
    std::uint32_t selectedWidgetLabelColorHex() const;
    std::uint32_t selectedWidgetValueColorHex() const;
    std::uint32_t allWidgetsAccentHex() const;
    std::uint32_t allWidgetsLabelColorHex() const;
    std::uint32_t allWidgetsValueColorHex() const;

    // Colour transport between the pickers and the model. A colour the picker
    // could not express in sRGB (none) takes the fallback 0.21, 0.82, 0.36.
    static std::uint32_t hexFromPickedColor(std::optional<SRGBColor> color);
    static SRGBColor colorFromHex(std::uint32_t hex);

signals:
    void activityChanged();
    void selectedFileNameChanged();
    void videoBackgroundNameChanged();
    void videoBackgroundURLChanged();
    void videoBackgroundImageChanged();
    void videoBackgroundPlayerChanged();
    void isVideoPreviewPlayingChanged();
    void videoPreviewElapsedSecondsChanged();
    void videoBackgroundScaleChanged();
    void videoBackgroundOffsetXChanged();
    void videoBackgroundOffsetYChanged();
    void isSynchronizingVideoChanged();
    void statusTextChanged();
    void isLoadingChanged();
    void isLoadingVideoChanged();
    void isExportingChanged();
    void exportProgressChanged();
    void widthChanged();
    void heightChanged();
    void framesPerSecondChanged();
    void codecChanged();
    void startOffsetSecondsChanged();
    void exportEndSecondsChanged();
    void selectedPresetChanged();
    void overlayLayoutChanged();
    void selectedWidgetIDChanged();
    void lastOutputURLChanged();
    void errorMessageChanged();
    void derivedValuesChanged();

private:
    void assertMainThread() const;

    void setActivity(std::shared_ptr<const TelemetryActivity> activity);
    void setSelectedFileName(const QString& name);
    void setVideoBackgroundName(const QString& name);
    void setVideoBackgroundURL(std::optional<std::filesystem::path> url);
    void setVideoBackgroundImage(std::shared_ptr<const VideoBackgroundImage> image);
    void setVideoBackgroundPlayer(std::shared_ptr<VideoBackgroundPlayer> player);
    void setIsVideoPreviewPlaying(bool playing);
    void setIsSynchronizingVideo(bool synchronizing);
    void setStatusText(const QString& text);
    void setIsLoading(bool loading);
    void setIsLoadingVideo(bool loading);
    void setIsExporting(bool exporting);
    void setExportProgress(double progress);
    void setStartOffsetSeconds(qint64 seconds);
    void setExportEndSecondsValue(qint64 seconds);
    void setLastOutputURL(std::optional<std::filesystem::path> url);

    // Completions, run on the main thread by the workers' queued calls.
    void finishLoad(std::int64_t sequence, std::shared_ptr<const TelemetryActivity> activity);
    void failLoad(std::int64_t sequence, const QString& description);
    void cancelledLoad(std::int64_t sequence);
    void finishVideoOpening(std::int64_t sequence, const std::filesystem::path& url,
                            std::shared_ptr<const VideoBackgroundImage> image);
    void failVideoOpening(std::int64_t sequence, const QString& description);
    void finishVideoSynchronization(std::int64_t sequence, const VideoSynchronizationMetadata& metadata,
                                    const std::optional<VideoSynchronizationResult>& result);
    void failVideoSynchronization(std::int64_t sequence, const QString& description);

    // Background-video helpers.
    void stopAccessingVideoBackground();
    void cancelVideoOpening();
    void endVideoSynchronization();
    void releaseVideoBackgroundPlayer();
    // The end observer also stops the preview when the player fails.
    void installVideoEndObserver(VideoBackgroundPlayer* player);
    void installVideoTimeObserver(VideoBackgroundPlayer* player);
    void removeVideoTimeObserver();
    void applySynchronizedStartSeconds(std::int64_t startSeconds);
    void reportExportProgress(std::int64_t sequence, double progress);
    void finishExport(std::int64_t sequence, const std::filesystem::path& url);
    void cancelledExport(std::int64_t sequence);
    void failExport(std::int64_t sequence, const QString& description);

    AppModelServices services_;
    AppModelPlatform* platform_;

    // Published state, in declaration order.
    std::shared_ptr<const TelemetryActivity> activity_;
    QString selectedFileName_;
    QString videoBackgroundName_;
    std::optional<std::filesystem::path> videoBackgroundURL_;
    std::shared_ptr<const VideoBackgroundImage> videoBackgroundImage_;
    std::shared_ptr<VideoBackgroundPlayer> videoBackgroundPlayer_;
    bool isVideoPreviewPlaying_ = false;
    double videoPreviewElapsedSeconds_ = 0;
    double videoBackgroundScale_ = 1.0;
    double videoBackgroundOffsetX_ = 0;
    double videoBackgroundOffsetY_ = 0;
    bool isSynchronizingVideo_ = false;
    QString statusText_;
    bool isLoading_ = false;
    bool isLoadingVideo_ = false;
    bool isExporting_ = false;
    double exportProgress_ = 0;
    qint64 width_ = 1920;
    qint64 height_ = 1080;
    qint64 framesPerSecond_ = 30;
    TelemetryVideoCodec codec_ = TelemetryVideoCodec::hevcWithAlpha;
    qint64 startOffsetSeconds_ = 0;
    qint64 exportEndSeconds_ = 0;
    PacemarkPreset selectedPreset_ = PacemarkPreset::compactRace;
    PacemarkLayout overlayLayout_;
    std::optional<UUID> selectedWidgetID_;
    std::optional<std::filesystem::path> lastOutputURL_;
    std::optional<QString> errorMessage_;

    // Private state. A task is represented by the stop source that cancels it.
    std::optional<std::stop_source> loadTask_;
    std::int64_t loadSequence_ = 0;
    std::int64_t videoLoadSequence_ = 0;
    std::optional<std::stop_source> videoLoadTask_;
    // Playback observers of the current player; disconnected when it goes.
    QMetaObject::Connection videoEndObserver_;
    QMetaObject::Connection videoTimeObserver_;
    QMetaObject::Connection videoFailureObserver_;
    // Numbers synchronizations; advanced also when the video or the activity
    // is replaced, so a result computed for the old pair is dropped.
    std::int64_t videoSynchronizationSequence_ = 0;
    std::optional<std::stop_source> videoSynchronizationTask_;
    std::optional<std::stop_source> exportTask_;
    // Numbers exports so that a superseded export's late reports are dropped.
    std::int64_t exportSequence_ = 0;
    // Held by an export worker while it writes: a new export waits until a
    // cancelled one has finished cleaning up, so two never write at once.
    std::shared_ptr<std::mutex> exportWriterLock_ = std::make_shared<std::mutex>();
};

}  // namespace pacemark
