// SPDX-License-Identifier: GPL-3.0-or-later
// Checks every frame of a long HEVC-with-alpha export, which is too big to
// decode to disk (ten minutes of 1080p are 93 GB of raw frames), by streaming:
//  - FFmpeg 8 (node-av) decodes both layers frame by frame through a pipe;
//    each frame that starts a run is compared with the frame the renderer
//    draws for its instant (colour and alpha PSNR), and each frame that
//    repeats its predecessor (a skip picture) must decode byte-identically
//    to the frame before it;
//  - the system FFmpeg and libde265 decode the base layer without a word on
//    stderr and give the same picture hashes, frame by frame.
// Not a test: run by hand (minutes for ten minutes of movie):
//   build/bench/HEVCExportCheck RIDE MOVIE [START END]
// exports RIDE from START to END seconds (default 600 to 1200) at 1920x1080,
// 30 fps, with the default preset to MOVIE as `pacemark-cli export --codec
// hevc` does, unless MOVIE already exists; exits 1 on any violation.
extern "C" {
#include <libavutil/md5.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "CairoDrawingSurface.h"
#include "Export/TelemetryVideoExporter.h"
#include "PlatformMovieWriters.h"
#include "HEVCAlphaMovieWriter.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace {

using namespace pacemark;
namespace fs = std::filesystem;

// The limits of the writer's decode-back test.
constexpr double minimumColourPsnr = 36.0, minimumAlphaPsnr = 40.0;

int violations = 0;
void violation(const std::string& text) {
    if (++violations <= 20) std::cerr << "VIOLATION: " << text << "\n";
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string fileText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool readFully(std::FILE* in, std::uint8_t* into, std::size_t size) { return std::fread(into, 1, size, in) == size; }

std::string md5(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, 16> sum{};
    av_md5_sum(sum.data(), data, static_cast<int>(size));
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", sum[std::size_t(i)]);
    return text;
}

double psnr(double squaredErrorSum, double count) {
    return squaredErrorSum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * count / squaredErrorSum);
}

struct Worst {
    int colourError = 0, alphaError = 0;
    double colourPsnr = 99.0, alphaPsnr = 99.0;
};

// One yuva420p frame (BT.709 limited range, premultiplied colour) back to RGB,
// as the writer's test converts it, against the rendered premultiplied BGRA.
void compareWithRendered(const std::uint8_t* y, const std::vector<std::uint8_t>& rendered, int width, int height,
                         std::int64_t frame, Worst& worst) {
    const std::size_t lumaSize = std::size_t(width) * std::size_t(height), chromaSize = lumaSize / 4;
    const std::uint8_t *u = y + lumaSize, *v = u + chromaSize, *a = v + chromaSize;
    double colourError = 0, alphaError = 0;
    int colourLargest = 0, alphaLargest = 0;
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const std::size_t at = std::size_t(row) * std::size_t(width) + std::size_t(col);
            const std::size_t c = std::size_t(row / 2) * std::size_t(width / 2) + std::size_t(col / 2);
            const double luma = 1.164383 * (y[at] - 16.0), cb = u[c] - 128.0, cr = v[c] - 128.0;
            const double rgb[3] = {luma + 1.792741 * cr, luma - 0.213249 * cb - 0.532909 * cr, luma + 2.112402 * cb};
            const std::uint8_t* px = &rendered[at * 4];
            const double expected[3] = {double(px[2]), double(px[1]), double(px[0])};
            for (int k = 0; k < 3; ++k) {
                const double d = std::clamp(rgb[k], 0.0, 255.0) - expected[k];
                colourError += d * d;
                colourLargest = std::max(colourLargest, int(std::lround(std::fabs(d))));
            }
            const int da = int(a[at]) - int(px[3]);
            alphaError += double(da * da);
            alphaLargest = std::max(alphaLargest, std::abs(da));
        }
    }
    const double colourPsnr = psnr(colourError, 3.0 * double(lumaSize)), alphaPsnr = psnr(alphaError, double(lumaSize));
    if (colourPsnr < minimumColourPsnr || alphaPsnr < minimumAlphaPsnr) {
        violation("frame " + std::to_string(frame) + ": colour PSNR " + std::to_string(colourPsnr) + " dB, alpha PSNR " +
                  std::to_string(alphaPsnr) + " dB");
    }
    worst.colourError = std::max(worst.colourError, colourLargest);
    worst.alphaError = std::max(worst.alphaError, alphaLargest);
    worst.colourPsnr = std::min(worst.colourPsnr, colourPsnr);
    worst.alphaPsnr = std::min(worst.alphaPsnr, alphaPsnr);
}

// The base layer as an Annex B byte stream (parameter sets and pictures of
// layer 0 only), for libde265, which reads no QuickTime.
void writeBaseLayer(const fs::path& movie, const fs::path& stream, const fs::path& errors) {
    const std::string command = "ffmpeg -v error -i " + quoted(movie) +
                                " -map 0:v:0 -c copy -bsf:v hevc_mp4toannexb -f hevc - 2>" + quoted(errors);
    std::FILE* in = popen(command.c_str(), "r");
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, 1 << 16> chunk{};
    for (std::size_t n; in && (n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0;) bytes.insert(bytes.end(), chunk.data(), chunk.data() + n);
    if (!in || pclose(in) != 0 || !fileText(errors).empty()) violation("extracting the base layer: " + fileText(errors));
    std::vector<std::size_t> starts;  // first byte of each NAL unit after a 00 00 01 start code
    for (std::size_t i = 0; i + 3 <= bytes.size(); ++i) {
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) starts.push_back(i += 3);
    }
    std::ofstream out(stream, std::ios::binary);
    for (std::size_t k = 0; k < starts.size(); ++k) {
        std::size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : bytes.size();
        while (end > starts[k] && bytes[end - 1] == 0) --end;  // the next start code's leading zero
        if (end - starts[k] < 2 || (((bytes[starts[k]] & 1) << 5) | (bytes[starts[k] + 1] >> 3)) != 0) continue;
        out.write("\0\0\0\1", 4);
        out.write(reinterpret_cast<const char*>(&bytes[starts[k]]), std::streamsize(end - starts[k]));
    }
}

// Whether each frame is a key frame (sync sample), from the packet flags.
std::vector<bool> keyFrames(const fs::path& movie) {
    std::vector<bool> keys;
    std::FILE* in = popen(("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 " + quoted(movie)).c_str(), "r");
    for (char line[64]; in && std::fgets(line, sizeof line, in);) keys.push_back(line[0] == 'K');
    if (!in || pclose(in) != 0) violation("ffprobe could not list the packets");
    return keys;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5 && argc != 6) {
        std::cerr << "usage: HEVCExportCheck RIDE MOVIE [START END [SMOOTH_UPDATES_PER_SECOND (0: every frame)]]\n";
        return 2;
    }
    const fs::path ride = argv[1], movie = argv[2];
    const double start = argc >= 5 ? std::stod(argv[3]) : 600.0, end = argc >= 5 ? std::stod(argv[4]) : 1200.0;
    constexpr int width = 1920, height = 1080, fps = 30;
    const auto clock = std::chrono::steady_clock::now;
    const auto began = clock();
    const auto seconds = [&] { return std::chrono::duration<double>(clock() - began).count(); };

    const auto activity = std::make_shared<const TelemetryActivity>(TelemetryFileLoader::load(ride));
    const PacemarkLayout layout = PacemarkLayout::preset(PacemarkPreset::allCases().front());
    TelemetryRenderConfig config(movie, width, height, fps, TelemetryVideoCodec::hevcWithAlpha, start, end - start,
                                 layout);
    if (argc == 6) config.motion = TelemetryMotion{TelemetryMotionMode::smooth, std::stoll(argv[5])};
    const TelemetryVideoFramePlan plan = TelemetryVideoExporter::framePlan(*activity, config);
    const auto surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
    if (!fs::exists(movie)) {
        const TelemetryVideoExporter exporter(platformMovieWriters(), surfaces);
        exporter.exportMovie(activity, config, [](double) {});
        std::cout << "exported " << movie << " (" << fs::file_size(movie) << " bytes) in " << seconds() << " s\n";
    }

    const fs::path scratch = fs::temp_directory_path() / ("pacemark-hevc-check-" + std::to_string(getpid()));
    fs::create_directories(scratch);

    // FFmpeg 8, both layers, against the rendered frames.
    const LayoutFrameRenderer renderer(activity, layout, width, height, surfaces, config.motion);
    const std::size_t frameSize = std::size_t(width) * height * 2 + 2 * std::size_t(width / 2) * (height / 2);
    const std::string nodeCommand = std::string(PACEMARK_NODE) + " " + quoted(PACEMARK_HEVC_STREAM_DECODE_SCRIPT) + " " +
                                    quoted(PACEMARK_HEVC_ALPHA_DECODER_FOLDER) + " " + quoted(movie) + " - 2>" +
                                    quoted(scratch / "node.err");
    std::FILE* decoded = popen(nodeCommand.c_str(), "r");
    std::vector<std::uint8_t> current(frameSize), previous(frameSize);
    std::vector<std::uint8_t> rendered(std::size_t(width) * height * 4);
    PixelBufferView view{rendered.data(), width, height, width * 4};
    std::vector<bool> repeats;
    const std::vector<bool> keys = keyFrames(movie);
    std::size_t lastKey = 0;
    std::int64_t frames = 0, distinct = 0;
    Worst worst;
    for (; decoded && readFully(decoded, current.data(), frameSize); ++frames) {
        const double elapsed = plan.elapsedSeconds(frames);
        const std::size_t key = renderer.frameKey(elapsed);
        // The exporter writes this frame as a skip picture, unless the key-frame
        // interval made it encode the picture again as an IDR.
        const bool keyFrame = std::size_t(frames) < keys.size() && keys[std::size_t(frames)];
        const bool repeat = frames > 0 && key == lastKey && !keyFrame;
        repeats.push_back(repeat);
        if (repeat) {
            if (current != previous) violation("frame " + std::to_string(frames) + " differs from the frame before it (FFmpeg 8)");
        } else {
            renderer.render(elapsed, view);
            compareWithRendered(current.data(), rendered, width, height, frames, worst);
            ++distinct;
        }
        lastKey = key;
        std::swap(current, previous);
        if (frames % 1800 == 0) std::cerr << "FFmpeg 8: frame " << frames << " at " << seconds() << " s\n";
    }
    const int nodeStatus = decoded ? pclose(decoded) : -1;
    const std::string nodeErrors = fileText(scratch / "node.err");
    if (nodeStatus != 0 || nodeErrors.find("[hevc") != std::string::npos || nodeErrors.find("yuva420p") == std::string::npos) {
        violation("FFmpeg 8 (node-av) status " + std::to_string(nodeStatus) + ": " + nodeErrors);
    }
    if (frames != plan.frameCount) violation("FFmpeg 8 decoded " + std::to_string(frames) + " frames of " + std::to_string(plan.frameCount));
    const double nodeSeconds = seconds();

    // FFmpeg 5.1, base layer: one MD5 per frame of the decoded yuv420p planes.
    std::vector<std::string> systemHashes;
    std::FILE* framemd5 = popen(("ffmpeg -v error -i " + quoted(movie) + " -f framemd5 - 2>" + quoted(scratch / "ffmpeg.err")).c_str(), "r");
    for (char line[512]; framemd5 && std::fgets(line, sizeof line, framemd5);) {
        if (line[0] == '#') continue;
        std::string text(line);
        while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
        systemHashes.push_back(text.substr(text.rfind(' ') + 1));
    }
    if (!framemd5 || pclose(framemd5) != 0 || !fileText(scratch / "ffmpeg.err").empty()) {
        violation("FFmpeg 5.1: " + fileText(scratch / "ffmpeg.err"));
    }
    if (std::int64_t(systemHashes.size()) != plan.frameCount) violation("FFmpeg 5.1 decoded " + std::to_string(systemHashes.size()) + " frames");
    for (std::size_t i = 1; i < std::min(systemHashes.size(), repeats.size()); ++i) {
        if (repeats[i] && systemHashes[i] != systemHashes[i - 1]) violation("frame " + std::to_string(i) + " differs from the frame before it (FFmpeg 5.1)");
    }
    const double systemSeconds = seconds();

    // libde265 on the same base layer, its pictures read through a FIFO.
    writeBaseLayer(movie, scratch / "base.hevc", scratch / "extract.err");
    const fs::path fifo = scratch / "base.yuv";
    mkfifo(fifo.c_str(), 0600);
    std::FILE* dec265 = popen((std::string(PACEMARK_DEC265) + " -q -o " + quoted(fifo) + " " + quoted(scratch / "base.hevc") +
                               " >" + quoted(scratch / "dec265.out") + " 2>" + quoted(scratch / "dec265.err")).c_str(), "r");
    std::FILE* pictures = std::fopen(fifo.c_str(), "rb");
    const std::size_t pictureSize = std::size_t(width) * height * 3 / 2;
    std::vector<std::uint8_t> picture(pictureSize);
    std::size_t agreeing = 0, libde265Frames = 0;
    for (; pictures && readFully(pictures, picture.data(), pictureSize); ++libde265Frames) {
        if (libde265Frames < systemHashes.size() && md5(picture.data(), pictureSize) == systemHashes[libde265Frames]) ++agreeing;
    }
    if (pictures) std::fclose(pictures);
    const int dec265Status = dec265 ? pclose(dec265) : -1;
    // dec265 reports progress ("frame 100", carriage-return separated) and a
    // closing count on stderr even when quiet; anything else is a complaint.
    std::string dec265Errors;
    std::istringstream dec265Lines(fileText(scratch / "dec265.err"));
    for (std::string line; std::getline(dec265Lines, line, '\r');) {
        for (std::istringstream parts(line); std::getline(parts, line);) {
            if (!line.empty() && line.rfind("frame ", 0) != 0 && line.rfind("nFrames decoded: ", 0) != 0) dec265Errors += line + "\n";
        }
    }
    if (dec265Status != 0 || !dec265Errors.empty()) violation("libde265 status " + std::to_string(dec265Status) + ": " + dec265Errors);
    if (libde265Frames != systemHashes.size() || agreeing != systemHashes.size()) {
        violation("libde265 decoded " + std::to_string(libde265Frames) + " frames, " + std::to_string(agreeing) +
                  " equal to FFmpeg 5.1's");
    }
    fs::remove_all(scratch);

    const auto skips = std::count(repeats.begin(), repeats.end(), true);
    std::cout << "movie " << movie << ": " << fs::file_size(movie) << " bytes, " << plan.frameCount << " frames planned\n"
              << "FFmpeg 8 (both layers): " << frames << " frames, " << distinct << " distinct compared with the renderer, "
              << skips << " skip pictures checked byte-identical, " << nodeSeconds << " s\n"
              << "  worst colour: largest error " << worst.colourError << "/255, lowest PSNR " << worst.colourPsnr
              << " dB (limit " << minimumColourPsnr << ")\n"
              << "  worst alpha: largest error " << worst.alphaError << "/255, lowest PSNR " << worst.alphaPsnr
              << " dB (limit " << minimumAlphaPsnr << ")\n"
              << "FFmpeg 5.1 (base layer): " << systemHashes.size() << " frames, skip pictures equal to the frame before them, " << systemSeconds - nodeSeconds << " s\n"
              << "libde265 (base layer): " << libde265Frames << " frames, " << agreeing
              << " with FFmpeg 5.1's hash, " << seconds() - systemSeconds << " s\n"
              << (violations == 0 ? "OK" : std::to_string(violations) + " violations") << " in " << seconds() << " s\n";
    return violations == 0 ? 0 : 1;
}
