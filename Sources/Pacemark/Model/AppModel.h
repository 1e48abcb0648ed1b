#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AppModelPlatform.h"
#include "AppModelServices.h"
#include "AppStatus.h"
#include "BackgroundVideoModel.h"
#include "ExportSessionModel.h"
#include "LayoutEditorModel.h"
#include "LoadedActivityModel.h"
#include "Export/TelemetryVideoCodec.h"
#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"
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

// The application's state, as the window and the tests see it: one front over
// the sub-models that own it — the loaded activity, the export session
// (settings, segment, job), the background video (open, player, transform,
// synchronization) and the layout editor (layout, selection, edits) — plus the
// status line and alert they all report to. The front keeps every property,
// change signal and command in one place and does what spans sub-models
// (routing files, a new load ending the synchronization and starting the
// segment over). A view that shows one concern observes only its sub-model,
// so a playback tick does not re-read the export controls.
//
// Lives on the main thread and is only touched there; loads and exports run
// on worker threads (WorkerTask) and hand their results back through queued
// calls that hold the model weakly and check a sequence number, so stale
// results are dropped.
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
    // Empty services leave the matching operations failing with a clear text;
    // the application passes the real ones.
    explicit AppModel(AppModelServices services, AppModelPlatform* platform = nullptr, QObject* parent = nullptr);
    // Asks running loads and exports to stop; their results are dropped.
    ~AppModel() override;

    // The sub-models, for views that observe one concern.
    LoadedActivityModel& loadedActivity() { return loadedActivity_; }
    ExportSessionModel& exportSession() { return exportSession_; }
    BackgroundVideoModel& backgroundVideo() { return backgroundVideo_; }
    LayoutEditorModel& layoutEditor() { return layoutEditor_; }
    AppStatus& status() { return status_; }

    // Published state.
    std::shared_ptr<const TelemetryActivity> activity() const { return loadedActivity_.activity(); }
    QString selectedFileName() const { return loadedActivity_.selectedFileName(); }
    QString videoBackgroundName() const { return backgroundVideo_.videoBackgroundName(); }
    std::optional<std::filesystem::path> videoBackgroundURL() const { return backgroundVideo_.videoBackgroundURL(); }
    std::shared_ptr<const VideoBackgroundImage> videoBackgroundImage() const { return backgroundVideo_.videoBackgroundImage(); }
    std::shared_ptr<VideoBackgroundPlayer> videoBackgroundPlayer() const { return backgroundVideo_.videoBackgroundPlayer(); }
    bool isVideoPreviewPlaying() const { return backgroundVideo_.isVideoPreviewPlaying(); }
    double videoPreviewElapsedSeconds() const { return backgroundVideo_.videoPreviewElapsedSeconds(); }
    double videoBackgroundScale() const { return backgroundVideo_.videoBackgroundScale(); }
    double videoBackgroundOffsetX() const { return backgroundVideo_.videoBackgroundOffsetX(); }
    double videoBackgroundOffsetY() const { return backgroundVideo_.videoBackgroundOffsetY(); }
    bool isSynchronizingVideo() const { return backgroundVideo_.isSynchronizingVideo(); }
    QString statusText() const { return status_.statusText(); }
    bool isLoading() const { return loadedActivity_.isLoading(); }
    bool isLoadingVideo() const { return backgroundVideo_.isLoadingVideo(); }
    bool isExporting() const { return exportSession_.isExporting(); }
    double exportProgress() const { return exportSession_.exportProgress(); }
    qint64 width() const { return exportSession_.settings().width; }
    qint64 height() const { return exportSession_.settings().height; }
    qint64 framesPerSecond() const { return exportSession_.settings().framesPerSecond; }
    TelemetryVideoCodec codec() const { return exportSession_.settings().codec; }
    TelemetryVideoCodec::Value codecValue() const { return exportSession_.settings().codec; }
    qint64 startOffsetSeconds() const { return exportSession_.startOffsetSeconds(); }
    qint64 exportEndSeconds() const { return exportSession_.exportEndSeconds(); }
    PacemarkPreset selectedPreset() const { return layoutEditor_.selectedPreset(); }
    PacemarkPreset::Value selectedPresetValue() const { return layoutEditor_.selectedPreset(); }
    const PacemarkLayout& overlayLayout() const { return layoutEditor_.overlayLayout(); }
    std::optional<UUID> selectedWidgetID() const { return layoutEditor_.selectedWidgetID(); }
    std::optional<std::filesystem::path> lastOutputURL() const { return exportSession_.lastOutputURL(); }
    std::optional<QString> errorMessage() const { return status_.errorMessage(); }

    // Settings and state the views write directly.
    void setVideoPreviewElapsedSeconds(double seconds) { backgroundVideo_.setVideoPreviewElapsedSeconds(seconds); }
    void setVideoBackgroundScale(double scale) { backgroundVideo_.setVideoBackgroundScale(scale); }
    void setVideoBackgroundOffsetX(double offset) { backgroundVideo_.setVideoBackgroundOffsetX(offset); }
    void setVideoBackgroundOffsetY(double offset) { backgroundVideo_.setVideoBackgroundOffsetY(offset); }
    void setWidth(qint64 width) { exportSession_.setWidth(width); }
    void setHeight(qint64 height) { exportSession_.setHeight(height); }
    void setFramesPerSecond(qint64 framesPerSecond) { exportSession_.setFramesPerSecond(framesPerSecond); }
    void setCodec(TelemetryVideoCodec codec) { exportSession_.setCodec(codec); }
    void setCodecValue(TelemetryVideoCodec::Value codec) { setCodec(codec); }
    // Also sets how often the background video reports its position: at a
    // display's rate in smooth motion, so that the preview glides too.
    void setMotion(TelemetryMotion motion);
    const TelemetryMotion& motion() const { return exportSession_.settings().motion; }
    // Only records the picker's choice; applyPreset() replaces the layout.
    void setSelectedPreset(PacemarkPreset preset) { layoutEditor_.setSelectedPreset(preset); }
    void setSelectedPresetValue(PacemarkPreset::Value preset) { setSelectedPreset(preset); }
    // The editor's mouse layer moves and resizes widgets through this.
    void setOverlayLayout(const PacemarkLayout& layout) { layoutEditor_.setOverlayLayout(layout); }
    void setSelectedWidgetID(std::optional<UUID> id) { layoutEditor_.setSelectedWidgetID(id); }
    // The alert clears it when dismissed.
    void setErrorMessage(std::optional<QString> message) { status_.setErrorMessage(std::move(message)); }
    // The alert's second button, if it offers one (empty otherwise), and choosing it.
    QString errorActionText() const { return status_.errorActionText(); }
    void runErrorAction() { status_.runErrorAction(); }

    // Derived values.
    QString durationLabel() const { return loadedActivity_.durationLabel(); }
    QString distanceLabel() const { return loadedActivity_.distanceLabel(); }
    QString sampleCountLabel() const { return loadedActivity_.sampleCountLabel(); }
    qint64 activityDurationSeconds() const { return loadedActivity_.activityDurationSeconds(); }
    qint64 exportSegmentSeconds() const { return exportSession_.exportSegmentSeconds(); }
    QString exportRangeLabel() const { return exportSession_.exportRangeLabel(); }
    QString exportSegmentLabel() const { return exportSession_.exportSegmentLabel(); }
    // The activity instant the preview shows: the video's position from the
    // segment start while a player exists, else 42 % into the segment.
    double previewTelemetryElapsedSeconds() const;

    // Loading and file routing. load() returns at once; the result arrives
    // later on the main thread.
    void load(const std::filesystem::path& file);
    // Routes one file by its lower-cased extension: telemetry, background
    // video, or an alert for anything else. True when the file was accepted.
    bool loadSupported(const std::filesystem::path& file);
    // Lower-case extensions routed to the background video: the movie types
    // the FFmpeg reader opens.
    static const std::vector<std::string>& videoFileExtensions();
    // The same rule for each file in order; true when at least one was accepted.
    bool loadDropped(const std::vector<std::filesystem::path>& files);
    // Opens the first argument after the program path unless it starts with "-".
    void loadCommandLineArgumentIfNeeded(const QStringList& arguments);

    // The export segment, in whole seconds; see ExportSessionModel for the rule.
    void resetExportRange() { exportSession_.resetExportRange(); }
    void clampExportRange() { exportSession_.clampExportRange(); }
    void setExportStartSeconds(qint64 seconds) { exportSession_.setExportStartSeconds(seconds); }
    void setExportEndSeconds(qint64 seconds) { exportSession_.setExportEndSeconds(seconds); }

    // Background video; see BackgroundVideoModel.
    void loadVideoBackground(const std::filesystem::path& file) { backgroundVideo_.loadVideoBackground(file); }
    void clearVideoBackground() { backgroundVideo_.clearVideoBackground(); }
    void resetVideoBackgroundTransform() { backgroundVideo_.resetVideoBackgroundTransform(); }
    void playVideoPreview() { backgroundVideo_.playVideoPreview(); }
    void stopVideoPreview() { backgroundVideo_.stopVideoPreview(); }
    void toggleVideoPreviewPlayback() { backgroundVideo_.toggleVideoPreviewPlayback(); }
    void restartVideoPreview() { backgroundVideo_.restartVideoPreview(); }
    void synchronizeVideoWithTelemetry() { backgroundVideo_.synchronizeVideoWithTelemetry(); }

    // Export; see ExportSessionModel.
    void exportDefault() { exportSession_.exportDefault(); }
    std::optional<std::filesystem::path> chooseExportURL() { return exportSession_.chooseExportFile(); }
    QString defaultOutputName() const { return exportSession_.defaultOutputName(); }
    static std::filesystem::path defaultOutputURL(const std::filesystem::path& source) {
        return TelemetryExportSettings::defaultOutputPath(source);
    }
    void exportMovie(const std::filesystem::path& file) { exportSession_.exportMovie(file); }
    void cancelExport() { exportSession_.cancelExport(); }
    // Shows the last written movie in the file manager (the window's "Показать MOV").
    void revealLastOutput() { exportSession_.revealLastOutput(); }

    // Widget editing; see LayoutEditorModel. Every change re-clamps the touched frames.
    std::optional<PacemarkWidget> selectedWidget() const { return layoutEditor_.selectedWidget(); }
    void applyPreset(PacemarkPreset preset) { layoutEditor_.applyPreset(preset); }
    // The preset picker's choice. The preset already selected changes
    // nothing; replacing a layout with unsaved changes asks the platform
    // first. True when the preset was applied.
    bool choosePreset(PacemarkPreset preset);
    bool hasUnsavedLayoutChanges() const { return layoutEditor_.hasUnsavedChanges(); }
    // "Сохранить макет…": asks for a file and writes the layout; a failure
    // becomes the alert.
    void saveLayout();
    // "Открыть макет…": asks for a file and opens it with openLayoutFile().
    void openLayout();
    // Opens a layout file (also when dropped): a file that cannot be read
    // becomes the alert and changes nothing; a readable one asks before it
    // replaces unsaved changes. True when the layout was replaced.
    bool openLayoutFile(const std::filesystem::path& file);
    void addWidget(TelemetryWidgetKind kind) { layoutEditor_.addWidget(kind); }
    void removeSelectedWidget() { layoutEditor_.removeSelectedWidget(); }
    void updateSelectedWidget(const std::function<void(PacemarkWidget&)>& change) { layoutEditor_.updateSelectedWidget(change); }
    void updateAllWidgets(const std::function<void(PacemarkWidget&)>& change) { layoutEditor_.updateAllWidgets(change); }

    // What the window's editing controls call and show.
    void setSelectedWidgetKind(TelemetryWidgetKind kind);
    void setSelectedWidgetPanelStyle(TelemetryWidgetPanelStyle style);
    // Stores the first 24 characters of the typed text, untrimmed.
    void setSelectedWidgetCaption(const QString& text) { layoutEditor_.setSelectedWidgetCaption(text); }
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
    QString selectedWidgetCaption() const { return layoutEditor_.selectedWidgetCaption(); }
    std::uint32_t selectedWidgetAccentHex() const { return layoutEditor_.selectedWidgetAccentHex(); }
    std::uint32_t selectedWidgetLabelColorHex() const { return layoutEditor_.selectedWidgetLabelColorHex(); }
    std::uint32_t selectedWidgetValueColorHex() const { return layoutEditor_.selectedWidgetValueColorHex(); }
    std::uint32_t allWidgetsAccentHex() const { return layoutEditor_.allWidgetsAccentHex(); }
    std::uint32_t allWidgetsLabelColorHex() const { return layoutEditor_.allWidgetsLabelColorHex(); }
    std::uint32_t allWidgetsValueColorHex() const { return layoutEditor_.allWidgetsValueColorHex(); }

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
    void motionChanged();
    void startOffsetSecondsChanged();
    void exportEndSecondsChanged();
    void selectedPresetChanged();
    void overlayLayoutChanged();
    void selectedWidgetIDChanged();
    void lastOutputURLChanged();
    void errorMessageChanged();
    void derivedValuesChanged();

private:
    // Re-publishes the sub-models' change signals as the front's own.
    void forwardChangeSignals();

    AppStatus status_;
    LoadedActivityModel loadedActivity_;
    LayoutEditorModel layoutEditor_;
    ExportSessionModel exportSession_;
    BackgroundVideoModel backgroundVideo_;
    AppModelPlatform* platform_;
};

}  // namespace pacemark
