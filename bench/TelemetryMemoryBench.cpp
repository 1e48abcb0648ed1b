// SPDX-License-Identifier: GPL-3.0-or-later
// Memory of a loaded ride, per track point: the peak of heap memory while
// TelemetryFileLoader::load runs (the read buffers, decoder output, activity
// building) and what the finished activity keeps, for a 24-hour ride at one
// point per second as FIT and as GPX (minimal points: position and time).
//
//   build/bench/TelemetryMemoryBench --benchmark_counters_tabular=true
//
// Heap use is counted by replacing the global allocation functions of this
// program. Both formats are streamed from disk, so the peak should be the
// samples plus buffers of fixed size.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "Telemetry/FITParser.h"
#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace {

std::atomic<std::size_t> heapBytes{0};
std::atomic<std::size_t> heapPeak{0};

void* counted(void* block) {
    if (!block) throw std::bad_alloc();
    const std::size_t now = heapBytes.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
    std::size_t peak = heapPeak.load();
    while (now > peak && !heapPeak.compare_exchange_weak(peak, now)) {
    }
    return block;
}

// Frees what counted() took from malloc (the replaced operator new below).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void uncounted(void* block) {
    if (!block) return;
    heapBytes.fetch_sub(malloc_usable_size(block));
    std::free(block);
}
#pragma GCC diagnostic pop

}  // namespace

void* operator new(std::size_t size) { return counted(std::malloc(size)); }
void* operator new[](std::size_t size) { return counted(std::malloc(size)); }
void operator delete(void* block) noexcept { uncounted(block); }
void operator delete[](void* block) noexcept { uncounted(block); }
void operator delete(void* block, std::size_t) noexcept { uncounted(block); }
void operator delete[](void* block, std::size_t) noexcept { uncounted(block); }

namespace {

using namespace pacemark;
namespace fs = std::filesystem;

constexpr int daySeconds = 24 * 3600;

double latitudeAt(int t) { return 45.0 + 0.05 * std::sin(t / 5000.0); }
double longitudeAt(int t) { return 7.0 + 0.05 * std::cos(t / 5000.0); }

// The 24-hour ride as a FIT file with every reading, written once.
const fs::path& dayLongFIT() {
    static const fs::path path = [] {
        FITWriter writer;
        writer.writeRecordDefinition(0, {});
        const auto start = FITParser::fitEpoch + std::chrono::seconds{1'000'000'000};
        double distance = 0;
        for (int t = 0; t < daySeconds; ++t) {
            TelemetrySample s;
            s.timestamp = start + std::chrono::seconds{t};
            s.speedMetersPerSecond = 7.0 + 2.0 * std::sin(t / 600.0);
            distance += *s.speedMetersPerSecond;
            s.distanceMeters = distance;
            s.latitude = latitudeAt(t);
            s.longitude = longitudeAt(t);
            s.altitudeMeters = 400 + 150 * std::sin(t / 1800.0);
            s.heartRateBPM = 130 + t % 30;
            s.cadenceRPM = 80 + t % 15;
            s.powerWatts = 180 + t % 90;
            writer.writeRecord(0, s);
        }
        const auto bytes = writer.finish();
        const fs::path file = fs::temp_directory_path() / "pacemark-memory-bench-day.fit";
        std::FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
        return file;
    }();
    return path;
}

// The 24-hour ride as a GPX file of minimal track points.
const fs::path& dayLongGPX() {
    static const fs::path path = [] {
        const fs::path file = fs::temp_directory_path() / "pacemark-memory-bench-day.gpx";
        std::FILE* out = std::fopen(file.c_str(), "wb");
        std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\"><trk><trkseg>\n", out);
        for (int t = 0; t < daySeconds; ++t) {
            std::fprintf(out, "<trkpt lat=\"%.6f\" lon=\"%.6f\"><time>2024-05-01T%02d:%02d:%02dZ</time></trkpt>\n",
                         latitudeAt(t), longitudeAt(t), t / 3600, t / 60 % 60, t % 60);
        }
        std::fputs("</trkseg></trk></gpx>\n", out);
        std::fclose(out);
        return file;
    }();
    return path;
}

void measureLoad(benchmark::State& state, const fs::path& file) {
    std::size_t points = 0;
    std::size_t peak = 0;
    std::size_t kept = 0;
    for (auto _ : state) {
        const std::size_t before = heapBytes.load();
        heapPeak.store(before);
        const TelemetryActivity activity = TelemetryFileLoader::load(file);
        peak = heapPeak.load() - before;
        kept = heapBytes.load() - before;
        points = activity.samples.size();
        benchmark::DoNotOptimize(activity.summary.durationSeconds);
    }
    const auto perPoint = [&](std::size_t bytes) { return static_cast<double>(bytes) / static_cast<double>(points); };
    state.counters["points"] = static_cast<double>(points);
    state.counters["fileBytesPerPoint"] = perPoint(static_cast<std::size_t>(fs::file_size(file)));
    state.counters["peakBytesPerPoint"] = perPoint(peak);
    state.counters["keptBytesPerPoint"] = perPoint(kept);
    state.counters["peakMiB"] = static_cast<double>(peak) / (1 << 20);
    state.counters["sizeofSample"] = sizeof(TelemetrySample);
}

void FITDayLoad(benchmark::State& state) { measureLoad(state, dayLongFIT()); }
BENCHMARK(FITDayLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

void GPXDayLoad(benchmark::State& state) { measureLoad(state, dayLongGPX()); }
BENCHMARK(GPXDayLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
