#pragma once

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
// shared pointer; every call happens on the main thread.
class VideoBackgroundPlayer {
public:
    virtual ~VideoBackgroundPlayer() = default;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void seekToStart() = 0;
};

// What opening a background video yields.
struct VideoBackgroundOpening {
    std::shared_ptr<const VideoBackgroundImage> image;
    std::shared_ptr<VideoBackgroundPlayer> player;
};

// The long operations the model starts. Each function runs on a worker
// thread, receives only copies, and reports failure by throwing — a
// PacemarkError carries the Russian text shown to the user.
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

    // Opens a background video: its still frame and a player. The player is
    // created on the worker and handed to the main thread, which owns it from then on.
    std::function<VideoBackgroundOpening(const std::filesystem::path&)> openVideoBackground;
};

// The application's services: the core's file loader, and the core's exporter
// over the given movie writers and frame renderers. Video opening is supplied
// by the platform layer that can decode video.
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
