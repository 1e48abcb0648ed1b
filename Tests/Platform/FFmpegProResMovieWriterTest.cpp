// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "Export/TelemetryVideoExportError.h"
#include "FFmpegMovieWriterFactory.h"
#include "FFmpegProResMovieWriter.h"
#include "MovieDecoding.h"
#include "OverlayTestFrames.h"
#include "ProResTestFrames.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

MovieWriterSettings proResSettings(fs::path file, std::int64_t width, std::int64_t height, std::int64_t fps) {
    return {.file = std::move(file), .codec = TelemetryVideoCodec::proRes4444, .width = width, .height = height,
            .frameRate = fps, .hevc = std::nullopt};
}

constexpr int width = 64, height = 48, framesPerSecond = 10, frameCount = 45;

// Frames 0-9 show one picture, 10-19 the next, ...: the exporter's repeats
// of a 1 Hz recording at 10 fps. The last frame is a new picture.
void writeMovie(const fs::path& path, bool compact) {
    std::vector<bool> repeats;
    for (int i = 0; i < frameCount; ++i) repeats.push_back(i % framesPerSecond != 0 && i != frameCount - 1);
    FFmpegProResMovieWriter writer(proResSettings(path, width, height, framesPerSecond), {.compact = compact});
    writeOverlayFrames(writer, width, height, repeats);
}

// What an outside reader returns for a movie: the decoded bytes and the
// presentation times it printed (the first group of `times` in its output).
struct ReaderOutput {
    std::vector<std::uint8_t> decoded;
    std::vector<std::string> timestamps;
};

ReaderOutput read(const std::string& command, const fs::path& raw, const std::regex& times) {
    const CommandResult result = runCommand(command);
    EXPECT_EQ(result.status, 0) << result.output;
    ReaderOutput output{readFileBytes(raw), {}};
    for (auto it = std::sregex_iterator(result.output.begin(), result.output.end(), times); it != std::sregex_iterator();
         ++it) {
        output.timestamps.push_back((*it)[1].str());
    }
    return output;
}

ReaderOutput readWithGStreamer(const fs::path& movie, const fs::path& raw) {
    return read("gst-launch-1.0 -v filesrc location=" + quoted(movie) +
                    " ! qtdemux ! identity silent=false ! avdec_prores ! filesink location=" + quoted(raw),
                raw, std::regex(R"(chain[^\n]*pts: ([0-9:.]+))"));
}

ReaderOutput readWithFFmpeg8(const fs::path& movie, const fs::path& raw) {
    return read(std::string(PACEMARK_NODE) + " " + quoted(PACEMARK_HEVC_ALPHA_DECODE_SCRIPT) + " " +
                    quoted(PACEMARK_HEVC_ALPHA_DECODER_FOLDER) + " " + quoted(movie) + " " + quoted(raw),
                raw, std::regex(R"("pts":\[([^\]]*)\])"));
}

// The compact movie stores each picture once; every reader returns the
// frames of the normal movie from it, and reading from the middle of a
// picture's repeats works. (That a repeat equals the picture encoded again
// is held at the export: ProResExportTest.)
TEST(FFmpegProResMovieWriterTest, EveryReaderReturnsTheFramesOfTheNormalMovieFromTheCompactOne) {
    TemporaryFolder folder;
    const auto normal = folder / "normal.mov";
    const auto compact = folder / "compact.mov";
    writeMovie(normal, false);
    writeMovie(compact, true);
    // (That it stores each repeated picture once is held by the export command's test.)

    const DecodedMovie expected = decodeMovie(normal);
    ASSERT_EQ(expected.frames.size(), std::size_t{frameCount});
    EXPECT_TRUE(decodeMovie(compact).frames == expected.frames) << "FFmpeg 5.1: other frames or times";
    // Reading started in the middle of a frame's time returns that frame and the rest.
    for (const int middle : {23, 30}) {
        const DecodedMovie sought = decodeMovie(compact, (middle + 0.5) / framesPerSecond);
        EXPECT_TRUE(std::equal(sought.frames.begin(), sought.frames.end(), expected.frames.begin() + middle,
                               expected.frames.end()))
            << "seek to frame " << middle << " gave " << sought.frames.size() << " frames";
    }

    std::string skipped;
    if (!fs::exists("/usr/bin/gst-launch-1.0")) {
        skipped = "gst-launch-1.0 not found (Debian packages gstreamer1.0-tools, -plugins-good, -libav): GStreamer not run. ";
    } else {
        const auto a = readWithGStreamer(normal, folder / "normal.gst");
        const auto b = readWithGStreamer(compact, folder / "compact.gst");
        EXPECT_EQ(a.timestamps.size(), std::size_t{frameCount});
        EXPECT_EQ(a.timestamps, b.timestamps) << "GStreamer";
        EXPECT_FALSE(a.decoded.empty());
        EXPECT_TRUE(a.decoded == b.decoded) << "GStreamer decodes other pictures";
    }

    if (std::string(PACEMARK_NODE).empty() ||
        !fs::exists(fs::path(PACEMARK_HEVC_ALPHA_DECODER_FOLDER) / "node_modules" / "node-av")) {
        GTEST_SKIP() << skipped << "node or node-av missing: FFmpeg 8 not run";
    }
    const auto a = readWithFFmpeg8(normal, folder / "normal.raw");
    const auto b = readWithFFmpeg8(compact, folder / "compact.raw");
    ASSERT_EQ(a.timestamps.size(), 1u);
    EXPECT_EQ(a.timestamps, b.timestamps) << "FFmpeg 8";
    EXPECT_FALSE(a.decoded.empty());
    EXPECT_TRUE(a.decoded == b.decoded) << "FFmpeg 8 decodes other pictures";
    if (!skipped.empty()) GTEST_SKIP() << skipped;
}

// A busy 4K picture codes to several megabytes, far more than one write of
// the file layer; every coded frame must still reach the file whole.
TEST(FFmpegProResMovieWriterTest, LargeCodedFramesAreWrittenWhole) {
    TemporaryFolder folder;
    const auto movieFile = folder / "busy.mov";
    FFmpegProResMovieWriter writer(proResSettings(movieFile, 3840, 2160, 30));
    writer.startWriting();
    for (std::int64_t i = 0; i < 2; ++i) {
        const auto noise = noisyPicture(3840, 2160, unsigned(i));
        const PixelBufferView buffer = writer.makePixelBuffer();
        std::copy(noise.begin(), noise.end(), buffer.data);
        writer.append(buffer, i);
    }
    writer.appendRepeat(2);
    writer.finish();
    const DecodedMovie movie = decodeMovie(movieFile);
    ASSERT_EQ(movie.frames.size(), 3u);
    EXPECT_GT(movie.frames[0].packet.size(), 1'000'000u);
    EXPECT_EQ(movie.frames[2].packet, movie.frames[1].packet);
}

// Among them a picture above the slice limit, which would fail only after
// its first frame: refused before it takes any memory.
TEST(FFmpegProResMovieWriterTest, SettingsItCannotWriteAreRefusedBeforeAnyFileExists) {
    TemporaryFolder folder;
    for (auto [w, h, fps] : {std::tuple{0, 10, 30}, {10, -1, 30}, {20000, 10, 30}, {10, 10, 0}, {16384, 8178, 1}}) {
        const auto error = thrownBy<TelemetryVideoExportError>(
            [&] { FFmpegProResMovieWriter writer(proResSettings(folder / "x.mov", w, h, fps)); });
        EXPECT_EQ(error.errorCase(), TelemetryVideoExportError::Case::cannotAddVideoInput) << w << "x" << h << " @" << fps;
    }
    // HEVC is not this writer's: a codec routed here by mistake is refused.
    MovieWriterSettings hevc = proResSettings(folder / "x.mov", 64, 36, 30);
    hevc.codec = TelemetryVideoCodec::hevcWithAlpha;
    const auto error = thrownBy<TelemetryVideoExportError>([&] { FFmpegMovieWriterFactory().makeWriter(hevc); });
    EXPECT_EQ(error.errorCase(), TelemetryVideoExportError::Case::cannotAddVideoInput);
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

// Both file writers (FFmpeg's muxer and the compact QuickTime writer) leave
// no partial file: cancelled, abandoned, or unable to start.
class FFmpegProResMovieWriterFileTest : public ::testing::TestWithParam<bool> {};

TEST_P(FFmpegProResMovieWriterFileTest, PartialFilesNeverStay) {
    TemporaryFolder folder;
    const auto settings = proResSettings(folder / "x.mov", 64, 36, 30);
    const ProResWriterOptions options{.compact = GetParam()};
    {
        FFmpegProResMovieWriter writer(settings, options);
        writer.startWriting();
        writer.append(writer.makePixelBuffer(), 0);  // a transparent picture
        writer.appendRepeat(1);
        EXPECT_TRUE(fs::exists(settings.file));
        writer.cancel();
        EXPECT_FALSE(fs::exists(settings.file));
        writer.cancel();
    }
    {
        FFmpegProResMovieWriter writer(settings, options);
        writer.startWriting();
        writer.makePixelBuffer();  // dropped without appending, then the writer is destroyed
    }
    FFmpegProResMovieWriter missing(proResSettings(folder / "missing" / "x.mov", 64, 36, 30), options);
    EXPECT_STREQ(thrownBy<TelemetryVideoExportError>([&] { missing.startWriting(); }).what(),
                 "Видеозапись не стартовала: папка или файл не найдены.");
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

INSTANTIATE_TEST_SUITE_P(NormalAndCompact, FFmpegProResMovieWriterFileTest, ::testing::Bool());

}  // namespace
}  // namespace pacemark
