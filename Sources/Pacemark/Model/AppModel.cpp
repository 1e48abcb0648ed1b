#include "AppModel.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "Layout/PacemarkLayoutFile.h"
#include "PacemarkError.h"
#include "QtText.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark {

namespace {

bool isTelemetryExtension(const std::string& extension) { return extension == "fit" || extension == "gpx"; }

bool isVideoExtension(const std::string& extension) {
    const auto& extensions = AppModel::videoFileExtensions();
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

}  // namespace

AppModel::AppModel(AppModelServices services, AppModelPlatform* platform, QObject* parent)
    : QObject(parent),
      loadedActivity_(std::move(services.loadTelemetry), status_),
      exportSession_(std::move(services.exportMovie), platform, loadedActivity_, layoutEditor_, status_),
      backgroundVideo_(services, loadedActivity_, exportSession_, status_),
      platform_(platform) {
    loadedActivity_.setRecoveringLoader(std::move(services.recoverTelemetry));
    forwardChangeSignals();
    // A load that brings an activity starts the segment over on it.
    connect(&loadedActivity_, &LoadedActivityModel::activityLoaded, &exportSession_,
            &ExportSessionModel::resetExportRange);
}

AppModel::~AppModel() = default;

const std::vector<std::string>& AppModel::videoFileExtensions() {
    static const std::vector<std::string> extensions = {"mp4", "mov", "m4v", "mkv", "webm", "avi", "mts",
                                                        "m2ts", "mpg", "mpeg", "wmv", "flv", "3gp", "ts"};
    return extensions;
}

void AppModel::forwardChangeSignals() {
    const auto forward = [this](const auto* source, auto signal, auto frontSignal) {
        connect(source, signal, this, frontSignal);
    };
    forward(&loadedActivity_, &LoadedActivityModel::activityChanged, &AppModel::activityChanged);
    forward(&loadedActivity_, &LoadedActivityModel::selectedFileNameChanged, &AppModel::selectedFileNameChanged);
    forward(&loadedActivity_, &LoadedActivityModel::isLoadingChanged, &AppModel::isLoadingChanged);

    forward(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundNameChanged, &AppModel::videoBackgroundNameChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundURLChanged, &AppModel::videoBackgroundURLChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundImageChanged,
            &AppModel::videoBackgroundImageChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundPlayerChanged,
            &AppModel::videoBackgroundPlayerChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::isVideoPreviewPlayingChanged,
            &AppModel::isVideoPreviewPlayingChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::videoPreviewElapsedSecondsChanged,
            &AppModel::videoPreviewElapsedSecondsChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundScaleChanged,
            &AppModel::videoBackgroundScaleChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundOffsetXChanged,
            &AppModel::videoBackgroundOffsetXChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundOffsetYChanged,
            &AppModel::videoBackgroundOffsetYChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::isLoadingVideoChanged, &AppModel::isLoadingVideoChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::isSynchronizingVideoChanged,
            &AppModel::isSynchronizingVideoChanged);

    forward(&status_, &AppStatus::statusTextChanged, &AppModel::statusTextChanged);
    forward(&status_, &AppStatus::errorMessageChanged, &AppModel::errorMessageChanged);

    forward(&exportSession_, &ExportSessionModel::isExportingChanged, &AppModel::isExportingChanged);
    forward(&exportSession_, &ExportSessionModel::exportProgressChanged, &AppModel::exportProgressChanged);
    forward(&exportSession_, &ExportSessionModel::widthChanged, &AppModel::widthChanged);
    forward(&exportSession_, &ExportSessionModel::heightChanged, &AppModel::heightChanged);
    forward(&exportSession_, &ExportSessionModel::framesPerSecondChanged, &AppModel::framesPerSecondChanged);
    forward(&exportSession_, &ExportSessionModel::codecChanged, &AppModel::codecChanged);
    forward(&exportSession_, &ExportSessionModel::motionChanged, &AppModel::motionChanged);
    forward(&exportSession_, &ExportSessionModel::startOffsetSecondsChanged, &AppModel::startOffsetSecondsChanged);
    forward(&exportSession_, &ExportSessionModel::exportEndSecondsChanged, &AppModel::exportEndSecondsChanged);
    forward(&exportSession_, &ExportSessionModel::lastOutputURLChanged, &AppModel::lastOutputURLChanged);

    forward(&layoutEditor_, &LayoutEditorModel::selectedPresetChanged, &AppModel::selectedPresetChanged);
    forward(&layoutEditor_, &LayoutEditorModel::overlayLayoutChanged, &AppModel::overlayLayoutChanged);
    forward(&layoutEditor_, &LayoutEditorModel::selectedWidgetIDChanged, &AppModel::selectedWidgetIDChanged);

    // The derived values follow the activity, the segment and the video
    // position; connected after the direct forwards, so they come second.
    forward(&loadedActivity_, &LoadedActivityModel::activityChanged, &AppModel::derivedValuesChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundPlayerChanged, &AppModel::derivedValuesChanged);
    forward(&backgroundVideo_, &BackgroundVideoModel::videoPreviewElapsedSecondsChanged,
            &AppModel::derivedValuesChanged);
    forward(&exportSession_, &ExportSessionModel::startOffsetSecondsChanged, &AppModel::derivedValuesChanged);
    forward(&exportSession_, &ExportSessionModel::exportEndSecondsChanged, &AppModel::derivedValuesChanged);
}

void AppModel::setMotion(TelemetryMotion motion) {
    // Stepping changes the picture at most once a second, so the player's 10
    // reports a second suffice; smooth motion needs one per displayed frame.
    constexpr double steppingUpdatesPerSecond = 10;
    constexpr double displayUpdatesPerSecond = 60;
    exportSession_.setMotion(motion);
    backgroundVideo_.setPlaybackUpdatesPerSecond(motion.isSmooth() ? displayUpdatesPerSecond
                                                                   : steppingUpdatesPerSecond);
}

double AppModel::previewTelemetryElapsedSeconds() const {
    const auto activity = loadedActivity_.activity();
    if (!activity) return 0;
    const double duration = activity->summary.durationSeconds;
    const double start = static_cast<double>(startOffsetSeconds());
    if (videoBackgroundPlayer()) {
        // The video's position counts from the segment start.
        return std::min(start + std::max(videoPreviewElapsedSeconds(), 0.0), duration);
    }
    // A still preview shows the instant 42 % into the segment.
    const double segment = std::max(static_cast<double>(exportEndSeconds() - startOffsetSeconds()), 1.0);
    return std::min(start + 0.42 * segment, duration);
}

// MARK: - Loading and routing

void AppModel::load(const std::filesystem::path& file) {
    // A running synchronization belongs to the activity that is going away.
    backgroundVideo_.endVideoSynchronization();
    loadedActivity_.load(file);
    exportSession_.resetExportRange();
    exportSession_.clearLastOutput();
}

bool AppModel::loadSupported(const std::filesystem::path& file) {
    // The loader's rule, so that routing and reading never disagree.
    const std::string extension = TelemetryFileLoader::fileExtension(file);
    if (isTelemetryExtension(extension)) {
        load(file);
        return true;
    }
    if (isVideoExtension(extension)) {
        loadVideoBackground(file);
        return true;
    }
    if (PacemarkLayoutFile::hasLayoutExtension(file)) {
        // Accepted also when the user keeps the edited layout.
        openLayoutFile(file);
        return true;
    }
    setErrorMessage(QStringLiteral("Неподдерживаемый файл: ") + qText(file.filename().string()));
    return false;
}

bool AppModel::loadDropped(const std::vector<std::filesystem::path>& files) {
    bool accepted = false;
    for (const auto& file : files) {
        // Every file is routed, also after an unsupported one.
        if (loadSupported(file)) accepted = true;
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

// MARK: - Layout files

bool AppModel::choosePreset(PacemarkPreset preset) {
    if (preset == selectedPreset()) return false;
    if (layoutEditor_.hasUnsavedChanges() && platform_ && !platform_->confirmReplacingLayout()) {
        // The picker shows the choice; tell it the selection stayed.
        emit layoutEditor_.selectedPresetChanged();
        return false;
    }
    layoutEditor_.applyPreset(preset);
    return true;
}

void AppModel::saveLayout() {
    if (!platform_) return;
    AppModelPlatform::SaveDialogRequest request;
    request.title = "Сохранить макет";
    request.suggestedName = std::string(selectedPreset().rawValue()) + "." + std::string(PacemarkLayoutFile::fileExtension);
    request.fileExtension = PacemarkLayoutFile::fileExtension;
    request.filterName = "Макет Pacemark";
    const auto file = platform_->chooseSaveFile(request);
    if (!file) return;
    try {
        layoutEditor_.saveLayoutFile(*file);
        status_.setStatusText(QStringLiteral("Макет сохранён: ") + qText(file->filename().string()));
    } catch (const PacemarkError& error) {
        setErrorMessage(qText(error.errorDescription()));
    }
}

void AppModel::openLayout() {
    if (!platform_) return;
    const auto file = platform_->chooseOpenFile(
        {"Открыть макет", std::string(PacemarkLayoutFile::fileExtension), "Макет Pacemark"});
    if (file) openLayoutFile(*file);
}

bool AppModel::openLayoutFile(const std::filesystem::path& file) {
    // Read first: a file that cannot be used asks nothing.
    PacemarkLayoutFile layoutFile;
    try {
        layoutFile = PacemarkLayoutFile::read(file);
    } catch (const PacemarkError& error) {
        setErrorMessage(qText(error.errorDescription()));
        return false;
    }
    if (layoutEditor_.hasUnsavedChanges() && platform_ && !platform_->confirmReplacingLayout()) return false;
    layoutEditor_.applyLayoutFile(layoutFile);
    status_.setStatusText(QStringLiteral("Макет открыт: ") + qText(file.filename().string()));
    return true;
}

// MARK: - Widget editing

void AppModel::setSelectedWidgetKind(TelemetryWidgetKind kind) {
    updateSelectedWidget([kind](PacemarkWidget& widget) { widget.kind = kind; });
}
void AppModel::setSelectedWidgetPanelStyle(TelemetryWidgetPanelStyle style) {
    updateSelectedWidget([style](PacemarkWidget& widget) { widget.panelStyle = style; });
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
