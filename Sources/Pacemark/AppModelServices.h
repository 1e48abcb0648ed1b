#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "Export/ExportFrameRenderer.h"
#include "Export/MovieWriter.h"
#include "Export/TelemetryVideoExporter.h"
#include "PacemarkError.h"
#include "Rendering/TelemetryRenderConfig.h"
#include "Telemetry/TelemetryActivity.h"
#include "VideoSynchronization.h"

namespace pacemark {

// The first frame of a background video: BGRA premultiplied, rows packed
// (bytesPerRow == 4 * width), row 0 at the top — the layout the preview draws.
struct VideoBackgroundImage {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> pixels;

    bool operator==(const VideoBackgroundImage&) const = default;
};

// The muted player under the editor preview. Owned by the model through a
// shared pointer and used only on the main thread, where its signals are
// emitted too. It starts paused at 0 and never loops: at the end it stops and
// reports playbackEnded().
class VideoBackgroundPlayer : public QObject {
    Q_OBJECT

public:
    ~VideoBackgroundPlayer() override = default;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void seekToStart() = 0;

signals:
    // The playback position in seconds, every 0.1 s while playing and after a
    // pause or a seek.
    void positionChanged(double seconds);
    // Playback reached the end of the video.
    void playbackEnded();
    // The video cannot be played; the description is Russian text for the user.
    void playbackFailed(const QString& description);
};

// The long operations the model starts. Each function runs on a worker thread
// unless it says otherwise, receives only copies, and reports failure by
// throwing — a PacemarkError carries the Russian text shown to the user.
struct AppModelServices {
    // Decodes one telemetry file into an activity with samples.
    std::function<TelemetryActivity(const std::filesystem::path&)> loadTelemetry;

    // Writes the movie to config.outputURL. `progress` may be called from the
    // calling thread with fractions in (0, 1]. Throws
    // TelemetryVideoExportCancelled once `stop` was requested and noticed;
    // never leaves a partial file behind.
    std::function<void(std::shared_ptr<const TelemetryActivity>, const TelemetryRenderConfig&,
                       const std::function<void(double)>& progress, std::stop_token stop)>
        exportMovie;

    // Background video. The still frame and the metadata are read on a worker
    // and give up early once `stop` is requested; the player is made on the
    // main thread, which owns it from then on.
    // The still frame shown under the overlay (at most 1920 × 1080).
    std::function<VideoBackgroundImage(const std::filesystem::path&, std::stop_token stop)> readVideoStillFrame;
    // The metadata items the synchronization looks through, in file order.
    std::function<std::vector<VideoMetadataItem>(const std::filesystem::path&, std::stop_token stop)>
        readVideoMetadata;
    // A muted, paused player of the video.
    std::function<std::shared_ptr<VideoBackgroundPlayer>(const std::filesystem::path&)> makeVideoPlayer;
};

// The application's services: the core's file loader, and the core's exporter
// over the given movie writers and frame renderers. The background-video
// services come from the layer that can decode video (AppModelVideoServices.h).
AppModelServices makeAppModelServices(std::shared_ptr<const MovieWriterFactory> writers,
                                      ExportFrameRendererMaker renderers);

// The save dialog and the file manager, provided by the window; tests answer them.
class AppModelPlatform {
public:
    struct SaveDialogRequest {
        std::string title;          // "Экспорт телеметрии"
        std::string suggestedName;  // defaultOutputName()
        std::string fileExtension;  // "mov": QuickTime movies only
        bool canCreateFolders = true;
    };

    virtual ~AppModelPlatform() = default;
    // Modal; none when the user cancels or the dialog yields no file.
    virtual std::optional<std::filesystem::path> chooseSaveFile(const SaveDialogRequest& request) = 0;
    // Shows the file selected in a file-manager window.
    virtual void revealInFileManager(const std::filesystem::path& file) = 0;
};

}  // namespace pacemark
