// pacemark-cli export: the whole export path of the application without a
// window, with a progress bar on the terminal and a clean stop on Ctrl-C.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <stop_token>
#include <string>
#include <thread>
#include <tuple>

#include "CLIArguments.h"
#include "CLICommands.h"
#include "CairoDrawingSurface.h"
#include "Export/TelemetryVideoExporter.h"
#include "FFmpegMovieWriterFactory.h"
#include "LayoutOption.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "HEVCAlphaMovieWriter.h"
#include "PacemarkError.h"

namespace pacemark::cli {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Set by SIGINT/SIGTERM; a watcher thread turns it into a stop request, since
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
    }
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

private:
    void (*previousInt_)(int);
    void (*previousTerm_)(int);
    std::jthread watcher_;
};

std::string clockText(double seconds) {
    const auto total = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    }
    return text;
}

// One line, redrawn in place on a terminal:
// "[########............]  40%  кадр 1200/3000  350 к/с (11.7×)  осталось 0:05".
class ProgressLine {
public:
    ProgressLine(std::int64_t frameCount, std::int64_t framesPerSecond)
        : frameCount_(frameCount), framesPerSecond_(framesPerSecond), started_(Clock::now()),
          isTerminal_(isatty(STDERR_FILENO) == 1) {}

    void update(double fraction) {
        if (!isTerminal_) return;
        draw(fraction);
        std::cerr << std::flush;
    }

    void finish(double fraction) {
        draw(fraction);
        std::cerr << "\n" << std::flush;
    }

private:
    void draw(double fraction) {
        const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
        const auto frames = static_cast<std::int64_t>(fraction * double(frameCount_) + 0.5);
        const double rate = seconds > 0 ? double(frames) / seconds : 0;
        constexpr int width = 24;
        const int filled = static_cast<int>(fraction * width);
        char line[200];
        std::snprintf(line, sizeof line, "[%s%s] %3d%%  кадр %lld/%lld  %.0f к/с (%.1f×)", 
                      std::string(std::size_t(filled), '#').c_str(), std::string(std::size_t(width - filled), '.').c_str(),
                      static_cast<int>(fraction * 100), static_cast<long long>(frames),
                      static_cast<long long>(frameCount_), rate, rate / double(framesPerSecond_));
        std::string text = line;
        if (rate > 0 && frames < frameCount_) text += "  осталось " + clockText(double(frameCount_ - frames) / rate);
        std::cerr << (isTerminal_ ? "\r" + text + "\033[K" : text);
    }

    std::int64_t frameCount_;
    std::int64_t framesPerSecond_;
    Clock::time_point started_;
    bool isTerminal_;
};

TelemetryVideoCodec codecOption(const CLIArguments& args) {
    const std::string name = args.value("--codec").value_or("prores");
    if (name == "prores") return TelemetryVideoCodec::proRes4444;
    if (name == "hevc") return TelemetryVideoCodec::hevcWithAlpha;
    throw CLIUsageError("Неизвестный кодек «" + name + "»: возможны prores и hevc.");
}

// ProRes through FFmpeg; HEVC with alpha through its own x265 back end.
std::shared_ptr<const MovieWriterFactory> movieWriters() {
    return std::make_shared<const FFmpegMovieWriterFactory>(std::make_shared<const X265MovieWriterFactory>());
}

}  // namespace

// Exports FILE as a transparent overlay movie.
int runExportCommand(std::span<const std::string> arguments) {
    const CLIArguments args(arguments, {"--output", "--codec", "--preset", "--layout", "--size", "--fps", "--start", "--end"}, {},
                            {{"-o", "--output"}});
    const fs::path source = args.requireOneFile();
    const TelemetryVideoCodec codec = codecOption(args);
    const LayoutOption overlay = LayoutOption::fromOptions(args);
    TelemetryExportSettings settings;
    settings.codec = codec;
    if (const auto size = args.size("--size")) std::tie(settings.width, settings.height) = *size;
    settings.framesPerSecond = args.positiveInteger("--fps", TelemetryExportSettings::maximumFramesPerSecond)
                                   .value_or(TelemetryExportSettings::defaultFramesPerSecond);
    if (const auto error = settings.validationError()) throw CLIUsageError(*error);
    const auto [width, height, fps] = std::tuple(settings.width, settings.height, settings.framesPerSecond);
    const double start = args.number("--start").value_or(0);
    const std::optional<double> end = args.number("--end");
    if (start < 0) throw CLIUsageError("Начало отрезка не может быть отрицательным.");
    if (end && *end <= start) throw CLIUsageError("Конец отрезка должен быть позже начала.");
    const fs::path output =
        args.value("--output").value_or(TelemetryExportSettings::defaultOutputPath(source).string());
    // Checked before any work: a folder named as the output is a wrong
    // argument (status 2); a place that cannot be written is the same failure
    // a late write would report (status 1), only found at once.
    if (const auto error = TelemetryExportSettings::outputFolderError(output)) throw CLIUsageError(*error);
    if (const auto error = TelemetryExportSettings::outputPlaceError(output)) throw PacemarkError(*error);

    const auto activity = std::make_shared<const TelemetryActivity>(TelemetryFileLoader::load(source));
    const TelemetryRenderConfig config(output, settings, start,
                                       end ? std::optional<double>(*end - start) : std::nullopt,
                                       overlay.layout);
    const TelemetryVideoFramePlan plan = TelemetryVideoExporter::framePlan(*activity, config);

    const TelemetryVideoExporter exporter(movieWriters(), std::make_shared<const CairoDrawingSurfaceFactory>());
    std::cerr << "Создаю " << output.filename().string() << ": " << width << "×" << height << ", " << fps
              << " к/с, " << std::string(codec.rawValue()) << ", кадров: " << plan.frameCount << "\n";
    ProgressLine progress(plan.frameCount, plan.framesPerSecond);
    double reported = 0;
    std::stop_source stop;
    try {
        const InterruptGuard interrupts(stop);
        exporter.exportMovie(
            activity, config,
            [&](double fraction) {
                reported = fraction;
                progress.update(fraction);
            },
            stop.get_token());
    } catch (const TelemetryVideoExportCancelled&) {
        progress.finish(reported);
        std::cerr << "Экспорт остановлен.\n";
        return 130;
    }
    progress.finish(1.0);
    std::cout << "Готово: " << output.string() << "\n";
    return 0;
}

}  // namespace pacemark::cli
