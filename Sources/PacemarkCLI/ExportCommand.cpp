// SPDX-License-Identifier: GPL-3.0-or-later
// pacemark-cli export: the whole export path of the application without a
// window, for one ride or many, with progress on stderr and a clean stop on
// Ctrl-C.
#include <atomic>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <iostream>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "CLIArguments.h"
#include "CLIDestination.h"
#include "CLICommands.h"
#include "CLIGlobalOptions.h"
#include "CairoDrawingSurface.h"
#include "ClipSynchronizationReading.h"
#include "FFmpegClipBurnIn.h"
#include "ExportBatch.h"
#include "ExportMotionOption.h"
#include "ExportProgress.h"
#include "Export/BurnInSettings.h"
#include "Export/ClipOverlayPlan.h"
#include "Export/ExportDestination.h"
#include "Export/TelemetryVideoExporter.h"
#include "LayoutOption.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "PacemarkError.h"
#include "PlatformMovieWriters.h"

namespace pacemark::cli {
namespace {

namespace fs = std::filesystem;

// Set by SIGINT/SIGTERM/SIGHUP (a closed terminal stops the export as Ctrl-C
// does, so that its temporary file is removed); a watcher thread turns it into a stop request, since
// a signal handler may only touch lock-free atomics.
std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void requestInterrupt(int) { interruptRequested.store(true); }

// Installs the handlers for its lifetime and restores the previous ones.
class InterruptGuard {
public:
    explicit InterruptGuard(std::stop_source stop)
        : previousInt_(std::signal(SIGINT, requestInterrupt)),
          previousTerm_(std::signal(SIGTERM, requestInterrupt)),
          previousHangUp_(std::signal(SIGHUP, requestInterrupt)),
          watcher_([stop](std::stop_token done) mutable {
              while (!done.stop_requested()) {
                  if (interruptRequested.load()) {
                      stop.request_stop();
                      return;
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          }) {}
    ~InterruptGuard() {
        watcher_.request_stop();
        watcher_.join();
        std::signal(SIGINT, previousInt_);
        std::signal(SIGTERM, previousTerm_);
        std::signal(SIGHUP, previousHangUp_);
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    void (*previousInt_)(int);
    void (*previousTerm_)(int);
    void (*previousHangUp_)(int);
    std::jthread watcher_;
};

// "a, b и c": the command-line names of the codecs that pass `keep`.
template <typename Keep>
std::string codecNames(Keep keep) {
    std::vector<std::string_view> names;
    for (const TelemetryVideoCodec codec : TelemetryVideoCodec::allCases()) {
        if (keep(codec.row())) names.push_back(codec.row().commandLineName);
    }
    std::string text;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (k > 0) text += k + 1 == names.size() ? " и " : ", ";
        text += names[k];
    }
    return text;
}

// The default is the codec an editor takes without a plug-in.
TelemetryVideoCodec codecOption(const CLIArguments& args) {
    const std::string name = args.value("--codec").value_or("prores");
    if (const auto codec = TelemetryVideoCodec::fromCommandLineName(name)) return *codec;
    throw CLIUsageError("Неизвестный кодек «" + name + "»: возможны " +
                        codecNames([](const TelemetryVideoCodecRow&) { return true; }) + ".");
}

// Writes one movie of the run with its progress on stderr; `title` starts
// the line that announces it.
ExportedMovie writeMovie(const TelemetryVideoExporter& exporter, std::shared_ptr<const TelemetryActivity> activity,
                         const TelemetryRenderConfig& config, const std::string& title, ExportProgressMode progressMode,
                         std::stop_token stop) {
    const TelemetryVideoFramePlan plan = TelemetryVideoExporter::framePlan(*activity, config);
    if (progressMode != ExportProgressMode::quiet) {
        std::cerr << title << config.outputFile.filename().string() << ": " << config.width << "×" << config.height
                  << ", " << config.frameRate.title() << " к/с, " << std::string(config.codec.rawValue())
                  << ", кадров: " << plan.frameCount << "\n";
    }
    ExportProgress progress(std::cerr, progressMode, plan.frameCount, plan.frameRate);
    double reported = 0;
    try {
        exporter.exportMovie(
            std::move(activity), config,
            [&](double fraction) {
                reported = fraction;
                progress.update(fraction);
            },
            std::move(stop));
    } catch (const TelemetryVideoExportCancelled&) {
        progress.finish(reported);
        throw;
    }
    progress.finish(1.0);
    return ExportedMovie{plan.frameCount, plan.frameRate};
}

std::optional<fs::path> pathOption(const CLIArguments& args, const char* option) {
    if (auto text = args.value(option)) return fs::path(*text);
    return std::nullopt;
}

// Checked before any work, for every movie of the run: a destination that
// is no file to write (a folder, a device, one of the inputs, a read-only
// movie without --force) is a wrong argument (status 2). A destination
// --skip-existing leaves alone only must not be an input.
void checkDestinations(const std::vector<ExportJob>& jobs, const std::vector<fs::path>& inputs, bool skipExisting,
                       bool force) {
    for (const ExportJob& job : jobs) {
        if (skipExisting && ExportBatch::isCompleteMovie(job.output)) {
            if (const auto error = ExportDestination::error(job.output, inputs)) throw CLIUsageError(*error);
            continue;
        }
        checkDestination(job.output, inputs, force, std::cerr);
    }
}

// `export RIDE --clips CLIP...`: one overlay per clip, each placed on the
// ride and timed, sized and named by ClipOverlayPlan.
int exportClips(const CLIArguments& args, const TelemetryExportSettings& settings, bool sizeGiven,
                const LayoutOption& overlay) {
    // --burn-in: the finished video of each clip instead of its overlay.
    const bool burnIn = args.has("--burn-in");
    BurnInSettings burnInSettings;
    if (burnIn) {
        for (const char* option : {"--codec", "--compact", "--size"}) {
            if (args.has(option)) {
                throw CLIUsageError(std::string("С --burn-in видео берёт кодек и размер клипа: ") + option +
                                    " не подходит.");
            }
        }
        if (const auto quality = args.value("--quality")) {
            std::int64_t value = 0;
            const auto parsed = std::from_chars(quality->data(), quality->data() + quality->size(), value);
            if (parsed.ec != std::errc{} || parsed.ptr != quality->data() + quality->size() || quality->empty()) {
                throw CLIUsageError(BurnInSettings::qualityRefusal("«" + std::string(*quality) + "»"));
            }
            burnInSettings.quality = value;
            if (const auto error = burnInSettings.qualityError()) throw CLIUsageError(*error);
        }
    }
    for (const char* option : {"--fps", "--start", "--end"}) {
        if (args.has(option)) {
            throw CLIUsageError(std::string("С --clips частота кадров, начало и длина берутся из каждого клипа: ") +
                                option + " не подходит.");
        }
    }
    if (args.has("--output")) {
        throw CLIUsageError("С --clips -o не подходит: укажите --output-dir или ничего (подложки лягут рядом с "
                            "клипами).");
    }
    if (args.positional().size() < 2) throw CLIUsageError("Укажите файл заезда и после --clips хотя бы один клип.");
    const fs::path ride = args.positional().front();
    const std::vector<fs::path> clipFiles(args.positional().begin() + 1, args.positional().end());
    const auto outputFolder = pathOption(args, "--output-dir");
    std::vector<fs::path> inputs(args.positional().begin(), args.positional().end());
    if (const auto layout = args.value("--layout")) inputs.emplace_back(*layout);

    std::stop_source stop;
    const InterruptGuard interrupts(stop);
    std::shared_ptr<const TelemetryActivity> activity;
    try {
        activity = std::make_shared<const TelemetryActivity>(loadActivity(ride, stop.get_token()));
    } catch (const TelemetryLoadCancelled&) {
        std::cerr << "Экспорт остановлен.\n";
        return 130;
    }
    std::vector<ClipOverlayInput> clips;
    for (const fs::path& file : clipFiles) {
        ClipOverlayInput clip{file, {}, {}, std::nullopt};
        try {
            ClipReading reading = readClip(file, stop.get_token());
            clip.synchronization = std::move(reading.synchronization);
            clip.facts = reading.facts;
        } catch (const PacemarkError& error) {
            clip.readError = error.errorDescription();
        }
        clips.push_back(std::move(clip));
    }
    if (stop.stop_requested()) {
        std::cerr << "Экспорт остановлен.\n";
        return 130;
    }
    const ClipOverlayPlan plan = ClipOverlayPlan::make(
        *activity, clips, {.settings = settings, .usesSettingsSize = sizeGiven, .outputFolder = outputFolder,
                           .layout = overlay.layout});

    // One job per clip in the plan's order; the destinations of every clip
    // are checked before the first movie, whether or not it can be placed.
    std::vector<ExportJob> jobs;
    for (const ClipOverlay& clip : plan.overlays) {
        if (burnIn) {
            jobs.push_back({clip.clip, BurnInSettings::outputPath(clip.clip, outputFolder)});
            continue;
        }
        jobs.push_back({clip.clip, clip.config ? clip.config->outputFile
                                               : ClipOverlayPlan::outputFile(clip.clip, settings.codec, outputFolder)});
    }
    ExportBatch::checkDistinctOutputs(jobs);
    const bool skipExisting = args.has("--skip-existing");
    checkDestinations(jobs, inputs, skipExisting, args.has("--force"));

    const TelemetryVideoExporter exporter(platformMovieWriters({.compactStorage = args.has("--compact")}),
                                          std::make_shared<const CairoDrawingSurfaceFactory>());
    const ExportProgressMode progressMode = exportProgressMode(args.has("--quiet"));
    const auto surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
    const auto burnInOne = [&](const ExportJob& job, const ClipOverlay& clip, std::size_t index) {
        // A finished video follows the clip's own pictures, so only the
        // placement counts: a clip the overlay movie refuses for its facts
        // (a rate or a length it cannot carry) is burnt all the same.
        if (!clip.placement.isPlaced()) throw PacemarkError(clip.error.value_or(clip.placement.message));
        if (const auto error = TelemetryExportSettings::outputPlaceError(job.output)) throw PacemarkError(*error);
        const std::int64_t frames = std::max<std::int64_t>(clip.facts.frameCount, 1);
        // The clip's own rate (30000/1001 stays exact in the progress and
        // the JSON seconds); 1 when the movie states none.
        const FrameRate rate = clip.facts.frameRate.isKnown() ? clip.facts.frameRate : FrameRate(1);
        if (progressMode != ExportProgressMode::quiet) {
            std::cerr << "Клип " << index + 1 << " из " << jobs.size() << ", " << job.source.filename().string()
                      << ": " << clip.placement.message << "\n"
                      << "Создаю " << job.output.filename().string() << " с видео, кадров: " << frames << "\n";
        }
        ExportProgress progress(std::cerr, progressMode, frames, rate);
        double reported = 0;
        const BurnInOverlayMaker overlays = [&](std::int64_t width, std::int64_t height) {
            return TelemetryVideoExporter::layoutFrameRenderers(surfaces)(activity, overlay.layout, width, height,
                                                                         settings.motion);
        };
        try {
            FFmpegClipBurnIn::burnIn({clip.clip, job.output, {clip.placement.startSeconds, clip.placement.rate},
                                      burnInSettings},
                                     overlays,
                                     [&](double fraction) {
                                         reported = fraction;
                                         progress.update(fraction);
                                     },
                                     stop.get_token());
        } catch (const TelemetryVideoExportCancelled&) {
            progress.finish(reported);
            throw;
        }
        progress.finish(1.0);
        return ExportedMovie{frames, rate};
    };
    const auto exportOne = [&](const ExportJob& job) {
        const auto index = static_cast<std::size_t>(&job - jobs.data());
        const ClipOverlay& clip = plan.overlays.at(index);
        if (burnIn) return burnInOne(job, clip, index);
        if (!clip.config) throw PacemarkError(*clip.error);
        if (const auto error = TelemetryExportSettings::outputPlaceError(job.output)) throw PacemarkError(*error);
        if (progressMode != ExportProgressMode::quiet) {
            // The run's progress over the clips, then the clip's own.
            std::cerr << "Клип " << index + 1 << " из " << jobs.size() << ", " << job.source.filename().string()
                      << ": " << clip.placement.message << "\n";
        }
        return writeMovie(exporter, activity, *clip.config, "Создаю ", progressMode, stop.get_token());
    };
    ExportBatch batch({.json = args.has("--json"), .skipExisting = skipExisting}, std::cout, std::cerr);
    return batch.run(jobs, exportOne);
}

}  // namespace

// Exports each FILE as a transparent overlay movie, or with --clips one
// overlay per clip of one ride.
int runExportCommand(std::span<const std::string> arguments) {
    const CLIArguments args(arguments,
                            {"--output", "--output-dir", "--codec", "--preset", "--layout", "--size", "--fps", "--start",
                             "--end", "--motion", "--quality"},
                            {"--json", "--quiet", "--skip-existing", "--compact", "--smooth-values", "--force", "--clips",
                             "--burn-in"},
                            {{"-o", "--output"}, {"-q", "--quiet"}});
    const TelemetryVideoCodec codec = codecOption(args);
    const bool compact = args.has("--compact");
    if (compact && !codec.row().compactStorage) {
        throw CLIUsageError("--compact работает только с --codec " +
                            codecNames([](const TelemetryVideoCodecRow& row) { return row.compactStorage; }) + ".");
    }
    const LayoutOption overlay = LayoutOption::fromOptions(args);
    TelemetryExportSettings settings;
    settings.codec = codec;
    const auto size = args.size("--size");
    if (size) std::tie(settings.width, settings.height) = *size;
    if (const auto fps = args.value("--fps")) {
        if (const auto error = FrameRate::parseError(*fps)) throw CLIUsageError(*error);
        settings.frameRate = *FrameRate::parse(*fps);
    }
    settings.motion = motionOption(args);
    if (const auto error = settings.validationError()) throw CLIUsageError(*error);
    if (args.value("--output-dir") == "") throw CLIUsageError("Пустой параметр --output-dir: укажите папку.");
    if (args.has("--clips")) return exportClips(args, settings, size.has_value(), overlay);
    if (args.has("--burn-in") || args.has("--quality")) {
        throw CLIUsageError("--burn-in и --quality работают только с --clips: export RIDE --clips CLIP... --burn-in.");
    }

    const double start = args.number("--start").value_or(0);
    const std::optional<double> end = args.number("--end");
    if (start < 0) throw CLIUsageError("Начало отрезка не может быть отрицательным.");
    if (end && *end <= start) throw CLIUsageError("Конец отрезка должен быть позже начала.");
    const std::vector<ExportJob> jobs =
        ExportBatch::plan(args.positional(), pathOption(args, "--output"), pathOption(args, "--output-dir"));
    const ExportProgressMode progressMode = exportProgressMode(args.has("--quiet"));
    const bool skipExisting = args.has("--skip-existing");
    // Every ride and the layout are inputs no movie may replace.
    std::vector<fs::path> inputs(args.positional().begin(), args.positional().end());
    if (const auto layout = args.value("--layout")) inputs.emplace_back(*layout);
    checkDestinations(jobs, inputs, skipExisting, args.has("--force"));

    const TelemetryVideoExporter exporter(platformMovieWriters({.compactStorage = compact}), std::make_shared<const CairoDrawingSurfaceFactory>());
    std::stop_source stop;
    const auto exportOne = [&](const ExportJob& job) {
        // A place that cannot be written fails that ride at once with the
        // error a late write would report.
        if (const auto error = TelemetryExportSettings::outputPlaceError(job.output)) throw PacemarkError(*error);
        // Ctrl-C during a long load stops it as it stops the export.
        std::shared_ptr<const TelemetryActivity> activity;
        try {
            activity = std::make_shared<const TelemetryActivity>(loadActivity(job.source, stop.get_token()));
        } catch (const TelemetryLoadCancelled&) {
            throw TelemetryVideoExportCancelled();
        }
        const TelemetryRenderConfig config(job.output, settings, start,
                                           end ? std::optional<double>(*end - start) : std::nullopt, overlay.layout);
        const TelemetryVideoFramePlan plan = TelemetryVideoExporter::framePlan(*activity, config);
        // Known before the first frame: a movie the writers cannot index, or
        // one of more than 7 days that nobody asked for by its end.
        if (const auto error = settings.movieLengthError(plan.frameCount, end.has_value())) {
            const bool unasked = !end && settings.exceedsUnaskedMovieLength(plan.frameCount);
            throw PacemarkError(*error + (unasked ? " Это делает параметр --end СЕКУНДЫ." : ""));
        }
        return writeMovie(exporter, activity, config, "Создаю ", progressMode, stop.get_token());
    };
    const InterruptGuard interrupts(stop);
    ExportBatch batch({.json = args.has("--json"), .skipExisting = skipExisting}, std::cout, std::cerr);
    return batch.run(jobs, exportOne);
}

}  // namespace pacemark::cli
