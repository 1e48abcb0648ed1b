// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "Export/TelemetryVideoExportError.h"
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

// The decoded bytes of a movie and the presentation times FFmpeg 8 (through
// node-av, no code shared with ours) prints for it.
struct ReaderOutput {
    std::vector<std::uint8_t> decoded;
    std::string times;
};

ReaderOutput readWithFFmpeg8(const fs::path& movie, const fs::path& raw) {
    const CommandResult result = runCommand(std::string(PACEMARK_NODE) + " " + quoted(PACEMARK_HEVC_ALPHA_DECODE_SCRIPT) +
                                            " " + quoted(PACEMARK_HEVC_ALPHA_DECODER_FOLDER) + " " + quoted(movie) + " " +
                                            quoted(raw));
    EXPECT_EQ(result.status, 0) << result.output;
    std::smatch times;
    std::regex_search(result.output, times, std::regex(R"("pts":\[[^\]]*\])"));
    return {readFileBytes(raw), times.str()};
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

    if (std::string(PACEMARK_NODE).empty() ||
        !fs::exists(fs::path(PACEMARK_HEVC_ALPHA_DECODER_FOLDER) / "node_modules" / "node-av")) {
        GTEST_SKIP() << "node or node-av missing: FFmpeg 8 not run";
    }
    const auto a = readWithFFmpeg8(normal, folder / "normal.raw");
    const auto b = readWithFFmpeg8(compact, folder / "compact.raw");
    ASSERT_FALSE(a.times.empty());
    EXPECT_EQ(a.times, b.times) << "FFmpeg 8";
    EXPECT_FALSE(a.decoded.empty());
    EXPECT_TRUE(a.decoded == b.decoded) << "FFmpeg 8 decodes other pictures";
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
