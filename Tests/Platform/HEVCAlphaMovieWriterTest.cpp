// SPDX-License-Identifier: GPL-3.0-or-later
// The HEVC-with-alpha writer and the strict checker of what it writes: both
// read one movie written with repeats of every kind.
#include "Export/TelemetryExportSettings.h"
#include "HEVCAlphaEncodingError.h"
#include "HEVCAlphaMovieCheck.h"
#include "HEVCAlphaMovieWriter.h"
#include "OverlayTestFrames.h"
#include "QuickTimeTestReader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <span>

namespace pacemark {
namespace {

using Bytes = std::vector<std::uint8_t>;
using pacemark::testing::OverlayTestFrame;
using pacemark::testing::writeOverlayFrames;
using pacemark::testing::QuickTimeHEVCTrack;
using pacemark::testing::quoted;
using pacemark::testing::readFileBytes;
using pacemark::testing::runCommand;
using pacemark::testing::TemporaryFolder;

// The encoder settings an export of this size and rate opens the writer with.
HEVCAlphaEncoderSettings exportEncoderSettings(std::int64_t width, std::int64_t height, FrameRate framesPerSecond) {
    const TelemetryExportSettings settings{width, height, framesPerSecond, TelemetryVideoCodec::hevcWithAlpha};
    return HEVCAlphaEncoderSettings::fromMovieWriterSettings(settings.writerSettings("unused.mov"));
}

// Neither side is a multiple of the 64-pixel coding tree unit, so the skip
// pictures split at the right and bottom edges.
constexpr int movieWidth = 200;
constexpr int movieHeight = 120;
constexpr int movieFramesPerSecond = 10;
constexpr std::size_t keyFrameInterval = 20;  // two seconds of frames
constexpr std::size_t longRun = 300;

// Which frames repeat the one before them, as the exporter hands over
// instants that show the same sample: single repeats between new pictures,
// a run of repeats longer than the range of slice_pic_order_cnt_lsb (x265
// codes 8 bits) with a new picture right after it, short runs, and a new
// last frame.
std::vector<bool> repeatPattern() {
    std::vector<bool> repeats;
    for (int i = 0; i < 28; ++i) repeats.push_back(i % 4 == 3);
    repeats.insert(repeats.end(), longRun, true);
    for (int i = 0; i < 6; ++i) repeats.insert(repeats.end(), {false, true, true});
    repeats.push_back(false);
    return repeats;
}

void writeMovie(const std::filesystem::path& path, const HEVCAlphaEncoderSettings& settings,
                const std::vector<bool>& repeats) {
    HEVCAlphaMovieWriter writer(path, settings);
    writeOverlayFrames(writer, static_cast<int>(settings.width), static_cast<int>(settings.height),
                                          repeats);
}

// The movie of `repeatPattern` at the export's settings, written once for
// every test here.
const std::filesystem::path& patternMovie() {
    static const TemporaryFolder folder;
    static const std::filesystem::path path = [] {
        const auto movie = folder / "overlay.mov";
        writeMovie(movie, exportEncoderSettings(movieWidth, movieHeight, movieFramesPerSecond), repeatPattern());
        return movie;
    }();
    return path;
}

const QuickTimeHEVCTrack& patternTrack() {
    static const QuickTimeHEVCTrack track = pacemark::testing::readQuickTimeHEVCTrack(patternMovie());
    return track;
}

std::vector<std::span<const std::uint8_t>> spans(const std::vector<Bytes>& samples) {
    return {samples.begin(), samples.end()};
}

std::string joined(const std::vector<MovieCheckFinding>& findings) {
    std::string text;
    for (const auto& finding : findings) text += finding.message + "\n";
    return text;
}

TEST(HEVCAlphaMovieWriterTest, WritesAnHvc1TrackWithBothLayersThatPassesTheStrictChecks) {
    const std::vector<bool> repeats = repeatPattern();
    // The checker tells the sample entry's type and size, the parameter sets
    // of both layers in the hvcC (each parsed to its trailing bits) and the
    // layers of every sample; the SEI that ends the hvcC declares the colour
    // premultiplied.
    const QuickTimeHEVCTrack& track = patternTrack();
    const Bytes premultipliedSEI{0x4E, 0x01, 0xA5, 0x04, 0x10, 0x00, 0x7F, 0x90, 0x80};
    ASSERT_GE(track.hvcC.size(), premultipliedSEI.size());
    EXPECT_EQ(Bytes(track.hvcC.end() - std::ssize(premultipliedSEI), track.hvcC.end()), premultipliedSEI);
    EXPECT_EQ(joined(checkHEVCAlphaTrack(track.sampleEntry, spans(track.samples))), "");
    // ... and it does find faults: a sample whose pictures are missing is named.
    auto damaged = spans(track.samples);
    damaged.at(1) = {};
    EXPECT_NE(joined(checkHEVCAlphaTrack(track.sampleEntry, damaged)), "");

    // One duration for every frame; a repeat that is not a key frame is a
    // skip picture (tiny).
    ASSERT_EQ(track.samples.size(), repeats.size());
    EXPECT_EQ(track.sampleDurations, std::vector<std::uint32_t>(repeats.size(), track.sampleDurations.at(0)));
    for (std::size_t i = 0; i < repeats.size(); ++i) {
        if (repeats[i] && !track.syncSamples[i]) {
            EXPECT_LT(track.samples[i].size(), 64u) << "sample " << i;
        }
    }
}

// Key frames at most two seconds of frames apart, counting repeats, however
// the repeats fall: a player seeking anywhere decodes at most that many
// frames. The long run of repeats gets key frames of its own.
TEST(HEVCAlphaMovieWriterTest, KeyFramesAreNeverFartherApartThanTheIntervalInFrames) {
    const QuickTimeHEVCTrack& track = patternTrack();
    ASSERT_TRUE(track.syncSamples.at(0));
    std::size_t lastKeyFrame = 0;
    for (std::size_t i = 1; i < track.syncSamples.size(); ++i) {
        if (track.syncSamples[i]) lastKeyFrame = i;
        EXPECT_LT(i - lastKeyFrame, keyFrameInterval) << "sample " << i;
    }
}

// The system's FFmpeg reads only the colour layer; the decoder of FFmpeg 8
// (through node-av, no code shared with ours) reads both.
TEST(HEVCAlphaMovieWriterTest, AnIndependentDecoderReturnsTheDrawnFrames) {
    const std::vector<bool> repeats = repeatPattern();
    TemporaryFolder folder;
    // FFmpeg 8 through node-av decodes both layers, as yuva420p.
    const std::filesystem::path packages = PACEMARK_HEVC_ALPHA_DECODER_FOLDER;
    if (std::string(PACEMARK_NODE).empty() || !std::filesystem::exists(PACEMARK_NODE)) GTEST_SKIP() << "node not found";
    if (!std::filesystem::exists(packages / "node_modules" / "node-av" / "package.json")) {
        GTEST_SKIP() << "decoder node-av not installed (npm missing or registry unreachable)";
    }
    const auto raw = folder / "decoded.yuva";
    const auto result = runCommand(std::string(PACEMARK_NODE) + " " + quoted(PACEMARK_HEVC_ALPHA_DECODE_SCRIPT) + " " +
                                   quoted(packages) + " " + quoted(patternMovie()) + " " + quoted(raw));
    ASSERT_EQ(result.status, 0) << result.output;
    // Nothing to complain about (no unknown profile, no unexpected scalability type).
    EXPECT_EQ(result.output.find("[hevc @"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("\"formats\":[\"yuva420p\"],\"widths\":[200],\"heights\":[120]"), std::string::npos)
        << result.output;
    const std::vector<std::uint8_t> decoded = readFileBytes(raw);
    const std::size_t lumaSize = std::size_t{movieWidth} * movieHeight, chromaSize = lumaSize / 4;
    const std::size_t frameSize = 2 * lumaSize + 2 * chromaSize;
    ASSERT_EQ(decoded.size(), frameSize * repeats.size());
    // A repeat equals the frame before it bit for bit, a new picture does
    // not. A repeat that is a key frame is its picture encoded again, equal
    // only within the codec's error (the quality checks below cover it).
    const auto frame = [&](std::size_t i) { return std::span(decoded).subspan(i * frameSize, frameSize); };
    for (std::size_t i = 1; i < repeats.size(); ++i) {
        if (repeats[i] && patternTrack().syncSamples.at(i)) continue;
        EXPECT_EQ(std::ranges::equal(frame(i), frame(i - 1)), repeats[i]) << "frame " << i;
    }

    // BT.709 limited range back to RGB, compared with the premultiplied
    // colour and the alpha that were drawn.
    OverlayTestFrame drawn(movieWidth, movieHeight);
    double alphaError = 0, colourError = 0;
    for (std::size_t f = 0; f < repeats.size(); ++f) {
        if (!repeats[f]) drawn.draw(static_cast<int>(f));
        const std::uint8_t* y = &decoded[frameSize * f];
        const std::uint8_t* u = y + lumaSize;
        const std::uint8_t* v = u + chromaSize;
        const std::uint8_t* a = v + chromaSize;
        for (std::size_t row = 0; row < movieHeight; ++row) {
            for (std::size_t col = 0; col < movieWidth; ++col) {
                const std::size_t at = row * movieWidth + col, c = (row / 2) * (movieWidth / 2) + col / 2;
                const double luma = 1.164383 * (y[at] - 16.0), cb = u[c] - 128.0, cr = v[c] - 128.0;
                const double rgb[3] = {luma + 1.792741 * cr, luma - 0.213249 * cb - 0.532909 * cr, luma + 2.112402 * cb};
                const std::uint8_t* px = &drawn.pixels()[at * 4];
                for (int k = 0; k < 3; ++k) {
                    const double d = std::clamp(rgb[k], 0.0, 255.0) - px[2 - k];
                    colourError += d * d;
                }
                const double da = double(a[at]) - px[3];
                alphaError += da * da;
            }
        }
    }
    const double pixels = double(lumaSize) * double(repeats.size());
    const auto psnr = [](double squaredErrorSum, double count) {
        return squaredErrorSum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * count / squaredErrorSum);
    };
    const double alphaPsnr = psnr(alphaError, pixels), colourPsnr = psnr(colourError, 3 * pixels);
    std::cout << "alpha PSNR " << alphaPsnr << " dB, colour PSNR " << colourPsnr << " dB\n";
    EXPECT_GE(alphaPsnr, 40.0);
    EXPECT_GE(colourPsnr, 36.0);
}

// Starts a 64×64 movie at `path` and appends its first frame.
std::unique_ptr<HEVCAlphaMovieWriter> startedMovie(const std::filesystem::path& path) {
    auto writer = std::make_unique<HEVCAlphaMovieWriter>(path, exportEncoderSettings(64, 64, 10));
    EXPECT_FALSE(std::filesystem::exists(path)) << "no file before writing starts";
    writer->startWriting();
    OverlayTestFrame frame(64, 64);
    frame.draw(0);
    writer->append(frame.view(), 0);
    return writer;
}

TEST(HEVCAlphaMovieWriterFailureTest, FailedMoviesLeaveNothing) {
    TemporaryFolder folder;
    const auto path = folder / "abandoned.mov";
    startedMovie(path).reset();
    EXPECT_FALSE(std::filesystem::exists(path));

    const auto missing = testing::thrownBy<HEVCAlphaEncodingError>(
        [&] { startedMovie(folder / "missing-folder" / "x.mov"); });
    EXPECT_EQ(missing.errorCase(), HEVCAlphaEncodingError::Case::muxingFailed);
    EXPECT_NE(missing.errorDescription().find("Не удалось открыть для записи"), std::string::npos) << missing.what();
    EXPECT_EQ(missing.errorDescription().find("No such"), std::string::npos) << "the reason is Russian";

    // A write the file system refuses (here: past the process's file-size
    // limit) fails the movie with the reason, even where the muxer itself
    // does not return the error. (No encoder threads are left when the
    // size-limited child is forked.)
    const auto limited = folder / "limited.mov";
    const auto writeTooMuch = [&] {
        HEVCAlphaMovieWriter writer(limited, exportEncoderSettings(128, 96, 10));
        writeOverlayFrames(writer, 128, 96, std::vector<bool>(200, false));
    };
    EXPECT_EQ(testing::fileSizeLimitFailure<PacemarkError>(16 * 1024, writeTooMuch, "файл слишком большой"), 0)
        << "1: no error, 2: another text";
    EXPECT_FALSE(std::filesystem::exists(limited));
}

}  // namespace
}  // namespace pacemark
