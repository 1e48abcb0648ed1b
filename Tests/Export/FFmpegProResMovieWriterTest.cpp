#include <gtest/gtest.h>

#include <filesystem>

#include "Export/TelemetryVideoExportError.h"
#include "FFmpegMovieWriterFactory.h"
#include "FFmpegProResMovieWriter.h"
#include "MovieDecoding.h"
#include "SyntheticOverlay.h"
#include "TestSupport.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

MovieWriterSettings proResSettings(fs::path url, std::int64_t width, std::int64_t height, std::int64_t fps) {
    MovieWriterSettings settings;
    settings.url = std::move(url);
    settings.codec = TelemetryVideoCodec::proRes4444;
    settings.width = width;
    settings.height = height;
    settings.framesPerSecond = fps;
    return settings;
}

// Writes the synthetic pictures of `variants`, as repeats where the variant
// equals the previous one when `repeats` is on.
void writeMovie(const MovieWriterSettings& settings, const std::vector<int>& variants, bool repeats) {
    FFmpegProResMovieWriter writer(settings);
    writer.startWriting();
    for (std::size_t i = 0; i < variants.size(); ++i) {
        if (repeats && i > 0 && variants[i] == variants[i - 1]) {
            writer.appendRepeat(std::int64_t(i));
            continue;
        }
        const PixelBufferView buffer = writer.makePixelBuffer();
        ASSERT_TRUE(buffer.isValid());
        drawSyntheticOverlay(buffer, variants[i]);
        writer.append(buffer, std::int64_t(i));
    }
    writer.finish();
}

TEST(FFmpegProResMovieWriterTest, RepeatsDecodeExactlyLikeFramesEncodedAgain) {
    TemporaryFolder folder;
    const std::vector<int> variants = {3, 3, 3, 7, 7, 2, 2, 2, 2};
    // An odd size, so partial macroblocks are covered too.
    writeMovie(proResSettings(folder / "repeats.mov", 45, 27, 25), variants, true);
    writeMovie(proResSettings(folder / "every.mov", 45, 27, 25), variants, false);
    const DecodedMovie repeats = decodeMovie(folder / "repeats.mov");
    const DecodedMovie every = decodeMovie(folder / "every.mov");
    ASSERT_EQ(repeats.frames.size(), variants.size());
    ASSERT_EQ(every.frames.size(), variants.size());
    for (std::size_t i = 0; i < variants.size(); ++i) {
        EXPECT_EQ(repeats.frames[i].presentationSeconds, every.frames[i].presentationSeconds);
        EXPECT_EQ(repeats.frames[i].packet, every.frames[i].packet) << "frame " << i;
        EXPECT_EQ(repeats.frames[i].rgba, every.frames[i].rgba) << "frame " << i;
    }
    EXPECT_EQ(readFileBytes(folder / "repeats.mov"), readFileBytes(folder / "every.mov"));
}

// A busy 4K picture codes to several megabytes, far more than one write of
// the file layer; every coded frame must still reach the file whole.
TEST(FFmpegProResMovieWriterTest, LargeCodedFramesAreWrittenWhole) {
    TemporaryFolder folder;
    const auto url = folder / "busy.mov";
    FFmpegProResMovieWriter writer(proResSettings(url, 3840, 2160, 30));
    writer.startWriting();
    std::uint32_t noise = 12345;
    for (std::int64_t i = 0; i < 2; ++i) {
        const PixelBufferView buffer = writer.makePixelBuffer();
        for (std::int64_t y = 0; y < buffer.height; ++y) {
            std::uint8_t* row = buffer.row(y);
            for (std::int64_t x = 0; x < buffer.width; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const auto alpha = static_cast<std::uint8_t>(noise >> 24);
                row[4 * x + 0] = static_cast<std::uint8_t>(((noise >> 8) & 0xFF) * alpha / 255);
                row[4 * x + 1] = static_cast<std::uint8_t>(((noise >> 16) & 0xFF) * alpha / 255);
                row[4 * x + 2] = static_cast<std::uint8_t>((noise & 0xFF) * alpha / 255);
                row[4 * x + 3] = alpha;
            }
        }
        writer.append(buffer, i);
    }
    writer.appendRepeat(2);
    writer.finish();
    const DecodedMovie movie = decodeMovie(url);
    ASSERT_EQ(movie.frames.size(), 3u);
    EXPECT_GT(movie.frames[0].packet.size(), 1'000'000u);
    EXPECT_EQ(movie.frames[2].packet, movie.frames[1].packet);
}

TEST(FFmpegProResMovieWriterTest, SettingsItCannotWriteAreRefusedBeforeAnyFileExists) {
    TemporaryFolder folder;
    for (auto [width, height, fps] : {std::tuple{0, 10, 30}, {10, -1, 30}, {20000, 10, 30}, {10, 10, 0}}) {
        try {
            FFmpegProResMovieWriter writer(proResSettings(folder / "x.mov", width, height, fps));
            ADD_FAILURE() << width << "x" << height << " @" << fps;
        } catch (const TelemetryVideoExportError& error) {
            EXPECT_EQ(error.errorCase(), TelemetryVideoExportError::Case::cannotAddVideoInput);
            EXPECT_STREQ(error.what(), "Не удалось добавить видеодорожку.");
        }
    }
    // HEVC is not this writer's; without an HEVC back end the factory says so.
    MovieWriterSettings hevc = proResSettings(folder / "x.mov", 64, 36, 30);
    hevc.codec = TelemetryVideoCodec::hevcWithAlpha;
    try {
        FFmpegMovieWriterFactory().makeWriter(hevc);
        ADD_FAILURE() << "HEVC accepted";
    } catch (const TelemetryVideoExportError& error) {
        EXPECT_EQ(error.errorCase(), TelemetryVideoExportError::Case::writerFailed);
        EXPECT_NE(std::string(error.what()).find("HEVC с альфой"), std::string::npos);
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

// Both file writers: FFmpeg's muxer and the compact QuickTime writer.
class FFmpegProResMovieWriterFileTest : public ::testing::TestWithParam<bool> {
protected:
    static ProResWriterOptions options() {
        ProResWriterOptions options;
        options.compact = GetParam();
        return options;
    }
};

TEST_P(FFmpegProResMovieWriterFileTest, CancelAndAbandonRemoveThePartialFile) {
    TemporaryFolder folder;
    const auto settings = proResSettings(folder / "x.mov", 64, 36, 30);
    {
        FFmpegProResMovieWriter writer(settings, options());
        writer.startWriting();
        PixelBufferView buffer = writer.makePixelBuffer();
        drawSyntheticOverlay(buffer, 1);
        writer.append(buffer, 0);
        writer.appendRepeat(1);
        EXPECT_TRUE(fs::exists(settings.url));
        writer.cancel();
        EXPECT_FALSE(fs::exists(settings.url));
        writer.cancel();
    }
    {
        FFmpegProResMovieWriter writer(settings, options());
        writer.startWriting();
        writer.makePixelBuffer();  // dropped without appending, then the writer is destroyed
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST_P(FFmpegProResMovieWriterFileTest, StartInAMissingFolderFailsWithTheReason) {
    TemporaryFolder folder;
    FFmpegProResMovieWriter writer(proResSettings(folder / "missing" / "x.mov", 64, 36, 30), options());
    try {
        writer.startWriting();
        ADD_FAILURE() << "started";
    } catch (const TelemetryVideoExportError& error) {
        EXPECT_STREQ(error.what(), "Видеозапись не стартовала: папка или файл не найдены.");
    }
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

INSTANTIATE_TEST_SUITE_P(NormalAndCompact, FFmpegProResMovieWriterFileTest, ::testing::Bool());

}  // namespace
}  // namespace pacemark
