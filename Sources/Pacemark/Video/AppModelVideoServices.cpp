// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppModelVideoServices.h"

#include <utility>

#include "ClipSynchronizationReading.h"
#include "FFmpegClipBurnIn.h"
#include "FFmpegMovieReader.h"
#include "PreviewVideoBackgroundPlayer.h"
#include "Video/VideoSynchronization.h"

namespace pacemark {

void addVideoBackgroundServices(AppModelServices& services) {
    services.readVideoStillFrame = [](const std::filesystem::path& file, std::stop_token stop) {
        FFmpegMovieReader reader(file, std::move(stop));
        const double seconds = VideoSynchronization::stillFrameTimeSeconds(reader.durationSeconds());
        MovieImage image = reader.stillFrame(seconds, VideoSynchronization::stillFrameMaximumWidth,
                                             VideoSynchronization::stillFrameMaximumHeight);
        // Both are packed BGRA premultiplied rows, top row first.
        return VideoBackgroundImage{image.width, image.height, std::move(image.pixels)};
    };
    services.readVideoMetadata = [](const std::filesystem::path& file, std::stop_token stop) {
        const FFmpegMovieReader reader(file, std::move(stop));
        std::vector<VideoMetadataItem> items;
        for (auto& item : reader.metadataItems()) {
            items.push_back({std::move(item.identifier), std::move(item.key), std::move(item.stringValue)});
        }
        return items;
    };
    services.readClipSynchronization = [](const std::filesystem::path& file, std::stop_token stop) {
        return readClip(file, std::move(stop)).synchronization;
    };
    services.readClipForOverlay = [](const std::filesystem::path& file, std::stop_token stop) {
        ClipReading reading = readClip(file, std::move(stop));
        return ClipOverlayInput{file, std::move(reading.synchronization), reading.facts, std::nullopt};
    };
    services.makeVideoPlayer = [](const std::filesystem::path& file) -> std::shared_ptr<VideoBackgroundPlayer> {
        return std::make_shared<PreviewVideoBackgroundPlayer>(file);
    };
}

void addBurnInService(AppModelServices& services, ExportFrameRendererMaker renderers) {
    services.burnInClip = [renderers = std::move(renderers)](const ClipBurnInRequest& request,
                                                              const std::function<void(double)>& progress,
                                                              std::stop_token stop) {
        const BurnInOverlayMaker overlays = [&](std::int64_t width, std::int64_t height) {
            return renderers(request.activity, request.layout, width, height, request.motion);
        };
        runAtBackgroundPriority([&] {
            FFmpegClipBurnIn::burnIn({request.clip, request.outputFile, request.timing, request.settings}, overlays,
                                     progress, std::move(stop));
        });
    };
}

}  // namespace pacemark
