// SPDX-License-Identifier: GPL-3.0-or-later
// A finished video against the system's ffmpeg doing the same work: decode
// the clip, composite our transparent overlay movie (ProRes 4444) with
// `-filter_complex overlay`, encode with the same codec, quality and preset,
// copy the audio. The clips (60 s, generated once per run into a temporary
// folder, never committed) are a 1080p30 H.264 one and a 4K HEVC 10-bit one.
// Each case runs once; the ratio (ours ÷ ffmpeg's wall time, same run, same
// machine) is what to read: at most 1.10 means compositing costs next to
// nothing beyond the codec. Run in Release, on a quiet machine:
//
//   nice -n 10 build-release/bench/BurnInBench --benchmark_counters_tabular=true
//
// PACEMARK_BURN_IN_BENCH_SECONDS shortens the clips for a quick look.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include <unistd.h>

#include "BenchActivity.h"
#include "CairoDrawingSurface.h"
#include "Export/TelemetryVideoExporter.h"
#include "FFmpegClipBurnIn.h"
#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"
#include "PlatformMovieWriters.h"

namespace {

namespace fs = std::filesystem;
using namespace pacemark;

int clipSeconds() {
    const char* text = std::getenv("PACEMARK_BURN_IN_BENCH_SECONDS");
    return text ? std::max(1, std::atoi(text)) : 60;
}

const fs::path& folder() {
    static const fs::path path = [] {
        auto result = fs::temp_directory_path() / ("pacemark-burn-in-bench-" + std::to_string(::getpid()));
        fs::create_directories(result);
        std::atexit([] { fs::remove_all(folder()); });
        return result;
    }();
    return path;
}

bool shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

double secondsOf(const std::function<bool()>& work, bool& succeeded) {
    const auto start = std::chrono::steady_clock::now();
    succeeded = work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One kind of clip: its size and how it is coded, and the encoder the burn-in picks for it.
struct ClipCase {
    std::string name;
    int width;
    int height;
    std::string sourceCodec;    // ffmpeg arguments that make the clip
    std::string overlayFormat;  // the overlay filter's working format
    int bitDepth;
};

const std::shared_ptr<const TelemetryActivity>& ride() {
    static const auto activity = bench::syntheticRide(3600);
    return activity;
}
const PacemarkLayout& layout() {
    static const PacemarkLayout result = PacemarkLayout::preset(PacemarkPreset::raceBroadcast);
    return result;
}
const std::shared_ptr<const DrawingSurfaceFactory>& surfaces() {
    static const std::shared_ptr<const DrawingSurfaceFactory> result = std::make_shared<const CairoDrawingSurfaceFactory>();
    return result;
}
constexpr double rideStartSeconds = 600;

// The clip and our overlay movie of it, made once.
std::pair<fs::path, fs::path> inputs(const ClipCase& c) {
    const fs::path clip = folder() / (c.name + ".mp4");
    const fs::path overlay = folder() / (c.name + "-overlay.mov");
    if (!fs::exists(clip)) {
        const std::string seconds = std::to_string(clipSeconds());
        if (!shell("ffmpeg -nostdin -y -f lavfi -i testsrc2=size=" + std::to_string(c.width) + "x" +
                   std::to_string(c.height) + ":rate=30 -f lavfi -i sine=frequency=440:sample_rate=48000 -t " +
                   seconds + " " + c.sourceCodec + " -c:a aac -b:a 128k '" + clip.string() + "'")) {
            return {};
        }
        TelemetryRenderConfig config(overlay, c.width, c.height, 30, TelemetryVideoCodec::proRes4444,
                                     rideStartSeconds, clipSeconds(), layout());
        TelemetryVideoExporter(platformMovieWriters(), surfaces()).exportMovie(ride(), config, [](double) {});
    }
    return {clip, overlay};
}

std::map<std::string, double>& ffmpegSeconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

void runFFmpeg(benchmark::State& state, const ClipCase& c) {
    const auto [clip, overlay] = inputs(c);
    if (clip.empty()) {
        state.SkipWithError("the ffmpeg command could not make the clip");
        return;
    }
    const BurnInEncoder encoder = FFmpegClipBurnIn::encoderFor(c.bitDepth);
    const fs::path output = folder() / (c.name + "-ffmpeg.mp4");
    for (auto _ : state) {
        bool succeeded = false;
        const double seconds = secondsOf(
            [&] {
                return shell("ffmpeg -nostdin -y -i '" + clip.string() + "' -i '" + overlay.string() +
                             "' -filter_complex '[0:v][1:v]overlay=format=" + c.overlayFormat + "' -c:v " +
                             encoder.codecName + " -preset " + encoder.preset + " -crf 18" +
                             (c.bitDepth > 8 ? " -pix_fmt yuv420p10le -x265-params log-level=error" : "") +
                             " -c:a copy '" + output.string() + "'");
            },
            succeeded);
        if (!succeeded) state.SkipWithError("the ffmpeg command failed");
        state.SetIterationTime(seconds);
        ffmpegSeconds()[c.name] = seconds;
    }
    state.counters["seconds"] = ffmpegSeconds()[c.name];
}

void runOurs(benchmark::State& state, const ClipCase& c) {
    const auto [clip, overlay] = inputs(c);
    if (clip.empty()) {
        state.SkipWithError("the ffmpeg command could not make the clip");
        return;
    }
    const fs::path output = folder() / (c.name + "-pacemark.mp4");
    const BurnInOverlayMaker overlays = [](std::int64_t width, std::int64_t height) {
        return TelemetryVideoExporter::layoutFrameRenderers(surfaces())(ride(), layout(), width, height,
                                                                       TelemetryExportSettings::defaultMotion);
    };
    double seconds = 0;
    for (auto _ : state) {
        bool succeeded = false;
        seconds = secondsOf(
            [&] {
                FFmpegClipBurnIn::burnIn({clip, output, {rideStartSeconds, 1}, {}}, overlays, {});
                return true;
            },
            succeeded);
        state.SetIterationTime(seconds);
    }
    state.counters["seconds"] = seconds;
    if (const auto reference = ffmpegSeconds().find(c.name); reference != ffmpegSeconds().end()) {
        state.counters["ratio_to_ffmpeg"] = seconds / reference->second;
    }
}

const ClipCase h264{"1080p30-h264", 1920, 1080, "-c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p", "yuv420", 8};
const ClipCase hevc10{"2160p30-hevc10", 3840, 2160,
                      "-c:v libx265 -preset ultrafast -crf 22 -pix_fmt yuv420p10le -x265-params log-level=error",
                      "yuv420p10", 10};

// ffmpeg first in each pair, so that ours reports the ratio.
void BM_FFmpegOverlay1080pH264(benchmark::State& state) { runFFmpeg(state, h264); }
void BM_BurnIn1080pH264(benchmark::State& state) { runOurs(state, h264); }
void BM_FFmpegOverlay2160pHEVC10(benchmark::State& state) { runFFmpeg(state, hevc10); }
void BM_BurnIn2160pHEVC10(benchmark::State& state) { runOurs(state, hevc10); }

BENCHMARK(BM_FFmpegOverlay1080pH264)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_BurnIn1080pH264)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_FFmpegOverlay2160pHEVC10)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_BurnIn2160pHEVC10)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
