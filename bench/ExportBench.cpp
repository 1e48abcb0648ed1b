// SPDX-License-Identifier: GPL-3.0-or-later
// Export speed at 1920x1080 (and 3840x2160), 30 fps, HEVC with alpha, ProRes
// 4444 and compact ProRes, over a one-hour activity recorded at 1 Hz. Run:
//   build/bench/ExportBench --benchmark_counters_tabular=true
// Rates are reported per second of wall time; compare rows of one run.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/opt.h>
}

#include <chrono>
#include <cstdio>
#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>
#include <ctime>
#include <unistd.h>

#include "CairoDrawingSurface.h"
#include "Export/TelemetryVideoExporter.h"
#include "Export/CodecMovieWriterFactory.h"
#include "FFmpegMovieWriterFactory.h"
#include "HEVCAlphaMovieWriter.h"
#include "BenchActivity.h"
#include "Layout/PacemarkPreset.h"
#include "MovieCheck/ProResFrameRepair.h"
#include "MovieDecoding.h"
#include "ProResPictureConverter.h"
#include "ProResSliceEncoder.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace {

using namespace pacemark;
namespace fs = std::filesystem;

constexpr std::int64_t kWidth = 1920;
constexpr std::int64_t kHeight = 1080;
constexpr std::int64_t kFramesPerSecond = 30;

std::shared_ptr<const TelemetryActivity> oneHourActivity() {
    static const auto activity = bench::syntheticRide(3600);
    return activity;
}

std::shared_ptr<const DrawingSurfaceFactory> surfaces() {
    static const auto factory = std::make_shared<const CairoDrawingSurfaceFactory>();
    return factory;
}

// Resident memory of the process in MB.
double residentMegabytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

fs::path scratchMovie(const char* name) {
    return fs::temp_directory_path() / (std::string("pacemark-bench-") + std::to_string(getpid()) + "-" + name);
}

struct OwnedFrame {
    std::vector<std::uint8_t> pixels = std::vector<std::uint8_t>(std::size_t(kWidth * kHeight * 4));
    PixelBufferView view{pixels.data(), kWidth, kHeight, kWidth * 4};
};

// Distinct rendered frames of the default layout, a minute apart.
const std::vector<OwnedFrame>& renderedFrames() {
    static const auto frames = [] {
        LayoutFrameRenderer renderer(oneHourActivity(), PacemarkLayout::preset(PacemarkPreset::compactRace), kWidth,
                                     kHeight, surfaces());
        std::vector<OwnedFrame> result(4);
        for (std::size_t i = 0; i < result.size(); ++i) renderer.render(60.0 * double(i + 1), result[i].view);
        return result;
    }();
    return frames;
}

// Drawing one distinct frame of the default layout.
void BM_RenderFrame(benchmark::State& state) {
    LayoutFrameRenderer renderer(oneHourActivity(), PacemarkLayout::preset(PacemarkPreset::compactRace), kWidth,
                                 kHeight, surfaces());
    OwnedFrame frame;
    double t = 0;
    for (auto _ : state) {
        renderer.render(t, frame.view);
        t += 1;
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Premultiplied BGRA to 10-bit Y'CbCrA on one thread.
void BM_ConvertFrame(benchmark::State& state) {
    const ProResPictureConverter converter;
    std::vector<std::uint16_t> planes(std::size_t(kWidth * kHeight * 4));
    ProResPictureConverter::Planes into{planes.data(), planes.data() + kWidth * kHeight,
                                                planes.data() + 2 * kWidth * kHeight,
                                                planes.data() + 3 * kWidth * kHeight, kWidth, kWidth, kWidth, kWidth};
    for (auto _ : state) {
        converter.convert(renderedFrames()[0].view, into, 0, kHeight);
        benchmark::DoNotOptimize(planes.data());
    }
}
BENCHMARK(BM_ConvertFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Writing distinct rendered frames (convert, encode, write) with a quantiser
// (0: the encoder's rate search); the decoded movie's quality against the
// rendered frames, composited over grey.
void BM_ProResDistinctFrames(benchmark::State& state) {
    ProResWriterOptions options;
    options.quantiser = int(state.range(0));
    const fs::path movieFile = scratchMovie("distinct.mov");
    MovieWriterSettings settings;
    settings.file = movieFile;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.frameRate = kFramesPerSecond;
    const auto& frames = renderedFrames();
    std::int64_t written = 0;
    for (auto _ : state) {
        FFmpegProResMovieWriter writer(settings, options);
        writer.startWriting();
        for (std::int64_t i = 0; i < 16; ++i) {
            PixelBufferView buffer = writer.makePixelBuffer();
            std::copy(frames[std::size_t(i) % frames.size()].pixels.begin(),
                      frames[std::size_t(i) % frames.size()].pixels.end(), buffer.data);
            writer.append(buffer, i);
        }
        writer.finish();
        written += 16;
    }
    const testing::DecodedMovie movie = testing::decodeMovie(movieFile);
    double worst = 0, psnr = 0, bytes = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto difference = testing::compositeDifference(frames[i].view, movie.frames[i]);
        worst = std::max(worst, difference.maximum);
        psnr += difference.psnr / double(frames.size());
        bytes += double(movie.frames[i].packet.size()) / double(frames.size());
    }
    fs::remove(movieFile);
    state.counters["frames/s"] = benchmark::Counter(double(written), benchmark::Counter::kIsRate);
    state.counters["kB/frame"] = bytes / 1000;
    state.counters["PSNR_dB"] = psnr;
    state.counters["maxErr/255"] = worst * 255;
}
BENCHMARK(BM_ProResDistinctFrames)->Arg(0)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)
    ->UseRealTime()->MeasureProcessCPUTime()->Iterations(2);

// Distinct pictures of the 1 Hz ride in a row (one a second of the ride), as
// an export makes them: drawing, then coding (finding the slices that
// changed, converting and encoding those, repairing, assembling the frame).
// Arguments: lines (16:9), and 1 to re-encode only changed slices or 0 to
// encode every picture whole. Writing the frame is left out.
void BM_ProResDistinctPictures(benchmark::State& state) {
    const std::int64_t height = state.range(0), width = height * 16 / 9;
    ProResWriterOptions options;
    options.reuseSlices = state.range(1) != 0;
    LayoutFrameRenderer renderer(oneHourActivity(), PacemarkLayout::preset(PacemarkPreset::compactRace), width,
                                 height, surfaces());
    ProResSliceEncoder encoder(width, height, kFramesPerSecond, options);
    std::vector<std::uint8_t> pixels(std::size_t(width * height * 4));
    const PixelBufferView view{pixels.data(), width, height, width * 4};
    double seconds = 600;
    renderer.render(seconds, view);
    encoder.encode(view);  // the first picture is always encoded whole
    double renderTime = 0, codeTime = 0, bytes = 0;
    const std::int64_t encodedBefore = encoder.encodedSlices();
    for (auto _ : state) {
        seconds += 1;
        const auto start = std::chrono::steady_clock::now();
        renderer.render(seconds, view);
        const auto drawn = std::chrono::steady_clock::now();
        bytes += double(encoder.encode(view).size());
        renderTime += std::chrono::duration<double>(drawn - start).count();
        codeTime += std::chrono::duration<double>(std::chrono::steady_clock::now() - drawn).count();
    }
    const double pictures = double(state.iterations());
    state.counters["render_ms"] = renderTime / pictures * 1e3;
    state.counters["code_ms"] = codeTime / pictures * 1e3;
    state.counters["kB/frame"] = bytes / pictures / 1e3;
    const double slicesPerPicture = double(encoder.encodedSlices() + encoder.reusedSlices()) / (pictures + 1);
    if (slicesPerPicture > 0) {
        state.counters["encoded_%"] = double(encoder.encodedSlices() - encodedBefore) / pictures / slicesPerPicture * 100;
    }
}
BENCHMARK(BM_ProResDistinctPictures)->ArgsProduct({{1080, 2160}, {1, 0}})->Unit(benchmark::kMillisecond)
    ->UseRealTime()->Iterations(60);

// Frames of the rendered pictures as the system's encoder codes them, before
// repair, with the writer's settings (profile 4444, the writer's alpha bits, quantiser 1).
std::vector<std::vector<std::uint8_t>> unrepairedFrames() {
    const AVCodec* codec = avcodec_find_encoder_by_name("prores_ks");
    ffmpeg::CodecContextHandle encoder(avcodec_alloc_context3(codec));
    encoder->width = int(kWidth);
    encoder->height = int(kHeight);
    encoder->pix_fmt = AV_PIX_FMT_YUVA444P10LE;
    encoder->time_base = AVRational{1, int(kFramesPerSecond)};
    encoder->flags |= AV_CODEC_FLAG_QSCALE;
    encoder->global_quality = FF_QP2LAMBDA;
    av_opt_set(encoder->priv_data, "profile", "4444", 0);
    av_opt_set_int(encoder->priv_data, "alpha_bits", ProResWriterOptions{}.alphaBits, 0);
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0) std::abort();
    ffmpeg::FrameHandle frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUVA444P10LE;
    frame->width = int(kWidth);
    frame->height = int(kHeight);
    if (av_frame_get_buffer(frame.get(), 0) < 0) std::abort();
    ffmpeg::PacketHandle packet(av_packet_alloc());
    const ProResPictureConverter converter;
    std::vector<std::vector<std::uint8_t>> coded;
    for (const auto& picture : renderedFrames()) {
        ProResPictureConverter::Planes into{reinterpret_cast<std::uint16_t*>(frame->data[0]),
                                                    reinterpret_cast<std::uint16_t*>(frame->data[1]),
                                                    reinterpret_cast<std::uint16_t*>(frame->data[2]),
                                                    reinterpret_cast<std::uint16_t*>(frame->data[3]),
                                                    frame->linesize[0] / 2, frame->linesize[1] / 2,
                                                    frame->linesize[2] / 2, frame->linesize[3] / 2};
        converter.convert(picture.view, into, 0, kHeight);
        if (avcodec_send_frame(encoder.get(), frame.get()) < 0 ||
            avcodec_receive_packet(encoder.get(), packet.get()) < 0) {
            std::abort();
        }
        coded.emplace_back(packet->data, packet->data + packet->size);
        av_packet_unref(packet.get());
    }
    return coded;
}

// Mending one coded 1080p frame for strict decoders, and its share of the
// writer's time per distinct frame (convert, encode, repair, write; measured
// once after the loop, same frames). Rendering is left out of that time, so
// the share of a whole export is smaller still.
void BM_RepairCodedFrame(benchmark::State& state) {
    const auto frames = unrepairedFrames();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ProResFrameRepair::repair(frames[i++ % frames.size()]).data());
    }

    const fs::path movieFile = scratchMovie("repair-share.mov");
    MovieWriterSettings settings;
    settings.file = movieFile;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.frameRate = kFramesPerSecond;
    constexpr std::int64_t kFrames = 16;
    const auto start = std::chrono::steady_clock::now();
    {
        FFmpegProResMovieWriter writer(settings);
        writer.startWriting();
        for (std::int64_t f = 0; f < kFrames; ++f) {
            PixelBufferView buffer = writer.makePixelBuffer();
            const auto& pixels = renderedFrames()[std::size_t(f) % renderedFrames().size()].pixels;
            std::copy(pixels.begin(), pixels.end(), buffer.data);
            writer.append(buffer, f);
        }
        writer.finish();
    }
    const double writerSecondsPerFrame =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / double(kFrames);
    fs::remove(movieFile);
    state.counters["writer_ms/frame"] = writerSecondsPerFrame * 1e3;
    // (seconds per repair) / (seconds per written frame), in per cent.
    state.counters["repair_share_%"] = benchmark::Counter(
        writerSecondsPerFrame / 100, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RepairCodedFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// Bytes of colour (Y', Cb, Cr) and of alpha in a coded ProRes frame, from
// its slice headers.
struct ProResFrameBytes {
    double colour = 0;
    double alpha = 0;
};

ProResFrameBytes proResFrameBytes(const std::vector<std::uint8_t>& frame) {
    const auto be16 = [&](std::size_t at) { return std::size_t(frame.at(at) << 8 | frame.at(at + 1)); };
    ProResFrameBytes bytes;
    std::size_t at = 8 + be16(8);  // after the frame size, 'icpf' and the frame header
    const std::size_t pictureHeader = frame.at(at) >> 3;
    const std::size_t slices = be16(at + 5);
    std::size_t slice = at + pictureHeader + 2 * slices;
    for (std::size_t i = 0; i < slices; ++i) {
        const std::size_t size = be16(at + pictureHeader + 2 * i);
        const std::size_t header = frame.at(slice) >> 3;
        const std::size_t y = be16(slice + 2), u = be16(slice + 4);
        const std::size_t v = header > 7 ? be16(slice + 6) : size - header - y - u;
        bytes.colour += double(y + u + v);
        bytes.alpha += double(size - header - y - u - v);
        slice += size;
    }
    return bytes;
}

// Where the bytes of a ProRes frame go, per preset (first argument) at 16-
// and 8-bit alpha and a quantiser (1 best ... ), and whether the decoded
// frame keeps the limits (largest error <= 3/255, PSNR >= 60 dB).
void BM_ProResFrameBytes(benchmark::State& state) {
    const auto preset = PacemarkPreset::allCases()[std::size_t(state.range(0))];
    ProResWriterOptions options;
    options.alphaBits = int(state.range(1));
    options.quantiser = int(state.range(2));
    const fs::path movieFile = scratchMovie("bytes.mov");
    LayoutFrameRenderer renderer(oneHourActivity(), PacemarkLayout::preset(preset), kWidth, kHeight, surfaces());
    OwnedFrame frame;
    renderer.render(600, frame.view);
    MovieWriterSettings settings;
    settings.file = movieFile;
    settings.width = kWidth;
    settings.height = kHeight;
    settings.frameRate = kFramesPerSecond;
    for (auto _ : state) {
        FFmpegProResMovieWriter writer(settings, options);
        writer.startWriting();
        PixelBufferView buffer = writer.makePixelBuffer();
        std::copy(frame.pixels.begin(), frame.pixels.end(), buffer.data);
        writer.append(buffer, 0);
        writer.finish();
    }
    const testing::DecodedMovie movie = testing::decodeMovie(movieFile);
    fs::remove(movieFile);
    const auto difference = testing::compositeDifference(frame.view, movie.frames.at(0));
    const auto bytes = proResFrameBytes(movie.frames.at(0).packet);
    state.SetLabel(std::string(preset.caseName()));
    state.counters["colour_kB"] = bytes.colour / 1000;
    state.counters["alpha_kB"] = bytes.alpha / 1000;
    state.counters["frame_kB"] = double(movie.frames.at(0).packet.size()) / 1000;
    state.counters["PSNR_dB"] = difference.psnr;
    state.counters["maxErr/255"] = difference.maximum * 255;
}
BENCHMARK(BM_ProResFrameBytes)->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7, 8}, {16, 8}, {1}})
    ->ArgsProduct({{0, 4}, {8}, {2, 4}})->Unit(benchmark::kMillisecond)->Iterations(1);

// The whole export path (plan, render, encode, write, move into place) over
// the first `seconds` of the one-hour activity, at `height` lines (16:9).
void runExport(benchmark::State& state, TelemetryVideoCodec codec, bool reuse, double seconds, std::int64_t height,
               ProResWriterOptions proRes = {}, FrameRate rate = kFramesPerSecond) {
    const fs::path movieFile = scratchMovie(reuse ? "reuse.mov" : "every.mov");
    const auto writers = std::make_shared<const CodecMovieWriterFactory>(CodecMovieWriterFactory{
        {TelemetryVideoCodec::hevcWithAlpha, std::make_shared<const X265MovieWriterFactory>()},
        {TelemetryVideoCodec::proRes4444, std::make_shared<const FFmpegMovieWriterFactory>(proRes)}});
    const TelemetryVideoExporter exporter(writers, surfaces(), TelemetryVideoExportOptions{reuse});
    const TelemetryRenderConfig config(movieFile, height * 16 / 9, height, rate, codec, 0, seconds,
                                       PacemarkLayout::preset(PacemarkPreset::compactRace));
    const auto plan = TelemetryVideoExporter::framePlan(*oneHourActivity(), config);
    std::int64_t frames = 0;
    // Memory growth between the first progress report (everything allocated)
    // and the largest resident size seen later: stays flat for any length.
    double firstResident = 0, largestResident = 0;
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) {
        exporter.exportMovie(oneHourActivity(), config, [&](double) {
            const double resident = residentMegabytes();
            if (firstResident == 0) firstResident = resident;
            largestResident = std::max(largestResident, resident);
        });
        frames += plan.frameCount;
    }
    // On a shared machine the wall-clock rate depends on the others' load;
    // media time per second of this process's CPU time does not (on an idle
    // two-core machine the wall-clock rate is at least this).
    state.counters["x_realtime_per_cpu_s"] = rate.seconds(frames) / (processCpuSeconds() - cpuStart);
    state.counters["frames_per_cpu_s"] = double(frames) / (processCpuSeconds() - cpuStart);
    state.counters["RSSgrowth_MB"] = largestResident - firstResident;
    state.counters["MB/min"] = double(fs::file_size(movieFile)) / (rate.seconds(plan.frameCount) / 60) / 1e6;
    state.counters["GB"] = double(fs::file_size(movieFile)) / 1e9;
    fs::remove(movieFile);
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.counters["x_realtime"] = benchmark::Counter(rate.seconds(frames), benchmark::Counter::kIsRate);
}

enum BenchCodec { hevc = 0, proRes = 1, compactProRes = 2 };

void exportActivity(benchmark::State& state, bool reuse, bool reuseSlices = true) {
    const auto which = BenchCodec(state.range(0));
    ProResWriterOptions options;
    options.compact = which == compactProRes;
    options.reuseSlices = reuseSlices;
    runExport(state, which == hevc ? TelemetryVideoCodec::hevcWithAlpha : TelemetryVideoCodec::proRes4444, reuse,
              double(state.range(1)), state.range(2), options);
}

// With frame reuse: a 1 Hz recording gives one distinct frame in 30. Codec
// (0 HEVC with alpha, 1 ProRes, 2 compact ProRes), seconds of the ride,
// lines. The first minute and the whole hour: the rate and the memory stay
// the same however long the export runs.
void BM_ExportOneHourActivity(benchmark::State& state) { exportActivity(state, true); }
BENCHMARK(BM_ExportOneHourActivity)
    ->Args({hevc, 3600, 1080})->Args({proRes, 3600, 1080})->Args({compactProRes, 3600, 1080})
    ->Args({hevc, 600, 2160})->Args({proRes, 600, 2160})->Args({compactProRes, 600, 2160})
    ->Unit(benchmark::kSecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(1);

// Every distinct ProRes picture encoded whole instead of only its changed
// slices: what slice reuse gains in a whole export.
void BM_ExportWholeProResPictures(benchmark::State& state) { exportActivity(state, true, false); }
BENCHMARK(BM_ExportWholeProResPictures)->Args({compactProRes, 600, 1080})->Args({proRes, 600, 1080})
    ->Unit(benchmark::kSecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(1);

// 30 against 29.97 (30000/1001) frames a second over ten minutes of the
// ride: codec (as above), rate (0 for 30, 1 for 30000/1001). The exact rate
// costs no more per frame; compare frames_per_cpu_s of one run.
void BM_ExportAtFrameRate(benchmark::State& state) {
    const auto which = BenchCodec(state.range(0));
    ProResWriterOptions options;
    options.compact = which == compactProRes;
    const FrameRate rate = state.range(1) == 0 ? FrameRate(30) : FrameRate(30000, 1001);
    state.SetLabel(rate.text());
    runExport(state, which == hevc ? TelemetryVideoCodec::hevcWithAlpha : TelemetryVideoCodec::proRes4444, true, 600,
              1080, options, rate);
}
BENCHMARK(BM_ExportAtFrameRate)->ArgsProduct({{hevc, proRes, compactProRes}, {0, 1}})
    ->Unit(benchmark::kSecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(1);

// Every frame rendered and encoded: the first 10 seconds (300 frames).
void BM_ExportWithoutReuse(benchmark::State& state) { exportActivity(state, false); }
BENCHMARK(BM_ExportWithoutReuse)->Args({hevc, 10, 1080})->Args({proRes, 10, 1080})
    ->Unit(benchmark::kSecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(1);

// Steps against smooth motion over the first `seconds` of the bundled
// sample ride (45 minutes at 1 Hz) at 1080p30: codec (as above), motion (-1
// steps, else smooth with that many updates a second, 0 every frame), seconds.
// An hour (3600) is longer than the sample ride and runs over the synthetic
// one-hour ride instead; those cases take long (every frame in HEVC: hours),
// so run them by filter, for example
//   ExportBench --benchmark_filter='BM_ExportMotion/[12]/.*/3600'
// Smooth motion renders and encodes one frame per update and repeats it until
// the next, so 10 Hz costs about ten distinct frames a second against one.
void BM_ExportMotion(benchmark::State& state) {
    static const auto sampleRide = std::make_shared<const TelemetryActivity>(
        TelemetryFileLoader::load(fs::path(PACEMARK_SOURCE_DIR) / "samples" / "sample-ride.fit"));
    const auto ride = double(state.range(2)) <= sampleRide->durationSeconds() ? sampleRide : oneHourActivity();
    const auto which = BenchCodec(state.range(0));
    ProResWriterOptions options;
    options.compact = which == compactProRes;
    TelemetryExportSettings settings;
    settings.codec = which == hevc ? TelemetryVideoCodec::hevcWithAlpha : TelemetryVideoCodec::proRes4444;
    if (state.range(1) >= 0) {
        settings.motion.mode = TelemetryMotionMode::smooth;
        settings.motion.updatesPerSecond = state.range(1);
    }
    const fs::path url = scratchMovie("motion.mov");
    const auto writers = std::make_shared<const CodecMovieWriterFactory>(CodecMovieWriterFactory{
        {TelemetryVideoCodec::hevcWithAlpha, std::make_shared<const X265MovieWriterFactory>()},
        {TelemetryVideoCodec::proRes4444, std::make_shared<const FFmpegMovieWriterFactory>(options)}});
    const TelemetryVideoExporter exporter(writers, surfaces());
    const TelemetryRenderConfig config(url, settings, 0, double(state.range(2)),
                                       PacemarkLayout::preset(PacemarkPreset::compactRace));
    const auto plan = TelemetryVideoExporter::framePlan(*ride, config);
    std::int64_t frames = 0;
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) {
        exporter.exportMovie(ride, config, [](double) {});
        frames += plan.frameCount;
    }
    const double mediaSeconds = double(frames) / double(kFramesPerSecond);
    state.counters["x_realtime_per_cpu_s"] = mediaSeconds / (processCpuSeconds() - cpuStart);
    state.counters["x_realtime"] = benchmark::Counter(mediaSeconds, benchmark::Counter::kIsRate);
    state.counters["MB/min"] = double(fs::file_size(url)) / (mediaSeconds / 60) / 1e6;
    fs::remove(url);
}
BENCHMARK(BM_ExportMotion)
    ->ArgsProduct({{proRes, compactProRes, hevc}, {-1, 10, 0}, {60, 600, 3600}})
    ->Unit(benchmark::kSecond)->UseRealTime()->MeasureProcessCPUTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
