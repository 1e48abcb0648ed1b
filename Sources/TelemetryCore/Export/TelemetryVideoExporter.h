// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <stop_token>
#include <vector>

#include "Export/ExportFrameRenderer.h"
#include "Export/MovieWriter.h"
#include "Rendering/DrawingSurface.h"
#include "Export/TelemetryRenderConfig.h"
#include "Telemetry/TelemetryActivity.h"

namespace pacemark {

// Thrown when the caller's stop token asks an export to stop. Deliberately
// not a PacemarkError: a stop the user asked for is not a failure.
class TelemetryVideoExportCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Экспорт остановлен."; }
};

// Which frames an export writes: frame i is presented at
// frameRate.seconds(i) = i × D / N and shows activity time
// startSeconds + rideSecondsPerMovieSecond × i × D / N (elapsedSeconds, the
// one place the instant is worked out; a variable-speed clip: the ride
// instant its clock gives for that movie time). A clip overlay may start before the
// activity and run past its end; the renderer shows the first sample before
// it and the last after it.
struct TelemetryVideoFramePlan {
    FrameRate frameRate = 1;         // the settings' timing rate, at least 1 frame a second
    std::int64_t frameCount = 1;     // at least 1
    double startSeconds = 0;
    double segmentSeconds = 0.001;   // at least 0.001
    double rideSecondsPerMovieSecond = 1;  // a clip's clock rate; 1 for an ordinary export
    // A variable-speed clip's clock (TelemetryClipTiming::rideKnots), which
    // then replaces start + rate × t.
    std::vector<ClipRideKnot> rideKnots;

    double elapsedSeconds(std::int64_t frameIndex) const {
        if (!rideKnots.empty()) {
            return rideSecondsAt(rideKnots, frameRate.seconds(frameIndex));
        }
        // At rate 1 the product is exact, so ordinary exports keep their instants bit for bit.
        return startSeconds + rideSecondsPerMovieSecond * frameRate.seconds(frameIndex);
    }
    // Progress is reported with the first frame of every second of output
    // and after the last frame.
    bool reportsProgress(std::int64_t frameIndex) const {
        return frameRate.startsSecond(frameIndex) || frameIndex == frameCount - 1;
    }
    bool operator==(const TelemetryVideoFramePlan&) const = default;
};

struct TelemetryVideoExportOptions {
    // Write a frame that looks like its predecessor as a repeat instead of
    // rendering it again. Off only to measure or check what reuse saves.
    bool reusesRepeatedFrames = true;
};

// Renders a segment of an activity frame by frame into a movie with alpha.
// The movie is written to a temporary file beside the destination and moved
// over the destination only when complete: whatever happens, the destination
// holds either its old contents or the whole new movie.
class TelemetryVideoExporter {
public:
    using Options = TelemetryVideoExportOptions;

    // Frames drawn by LayoutFrameRenderer on surfaces of `surfaces`.
    TelemetryVideoExporter(std::shared_ptr<const MovieWriterFactory> writers,
                           std::shared_ptr<const DrawingSurfaceFactory> surfaces, Options options = {});
    TelemetryVideoExporter(std::shared_ptr<const MovieWriterFactory> writers, ExportFrameRendererMaker renderers);
    TelemetryVideoExporter(std::shared_ptr<const MovieWriterFactory> writers, ExportFrameRendererMaker renderers,
                           Options options);

    // Writes the movie of `config` and returns once it is at config.outputFile.
    // `progress` receives fractions in (0, 1], the last exactly 1, on the
    // calling thread. A stop request is noticed before every frame and while
    // waiting for the writer, and ends the export with
    // TelemetryVideoExportCancelled. Failures are PacemarkErrors. Before any
    // work the destination is checked (ExportDestination, with the
    // activity's source file as the input it must not replace) and the
    // movie's length (movieLengthError; the 7-day bound applies when the
    // config has no durationSeconds).
    void exportMovie(std::shared_ptr<const TelemetryActivity> activity, const TelemetryRenderConfig& config,
                     const std::function<void(double)>& progress, std::stop_token stopToken = {}) const;
    void exportMovie(const TelemetryActivity& activity, const TelemetryRenderConfig& config,
                     const std::function<void(double)>& progress, std::stop_token stopToken = {}) const;

    // Makes LayoutFrameRenderers drawing through `surfaces`.
    static ExportFrameRendererMaker layoutFrameRenderers(std::shared_ptr<const DrawingSurfaceFactory> surfaces);

    static TelemetryVideoFramePlan framePlan(const TelemetryActivity& activity, const TelemetryRenderConfig& config);
    // "<base>.<UUID>.tmp.<ext>" in the output's folder; ext "mov" when the output has none
    // (ExportTemporaryFile owns the name and the lock that marks a running export).
    static std::filesystem::path temporaryPath(const std::filesystem::path& outputFile);

private:
    std::shared_ptr<const MovieWriterFactory> writers_;
    ExportFrameRendererMaker renderers_;
    Options options_;
};

}  // namespace pacemark
