// SPDX-License-Identifier: GPL-3.0-or-later
// Loading a long ride: FIT decoding and building the activity, against a
// plain pass over the same bytes measured in the same run.
//
//   build-release/bench/TelemetryLoadBench --benchmark_counters_tabular=true
//
// The ride: 24 hours at one record per second, every record with timestamp,
// position, altitude, heart rate, cadence, distance, speed and power (the
// gradient is left to the activity to derive, as for most devices).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <vector>

#include "Telemetry/FITParser.h"
#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryActivity.h"

namespace {

using namespace pacemark;

const std::vector<std::uint8_t>& dayLongRide() {
    static const std::vector<std::uint8_t> bytes = [] {
        constexpr int seconds = 24 * 3600;
        FITWriter writer;
        writer.writeRecordDefinition(0, {});
        const auto start = FITParser::fitEpoch + std::chrono::seconds{1'000'000'000};
        double distance = 0;
        for (int t = 0; t < seconds; ++t) {
            const double phase = t / 600.0;
            TelemetrySample s;
            s.timestamp = start + std::chrono::seconds{t};
            s.speedMetersPerSecond = 7.0 + 2.0 * std::sin(phase);
            distance += *s.speedMetersPerSecond;
            s.distanceMeters = distance;
            s.latitude = 45.0 + 0.05 * std::sin(t / 5000.0);
            s.longitude = 7.0 + 0.05 * std::cos(t / 5000.0);
            s.altitudeMeters = 400 + 150 * std::sin(t / 1800.0);
            s.heartRateBPM = 130 + t % 30;
            s.cadenceRPM = 80 + t % 15;
            s.powerWatts = 180 + t % 90;
            writer.writeRecord(0, s);
        }
        return writer.finish();
    }();
    return bytes;
}

void FITDecode(benchmark::State& state) {
    const auto& bytes = dayLongRide();
    for (auto _ : state) {
        auto samples = FITParser().parse(bytes);
        benchmark::DoNotOptimize(samples.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.counters["samples"] = static_cast<double>(FITParser().parse(bytes).size());
}
BENCHMARK(FITDecode)->Unit(benchmark::kMillisecond);

void ActivityBuild(benchmark::State& state) {
    const auto samples = FITParser().parse(dayLongRide());
    for (auto _ : state) {
        TelemetryActivity activity(std::nullopt, samples);
        benchmark::DoNotOptimize(activity.summary.durationSeconds);
    }
}
BENCHMARK(ActivityBuild)->Unit(benchmark::kMillisecond);

// What the loader does after reading the file.
void WholeLoad(benchmark::State& state) {
    const auto& bytes = dayLongRide();
    for (auto _ : state) {
        TelemetryActivity activity(std::nullopt, FITParser().parse(bytes));
        benchmark::DoNotOptimize(activity.summary.durationSeconds);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(WholeLoad)->Unit(benchmark::kMillisecond);

// The floor: touching every byte once.
void PlainByteSum(benchmark::State& state) {
    const auto& bytes = dayLongRide();
    for (auto _ : state) {
        const std::uint64_t sum = std::accumulate(bytes.begin(), bytes.end(), std::uint64_t{0});
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(PlainByteSum)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
