// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/TelemetryVideoExporter.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "Export/ExportDestination.h"
#include "Export/ExportTemporaryFile.h"
#include "Export/TelemetryVideoExportError.h"
#include "Rendering/LayoutFrameRenderer.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;

void throwIfStopRequested(const std::stop_token& stopToken) {
    if (stopToken.stop_requested()) throw TelemetryVideoExportCancelled();
}

// Removes a file if it is there. Looks first: on a read-only disk, removing a
// missing file fails with "read-only" rather than "not found".
void removeIfPresent(const fs::path& path, std::error_code& error) {
    error.clear();
    std::error_code statusError;
    if (fs::exists(fs::symlink_status(path, statusError))) fs::remove(path, error);
}

class LayoutExportFrameRenderer final : public ExportFrameRenderer {
public:
    LayoutExportFrameRenderer(std::shared_ptr<const TelemetryActivity> activity, const PacemarkLayout& layout,
                              std::int64_t width, std::int64_t height,
                              std::shared_ptr<const DrawingSurfaceFactory> surfaces, const TelemetryMotion& motion)
        : renderer_(std::move(activity), layout, width, height, std::move(surfaces), motion) {}

    void render(double elapsedSeconds, PixelBufferView into) const override { renderer_.render(elapsedSeconds, into); }
    std::size_t frameKey(double elapsedSeconds) const override { return renderer_.frameKey(elapsedSeconds); }

private:
    LayoutFrameRenderer renderer_;
};

}  // namespace

ExportFrameRendererMaker TelemetryVideoExporter::layoutFrameRenderers(
    std::shared_ptr<const DrawingSurfaceFactory> surfaces) {
    return [surfaces](std::shared_ptr<const TelemetryActivity> activity, const PacemarkLayout& layout,
                      std::int64_t width, std::int64_t height,
                      const TelemetryMotion& motion) -> std::unique_ptr<const ExportFrameRenderer> {
        return std::make_unique<LayoutExportFrameRenderer>(std::move(activity), layout, width, height, surfaces,
                                                           motion);
    };
}

TelemetryVideoExporter::TelemetryVideoExporter(std::shared_ptr<const MovieWriterFactory> writers,
                                               std::shared_ptr<const DrawingSurfaceFactory> surfaces,
                                               Options options)
    : TelemetryVideoExporter(std::move(writers), layoutFrameRenderers(std::move(surfaces)), options) {}

TelemetryVideoExporter::TelemetryVideoExporter(std::shared_ptr<const MovieWriterFactory> writers,
                                               ExportFrameRendererMaker renderers)
    : TelemetryVideoExporter(std::move(writers), std::move(renderers), Options{}) {}

TelemetryVideoExporter::TelemetryVideoExporter(std::shared_ptr<const MovieWriterFactory> writers,
                                               ExportFrameRendererMaker renderers, Options options)
    : writers_(std::move(writers)), renderers_(std::move(renderers)), options_(options) {}

TelemetryVideoFramePlan TelemetryVideoExporter::framePlan(const TelemetryActivity& activity,
                                                          const TelemetryRenderConfig& config) {
    TelemetryVideoFramePlan plan;
    plan.frameRate = config.timingFrameRate();
    plan.startSeconds = config.startOffsetSeconds;
    if (config.clipTiming) {
        // The clip's own frames, whatever part of the ride they cover.
        plan.frameCount = std::clamp<std::int64_t>(config.clipTiming->frameCount, 1, std::int64_t{1} << 62);
        plan.rideSecondsPerMovieSecond = config.clipTiming->rideSecondsPerMovieSecond;
        plan.rideKnots = config.clipTiming->rideKnots;
        plan.segmentSeconds = std::max(plan.rideSecondsPerMovieSecond * plan.frameRate.seconds(plan.frameCount), 0.001);
        return plan;
    }
    const double remaining = std::max(activity.durationSeconds() - config.startOffsetSeconds, 0.0);
    // std::min keeps `remaining` when the requested duration is NaN.
    double segment = std::min(remaining, config.durationSeconds.value_or(remaining));
    segment = std::max(segment, 0.001);
    plan.segmentSeconds = segment;
    // Bounded (framesCovering stops at 2^62): a segment of a recording whose
    // clock jumped (or an absurd end) must not overflow the count; the
    // settings refuse such a movie by its count (movieLengthError).
    plan.frameCount = std::max<std::int64_t>(plan.frameRate.framesCovering(segment), 1);
    return plan;
}

fs::path TelemetryVideoExporter::temporaryPath(const fs::path& outputFile) {
    return ExportTemporaryFile::nameFor(outputFile);
}

void TelemetryVideoExporter::exportMovie(const TelemetryActivity& activity, const TelemetryRenderConfig& config,
                                         const std::function<void(double)>& progress,
                                         std::stop_token stopToken) const {
    exportMovie(std::make_shared<const TelemetryActivity>(activity), config, progress, std::move(stopToken));
}

void TelemetryVideoExporter::exportMovie(std::shared_ptr<const TelemetryActivity> activity,
                                         const TelemetryRenderConfig& config,
                                         const std::function<void(double)>& progress,
                                         std::stop_token stopToken) const {
    if (!activity) throw PacemarkError("Нет данных телеметрии для экспорта.");
    const fs::path& outputFile = config.outputFile;
    if (outputFile.filename().empty()) throw PacemarkError("Не указан файл для видео.");
    // Checked again here, before any work, whoever the caller: the movie
    // never replaces the ride it shows, a device or a folder, and a movie
    // the writers cannot index is not started.
    std::vector<fs::path> inputs;
    if (activity->sourceFile) inputs.push_back(*activity->sourceFile);
    if (const auto refusal = ExportDestination::error(outputFile, inputs)) throw PacemarkError(*refusal);
    const TelemetryVideoFramePlan plan = framePlan(*activity, config);
    if (const auto refusal = config.movieLengthError(plan.frameCount, config.durationSeconds.has_value())) {
        throw PacemarkError(*refusal);
    }

    // Setup: the folder, a fresh temporary name, the renderer and the writer.
    std::error_code error;
    const fs::path folder = outputFile.parent_path();
    if (!folder.empty()) {
        fs::create_directories(folder, error);
        if (error) throw exportFileError("создать папку", folder, error);
    }
    // Leftovers of exports that died (killed, a power cut) go first; the
    // new temporary is locked for as long as this export runs.
    ExportTemporaryFile::removeStale(folder);
    ExportTemporaryFile temporaryFile(outputFile);
    const fs::path& temporary = temporaryFile.path();

    const std::unique_ptr<const ExportFrameRenderer> renderer =
        renderers_(activity, config.layout, config.width, config.height, config.motion);
    const std::unique_ptr<MovieWriter> writer = writers_->makeWriter(config.writerSettings(temporary));

    try {
        // A writer that fails to start may already have created the file, so
        // from here on every failure removes the temporary file.
        writer->startWriting();

        std::optional<std::size_t> previousKey;
        for (std::int64_t i = 0; i < plan.frameCount; ++i) {
            throwIfStopRequested(stopToken);
            while (!writer->isReadyForMoreMediaData()) {
                throwIfStopRequested(stopToken);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            const double elapsed = plan.elapsedSeconds(i);
            std::optional<std::size_t> key;
            if (options_.reusesRepeatedFrames) key = renderer->frameKey(elapsed);
            if (key && key == previousKey) {
                writer->appendRepeat(i);
            } else {
                const PixelBufferView buffer = writer->makePixelBuffer();
                if (!buffer.isValid() || buffer.width != config.width || buffer.height != config.height) {
                    throw TelemetryVideoExportError::cannotCreatePixelBuffer();
                }
                renderer->render(elapsed, buffer);
                writer->append(buffer, i);
                previousKey = key;
            }
            if (plan.reportsProgress(i) && progress) {
                progress(static_cast<double>(i + 1) / static_cast<double>(plan.frameCount));
            }
        }

        writer->finish();
        // rename() replaces an existing destination atomically, so the old
        // movie stays intact until the new one is complete and in place.
        temporaryFile.moveInto(outputFile, error);
        if (error) throw exportFileError("сохранить видео", outputFile, error);
    } catch (...) {
        writer->cancel();
        std::error_code ignored;
        removeIfPresent(temporary, ignored);
        throw;
    }
}

}  // namespace pacemark
