// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a background video: metadata and the still frame of a 4K clip.
// The clips are generated once per run with the ffmpeg command (2 s, 30 fps,
// a key frame every second as phones write them) into a temporary folder.
// The still frame is 0.84 s in, so about 25 frames are decoded from the key
// frame at 0: the cost of a typical phone clip.
//
//   build/bench/VideoReaderBench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "FFmpegMovieReader.h"

namespace {

using pacemark::FFmpegMovieReader;

const std::filesystem::path& clipFolder() {
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("pacemark-video-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        std::atexit([] { std::filesystem::remove_all(clipFolder()); });
        return path;
    }();
    return folder;
}

// A 3840×2160 clip in the given codec, with phone-style location and date.
std::filesystem::path clip(const std::string& codec) {
    const auto path = clipFolder() / ("clip-" + codec + ".mp4");
    if (!std::filesystem::exists(path)) {
        const std::string command =
            "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=size=3840x2160:rate=30 -t 2 "
            "-c:v " + codec + " -preset ultrafast -g 30 -pix_fmt yuv420p "
            "-metadata location=+48.8577+002.2950/ -metadata creation_time=2023-05-01T10:00:00Z '" +
            path.string() + "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return {};
    }
    return path;
}

void run(benchmark::State& state, const std::string& codec, bool withStillFrame) {
    const auto path = clip(codec);
    if (path.empty()) {
        state.SkipWithError("the ffmpeg command could not make the clip");
        return;
    }
    for (auto _ : state) {
        FFmpegMovieReader reader(path);
        benchmark::DoNotOptimize(reader.metadataItems());
        const double duration = reader.durationSeconds();
        if (withStillFrame) {
            // The still-frame instant of a 2 s clip is 0.84 s.
            auto image = reader.stillFrame(duration * 0.42, 1920, 1080);
            benchmark::DoNotOptimize(image.pixels.data());
        }
    }
}

void BM_MetadataH264(benchmark::State& state) { run(state, "libx264", false); }
void BM_MetadataAndStillFrameH264(benchmark::State& state) { run(state, "libx264", true); }
void BM_MetadataHEVC(benchmark::State& state) { run(state, "libx265", false); }
void BM_MetadataAndStillFrameHEVC(benchmark::State& state) { run(state, "libx265", true); }

// Decoding runs on the decoder's own threads: the CPU column counts every
// thread of the process, which on a shared machine says more than the wall
// clock does.
BENCHMARK(BM_MetadataH264)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_MetadataAndStillFrameH264)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_MetadataHEVC)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_MetadataAndStillFrameHEVC)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
