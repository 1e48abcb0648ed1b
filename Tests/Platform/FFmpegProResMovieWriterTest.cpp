// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

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

// The compact movie stores each picture once; a reader returns the frames
// of the normal movie from it, and reading from the middle of a picture's
// repeats works. (That a repeat equals the picture encoded again
// is held at the export: ProResExportTest.)
TEST(FFmpegProResMovieWriterTest, CompactMovieDecodesToTheFramesOfTheNormalOne) {
    TemporaryFolder folder;
    const auto normal = folder / "normal.mov";
    const auto compact = folder / "compact.mov";
    writeMovie(normal, false);
    writeMovie(compact, true);
    // (That it stores each repeated picture once is held by the export command's test.)

    const DecodedMovie expected = decodeMovie(normal);
    ASSERT_EQ(expected.frames.size(), std::size_t{frameCount});
    EXPECT_TRUE(decodeMovie(compact).frames == expected.frames) << "other frames or times";
    // Reading started in the middle of a frame's time returns that frame and the rest.
    for (const int middle : {23, 30}) {
        const DecodedMovie sought = decodeMovie(compact, (middle + 0.5) / framesPerSecond);
        EXPECT_TRUE(std::equal(sought.frames.begin(), sought.frames.end(), expected.frames.begin() + middle,
                               expected.frames.end()))
            << "seek to frame " << middle << " gave " << sought.frames.size() << " frames";
    }
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
