// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "Export/BurnInSettings.h"
#include "Export/ClipOverlayPlan.h"
#include "Export/ExportFrameRenderer.h"
#include "Export/MovieWriter.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "Export/TelemetryVideoExporter.h"
#include "PacemarkError.h"
#include "Export/TelemetryRenderConfig.h"
#include "Telemetry/TelemetryActivity.h"
#include "VideoBackgroundImage.h"
#include "VideoBackgroundPlayer.h"
#include "Video/VideoSynchronization.h"

namespace pacemark {

// One finished video to make: the overlay of `activity` drawn with `layout`
// and `motion`, burnt into `clip` at `timing`, written to `outputFile`.
struct ClipBurnInRequest {
    std::shared_ptr<const TelemetryActivity> activity;
    PacemarkLayout layout;
    TelemetryMotion motion;
    std::filesystem::path clip;
    std::filesystem::path outputFile;
    ClipOverlayTiming timing;
    BurnInSettings settings;
};

// The long operations the model starts. Each function runs on a worker thread
// unless it says otherwise, receives only copies, and reports failure by
// throwing — a PacemarkError carries the Russian text shown to the user.
struct AppModelServices {
    // Decodes one telemetry file into an activity with samples. A load
    // superseded by a newer one gets `stop` requested and may give up early
    // by throwing TelemetryLoadCancelled.
    std::function<TelemetryActivity(const std::filesystem::path& file, std::stop_token stop)> loadTelemetry;
    // Loads the readable part of a damaged file and describes the damage;
    // without it a damaged file is not offered for recovery.
    std::function<TelemetryActivity(const std::filesystem::path& file, std::optional<TelemetryDamage>* damage,
                                    std::stop_token stop)>
        recoverTelemetry;

    // Writes the movie to config.outputFile, at a lower scheduling priority
    // than the window's thread where the system allows it. `progress` may be
    // called from any thread, with fractions in (0, 1]. Throws
    // TelemetryVideoExportCancelled once `stop` was requested and noticed;
    // never leaves a partial file behind.
    std::function<void(std::shared_ptr<const TelemetryActivity>, const TelemetryRenderConfig&,
                       const std::function<void(double)>& progress, std::stop_token stop)>
        exportMovie;
    // Burns the overlay into a clip and writes the finished video, with the
    // same promises as exportMovie (priority, progress, stop, no partial file).
    std::function<void(const ClipBurnInRequest&, const std::function<void(double)>& progress, std::stop_token stop)>
        burnInClip;

    // Background video. The still frame and the metadata are read on a worker
    // and give up early once `stop` is requested; the player is made on the
    // main thread, which owns it from then on.
    // The still frame shown under the overlay (at most 1920 × 1080).
    std::function<VideoBackgroundImage(const std::filesystem::path&, std::stop_token stop)> readVideoStillFrame;
    // The metadata items the synchronization looks through, in file order.
    std::function<std::vector<VideoMetadataItem>(const std::filesystem::path&, std::stop_token stop)>
        readVideoMetadata;
    // Everything synchronization reads of a clip (metadata, the camera's
    // GPS, the duration). When absent, the metadata items above are used.
    std::function<ClipSynchronizationInput(const std::filesystem::path&, std::stop_token stop)> readClipSynchronization;
    // Everything a clip's placement and its overlay need: the synchronization
    // input above and the clip's facts (frame rate, frame count, size).
    std::function<ClipOverlayInput(const std::filesystem::path&, std::stop_token stop)> readClipForOverlay;
    // A muted, paused player of the video.
    std::function<std::shared_ptr<VideoBackgroundPlayer>(const std::filesystem::path&)> makeVideoPlayer;
};

// Runs `work` on a thread of its own at a lower scheduling priority than the
// window's (threads it starts inherit it) and waits for it; what it throws is
// rethrown here. Every long export runs this way.
void runAtBackgroundPriority(const std::function<void()>& work);

// The application's services: the core's file loader, and the core's exporter
// over the given movie writers and frame renderers. The background-video
// services come from the layer that can decode video (AppModelVideoServices.h).
AppModelServices makeAppModelServices(std::shared_ptr<const MovieWriterFactory> writers,
                                      ExportFrameRendererMaker renderers);

}  // namespace pacemark
