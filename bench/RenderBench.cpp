// SPDX-License-Identifier: GPL-3.0-or-later
// Milliseconds per unique overlay frame for every preset at 1080p and 2160p,
// each compared with a plain memcpy of one frame of the same size measured in
// the same run (counter "xMemcpy"). Frames step through distinct samples, so
// every frame is drawn (the exporter would reuse repeated ones).
//
//   build/bench/RenderBench --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "CairoDrawingSurface.h"
#include "CairoPNG.h"
#include "Layout/PacemarkPreset.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "RideFixture.h"

namespace {

using namespace pacemark;

std::shared_ptr<const CairoDrawingSurfaceFactory> factory() {
    static const auto shared = std::make_shared<const CairoDrawingSurfaceFactory>();
    return shared;
}

std::shared_ptr<const TelemetryActivity> ride() {
    static const auto shared = testing::makeRide(3600);
    return shared;
}

// Seconds for one memcpy of a width × height BGRA frame, measured once per size.
double memcpySeconds(std::int64_t width, std::int64_t height) {
    static std::map<std::pair<std::int64_t, std::int64_t>, double> measured;
    const auto key = std::pair{width, height};
    if (auto found = measured.find(key); found != measured.end()) return found->second;
    const auto bytes = static_cast<std::size_t>(width * height * 4);
    std::vector<std::uint8_t> from(bytes, 7), to(bytes, 0);
    constexpr int rounds = 40;
    std::memcpy(to.data(), from.data(), bytes);
    const auto start = std::chrono::steady_clock::now();
    for (int k = 0; k < rounds; ++k) {
        from[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(k);
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / rounds;
    measured[key] = seconds;
    return seconds;
}

void renderPreset(benchmark::State& state, PacemarkPreset preset, std::int64_t width, std::int64_t height,
                  bool cached) {
    const LayoutFrameRenderer renderer(ride(), PacemarkLayout::preset(preset), width, height, factory());
    OwnedPixelBuffer frame(width, height);
    renderer.render(0, frame.view());  // builds the static layer
    double elapsed = 1;
    const auto start = std::chrono::steady_clock::now();
    std::int64_t frames = 0;
    for (auto _ : state) {
        if (cached) {
            renderer.render(elapsed, frame.view());
        } else {
            renderer.renderWithoutCache(elapsed, frame.view());
        }
        benchmark::DoNotOptimize(frame.bytes.data());
        elapsed = elapsed >= 3500 ? 1 : elapsed + 7;
        ++frames;
    }
    const double perFrame = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                            static_cast<double>(std::max<std::int64_t>(frames, 1));
    state.counters["msPerFrame"] = perFrame * 1000;
    state.counters["xMemcpy"] = perFrame / memcpySeconds(width, height);
}

void registerAll() {
    for (const auto& [width, height] : {std::pair<std::int64_t, std::int64_t>{1920, 1080}, {3840, 2160}}) {
        for (PacemarkPreset preset : PacemarkPreset::allCases()) {
            const std::string name = std::string(preset.caseName()) + "/" + std::to_string(width) + "x" +
                                     std::to_string(height);
            benchmark::RegisterBenchmark(("Render/" + name).c_str(), [=](benchmark::State& state) {
                renderPreset(state, preset, width, height, true);
            })->Unit(benchmark::kMillisecond);
            if (width == 1920) {
                benchmark::RegisterBenchmark(("RenderWithoutCache/" + name).c_str(), [=](benchmark::State& state) {
                    renderPreset(state, preset, width, height, false);
                })->Unit(benchmark::kMillisecond);
            }
        }
        benchmark::RegisterBenchmark(("Memcpy/" + std::to_string(width) + "x" + std::to_string(height)).c_str(),
                                     [=](benchmark::State& state) {
                                         const auto bytes = static_cast<std::size_t>(width * height * 4);
                                         std::vector<std::uint8_t> from(bytes, 7), to(bytes, 0);
                                         for (auto _ : state) {
                                             std::memcpy(to.data(), from.data(), bytes);
                                             benchmark::DoNotOptimize(to.data());
                                             benchmark::ClobberMemory();
                                         }
                                     })
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
