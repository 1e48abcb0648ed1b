// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppModel.h"

#include <algorithm>
#include <string>
#include <utility>

#include "Layout/PacemarkLayoutFile.h"
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
      layoutEditor_(platform, status_),
      exportSession_(std::move(services.exportMovie), services.burnInClip, platform, loadedActivity_, layoutEditor_, status_),
      backgroundVideo_(services, loadedActivity_, exportSession_, status_),
      videoClips_(services, platform, loadedActivity_, backgroundVideo_, exportSession_, status_) {
    loadedActivity_.setRecoveringLoader(std::move(services.recoverTelemetry));
    // A load that brings an activity starts the segment over on it and
    // forgets the movie made of the one it replaced. A failed load changes
    // neither.
    connect(&loadedActivity_, &LoadedActivityModel::activityLoaded, this, [this] {
        exportSession_.resetExportRange();
        exportSession_.clearLastOutput();
    });
    // The preview's instant follows the activity, the segment and the video.
    const auto notify = [this] { emit previewInstantChanged(); };
    connect(&loadedActivity_, &LoadedActivityModel::activityChanged, this, notify);
    connect(&backgroundVideo_, &BackgroundVideoModel::videoBackgroundPlayerChanged, this, notify);
    connect(&backgroundVideo_, &BackgroundVideoModel::videoPreviewElapsedSecondsChanged, this, notify);
    connect(&exportSession_, &ExportSessionModel::startOffsetSecondsChanged, this, notify);
    connect(&exportSession_, &ExportSessionModel::exportEndSecondsChanged, this, notify);
    // The preview plays the export's motion: stepping changes the picture at
    // most once a second, so the player's 10 position reports a second
    // suffice; smooth motion needs one per displayed frame.
    connect(&exportSession_, &ExportSessionModel::motionChanged, this, [this] {
        constexpr double steppingUpdatesPerSecond = 10;
        constexpr double displayUpdatesPerSecond = 60;
        backgroundVideo_.setPlaybackUpdatesPerSecond(
            exportSession_.settings().motion.isSmooth() ? displayUpdatesPerSecond : steppingUpdatesPerSecond);
    });
}

AppModel::~AppModel() = default;

const std::vector<std::string>& AppModel::videoFileExtensions() {
    static const std::vector<std::string> extensions = {"mp4", "mov", "m4v", "mkv", "webm", "avi", "mts",
                                                        "m2ts", "mpg", "mpeg", "wmv", "flv", "3gp", "ts"};
    return extensions;
}

double AppModel::previewTelemetryElapsedSeconds() const {
    const auto activity = loadedActivity_.activity();
    if (!activity) return 0;
    const double duration = activity->summary.durationSeconds;
    const double start = static_cast<double>(exportSession_.startOffsetSeconds());
    if (backgroundVideo_.videoBackgroundPlayer()) {
        // The video's position counts from the segment start.
        return std::min(start + std::max(backgroundVideo_.videoPreviewElapsedSeconds(), 0.0), duration);
    }
    // A still preview shows the instant 42 % into the segment.
    const double segment =
        std::max(static_cast<double>(exportSession_.exportEndSeconds() - exportSession_.startOffsetSeconds()), 1.0);
    return std::min(start + 0.42 * segment, duration);
}

// MARK: - Loading and routing

void AppModel::load(const std::filesystem::path& file) {
    // Another ride over an edited layout: the user settles the layout first.
    if (loadedActivity_.activity() && !layoutEditor_.settleUnsavedChanges()) return;
    // A running synchronization matches the open ride, which may be on its
    // way out: it ends now (and is offered again at once).
    backgroundVideo_.endVideoSynchronization();
    loadedActivity_.load(file);
}

bool AppModel::loadSupported(const std::filesystem::path& file) {
    // The loader's rule, so that routing and reading never disagree.
    const std::string extension = TelemetryFileLoader::fileExtension(file);
    if (isTelemetryExtension(extension)) {
        load(file);
        return true;
    }
    if (isVideoExtension(extension)) {
        videoClips_.openClips({file});
        return true;
    }
    if (PacemarkLayoutFile::hasLayoutExtension(file)) {
        // Accepted also when the user keeps the edited layout.
        layoutEditor_.openLayoutFile(file);
        return true;
    }
    status_.setErrorMessage(QStringLiteral("Неподдерживаемый файл: ") + qText(file.filename().string()));
    return false;
}

bool AppModel::loadDropped(const std::vector<std::filesystem::path>& files) {
    bool accepted = false;
    std::vector<std::filesystem::path> videos;
    for (const auto& file : files) {
        if (isVideoExtension(TelemetryFileLoader::fileExtension(file))) {
            videos.push_back(file);
            continue;
        }
        // Every file is routed, also after an unsupported one.
        if (loadSupported(file)) accepted = true;
    }
    videoClips_.openClips(videos);
    return accepted || !videos.empty();
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

}  // namespace pacemark
