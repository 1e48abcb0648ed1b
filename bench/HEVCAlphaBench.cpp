// SPDX-License-Identifier: GPL-3.0-or-later
// HEVC with alpha (two libx265 encodes layered into one stream) against
// ProRes 4444 at 1920x1080, 30 fps, on frames of the default layout drawn by
// the real renderer. Run:
//   build/bench/HEVCAlphaBench --benchmark_counters_tabular=true
// Rates are per second of wall time; compare rows of one run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "CairoDrawingSurface.h"
#include "Export/TelemetryVideoExporter.h"
#include "PlatformMovieWriters.h"
#include "HEVCAlphaFrameConverter.h"
#include "HEVCAlphaMovieWriter.h"
#include "BenchActivity.h"
#include "Layout/PacemarkPreset.h"
#include "Rendering/LayoutFrameRenderer.h"

namespace {

using namespace pacemark;
namespace fs = std::filesystem;

constexpr std::int64_t kWidth = 1920;
constexpr std::int64_t kHeight = 1080;
constexpr std::int64_t kFramesPerSecond = 30;
constexpr std::int64_t kDistinctFrames = 60;

std::shared_ptr<const TelemetryActivity> tenMinuteActivity() {
    static const auto activity = bench::syntheticRide(600);
    return activity;
}

std::shared_ptr<const DrawingSurfaceFactory> surfaces() {
    static const auto factory = std::make_shared<const CairoDrawingSurfaceFactory>();
    return factory;
}

fs::path scratchMovie(const char* name) {
    return fs::temp_directory_path() / (std::string("pacemark-hevc-bench-") + std::to_string(getpid()) + "-" + name);
}

struct OwnedFrame {
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(std::size_t(kWidth * kHeight * 4));
    PixelBufferView view{pixels.data(), kWidth, kHeight, kWidth * 4};
};

// Distinct frames of the default layout, one second of activity apart.
const std::vector<OwnedFrame>& renderedFrames() {
    static const auto frames = [] {
        LayoutFrameRenderer renderer(tenMinuteActivity(), PacemarkLayout::preset(PacemarkPreset::compactRace), kWidth,
                                     kHeight, surfaces());
        std::vector<OwnedFrame> result(8);
        for (std::size_t i = 0; i < result.size(); ++i) renderer.render(30.0 + double(i), result[i].view);
        return result;
    }();
    return frames;
}

MovieWriterSettings writerSettings(const fs::path& movieFile, TelemetryVideoCodec codec) {
    return TelemetryExportSettings{kWidth, kHeight, kFramesPerSecond, codec}.writerSettings(movieFile);
}

// Convert, encode and write kDistinctFrames distinct frames (no repeats).
void writeDistinctFrames(benchmark::State& state, TelemetryVideoCodec codec) {
    const fs::path movieFile = scratchMovie("distinct.mov");
    const auto writers = platformMovieWriters();
    const auto& frames = renderedFrames();
    std::int64_t written = 0;
    for (auto _ : state) {
        const auto writer = writers->makeWriter(writerSettings(movieFile, codec));
        writer->startWriting();
        for (std::int64_t i = 0; i < kDistinctFrames; ++i) {
            const PixelBufferView buffer = writer->makePixelBuffer();
            const auto& source = frames[std::size_t(i) % frames.size()].pixels;
            std::copy(source.begin(), source.end(), buffer.data);
            writer->append(buffer, i);
        }
        writer->finish();
        written += kDistinctFrames;
    }
    state.counters["kB/frame"] = double(fs::file_size(movieFile)) / double(kDistinctFrames) / 1000;
    fs::remove(movieFile);
    state.counters["frames/s"] = benchmark::Counter(double(written), benchmark::Counter::kIsRate);
}

void BM_HEVCAlphaDistinctFrames(benchmark::State& state) { writeDistinctFrames(state, TelemetryVideoCodec::hevcWithAlpha); }
BENCHMARK(BM_HEVCAlphaDistinctFrames)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

void BM_ProResDistinctFrames(benchmark::State& state) { writeDistinctFrames(state, TelemetryVideoCodec::proRes4444); }
BENCHMARK(BM_ProResDistinctFrames)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The whole export path over the first `seconds` of the activity (1 Hz
// samples: one distinct frame in 30, the others handed over as repeats).
void runExport(benchmark::State& state, TelemetryVideoCodec codec) {
    const fs::path movieFile = scratchMovie("export.mov");
    const auto writers = platformMovieWriters();
    const TelemetryVideoExporter exporter(writers, surfaces());
    const TelemetryRenderConfig config(movieFile, kWidth, kHeight, kFramesPerSecond, codec, 0, double(state.range(0)),
                                       PacemarkLayout::preset(PacemarkPreset::compactRace));
    const auto plan = TelemetryVideoExporter::framePlan(*tenMinuteActivity(), config);
    std::int64_t frames = 0;
    for (auto _ : state) {
        exporter.exportMovie(tenMinuteActivity(), config, nullptr);
        frames += plan.frameCount;
    }
    state.counters["MB/min"] = double(fs::file_size(movieFile)) / double(state.range(0)) * 60 / 1e6;
    fs::remove(movieFile);
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

void BM_HEVCAlphaExport(benchmark::State& state) { runExport(state, TelemetryVideoCodec::hevcWithAlpha); }
BENCHMARK(BM_HEVCAlphaExport)->Arg(10)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

void BM_ProResExport(benchmark::State& state) { runExport(state, TelemetryVideoCodec::proRes4444); }
BENCHMARK(BM_ProResExport)->Arg(10)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// The BGRA to two 4:2:0 pictures conversion alone, on one thread.
void BM_HEVCAlphaConvertFrame(benchmark::State& state) {
    HEVCAlphaFrameConverter converter{static_cast<int>(kWidth), static_cast<int>(kHeight)};
    for (auto _ : state) {
        converter.convert(renderedFrames()[0].view);
        benchmark::DoNotOptimize(converter.colourPicture().planes[0]);
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HEVCAlphaConvertFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
