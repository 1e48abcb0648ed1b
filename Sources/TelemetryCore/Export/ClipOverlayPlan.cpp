// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/ClipOverlayPlan.h"

#include <cmath>
#include <map>

#include "Video/ClipChapter.h"

namespace pacemark {
namespace {

// Indices of `clips` in the order they are placed: as given, with the
// chapters of a recording gathered where its first chapter was given and
// sorted by chapter number (a stable sort keeps duplicates as given).
std::vector<std::size_t> placementOrder(std::span<const ClipOverlayInput> clips) {
    std::vector<std::optional<ClipChapter>> chapters;
    chapters.reserve(clips.size());
    for (const auto& clip : clips) chapters.push_back(ClipChapter::fromFileName(clip.file));
    std::vector<std::size_t> order;
    std::vector<bool> taken(clips.size(), false);
    for (std::size_t i = 0; i < clips.size(); ++i) {
        if (taken[i]) continue;
        if (!chapters[i]) {
            order.push_back(i);
            taken[i] = true;
            continue;
        }
        std::vector<std::size_t> recording;
        for (std::size_t j = i; j < clips.size(); ++j) {
            if (!taken[j] && chapters[j] && chapters[j]->recording == chapters[i]->recording) {
                recording.push_back(j);
                taken[j] = true;
            }
        }
        std::stable_sort(recording.begin(), recording.end(),
                         [&](std::size_t a, std::size_t b) { return chapters[a]->number < chapters[b]->number; });
        order.insert(order.end(), recording.begin(), recording.end());
    }
    return order;
}

// Whether the clip at `later` directly continues the recording of the clip
// at `earlier` (the next chapter number).
bool continuesRecording(const ClipOverlayInput& earlier, const ClipOverlayInput& later) {
    const auto first = ClipChapter::fromFileName(earlier.file);
    const auto second = ClipChapter::fromFileName(later.file);
    return first && second && first->recording == second->recording && second->number == first->number + 1;
}

// The Russian reason the clip's facts give no overlay, none when they do.
std::optional<std::string> factsError(const ClipFacts& facts) {
    if (!facts.frameRate.isKnown()) return "Видео не сообщает частоту кадров: подложку к нему не сделать.";
    if (!ClipOverlayPlan::clipFrameCount(facts)) return "Видео не сообщает число кадров: подложку к нему не сделать.";
    return std::nullopt;
}

ClipOverlay overlayOf(const ClipOverlayInput& clip, ClipPlacement placement, const ClipOverlayOptions& options) {
    ClipOverlay overlay{clip.file, clip.facts, std::move(placement), std::nullopt, std::nullopt};
    if (clip.readError) {
        overlay.error = *clip.readError;
        return overlay;
    }
    if (!overlay.placement.isPlaced()) {
        overlay.error = overlay.placement.message;
        return overlay;
    }
    if (const auto error = factsError(clip.facts)) {
        overlay.error = *error;
        return overlay;
    }
    TelemetryExportSettings settings = options.settings;
    // The clip's exact rate (30000/1001 stays 30000/1001); one the settings
    // cannot write is refused with their reason below.
    settings.frameRate = clip.facts.frameRate;
    if (!options.usesSettingsSize) {
        settings.width = clip.facts.displayWidth;
        settings.height = clip.facts.displayHeight;
    }
    if (const auto error = settings.validationError()) {
        overlay.error = *error;
        return overlay;
    }
    const TelemetryClipTiming timing{*ClipOverlayPlan::clipFrameCount(clip.facts), overlay.placement.rate,
                                     overlay.placement.rideKnots};
    overlay.config = TelemetryRenderConfig::forClip(
        ClipOverlayPlan::outputFile(clip.file, settings.codec, options.outputFolder), settings,
        overlay.placement.startSeconds, timing, options.layout);
    return overlay;
}

}  // namespace

std::optional<std::int64_t> ClipOverlayPlan::clipFrameCount(const ClipFacts& facts) {
    if (facts.frameCount > 0) return facts.frameCount;
    const double frames = facts.durationSeconds * facts.frameRate.framesPerSecond();
    if (!std::isfinite(frames) || frames < 0.5 ||
        frames > static_cast<double>(TelemetryExportSettings::maximumFrameCount)) {
        return std::nullopt;
    }
    return std::llround(frames);
}

std::filesystem::path ClipOverlayPlan::outputFile(const std::filesystem::path& clip, TelemetryVideoCodec codec,
                                                  const std::optional<std::filesystem::path>& outputFolder) {
    if (outputFolder) return *outputFolder / TelemetryExportSettings::outputFileName(clip, codec);
    return TelemetryExportSettings::defaultOutputPath(clip, codec);
}

ClipOverlayPlan ClipOverlayPlan::make(const TelemetryActivity& activity, std::span<const ClipOverlayInput> clips,
                                      const ClipOverlayOptions& options) {
    ClipOverlayPlan plan;
    const std::vector<std::size_t> order = placementOrder(clips);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const ClipOverlayInput& clip = clips[order[k]];
        ClipPlacement placement;
        if (clip.readError) {
            placement.message = *clip.readError;
        } else {
            placement = VideoSynchronization::placeClip(activity, clip.synchronization);
        }
        if (k > 0 && !clip.readError && placement.method != VideoSynchronizationMethod::cameraGPS) {
            const ClipOverlayInput& previous = clips[order[k - 1]];
            const ClipOverlay& previousOverlay = plan.overlays.back();
            if (continuesRecording(previous, clip) && previousOverlay.placement.isPlaced()) {
                placement = VideoSynchronization::placeAfterPreviousChapter(
                    activity, previousOverlay.placement, previous.facts.durationSeconds,
                    clip.synchronization.durationSeconds, previous.file.filename().string());
            }
        }
        plan.overlays.push_back(overlayOf(clip, std::move(placement), options));
    }
    return plan;
}

}  // namespace pacemark
