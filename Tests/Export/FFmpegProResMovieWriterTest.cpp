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
using ffmpeg::FFmpegProResMovieWriter;

MovieWriterSettings proResSettings(fs::path url, std::int64_t width, std::int64_t height, std::int64_t fps) {
    MovieWriterSettings settings;
    settings.url = std::move(url);
    settings.codec = TelemetryVideoCodec::proRes4444;
    settings.width = width;
    settings.height = height;
    settings.framesPerSecond = fps;
    return settings;
}

// Writes the synthetic pictures of `variants` (a repeat where the variant
// equals the previous one when `repeats` is on) and returns the pictures.
std::vector<OwnedPicture> writeMovie(const MovieWriterSettings& settings, const std::vector<int>& variants,
                                     bool repeats, ffmpeg::ProResWriterOptions options = {}) {
    FFmpegProResMovieWriter writer(settings, options);
    writer.startWriting();
    std::vector<OwnedPicture> pictures;
    for (std::size_t i = 0; i < variants.size(); ++i) {
        pictures.emplace_back(settings.width, settings.height);
        drawSyntheticOverlay(pictures.back().view, variants[i]);
        if (repeats && i > 0 && variants[i] == variants[i - 1]) {
            writer.appendRepeat(std::int64_t(i));
            continue;
        }
        const PixelBufferView buffer = writer.makePixelBuffer();
        EXPECT_TRUE(buffer.isValid());
        for (std::int64_t y = 0; y < buffer.height; ++y) {
            std::copy_n(pictures.back().view.row(y), buffer.width * 4, buffer.row(y));
        }
        writer.append(buffer, std::int64_t(i));
    }
    writer.finish();
    return pictures;
}

TEST(FFmpegProResMovieWriterTest, DecodesAsProRes4444WithTheFramesAndAlphaThatWereWritten) {
    TemporaryFolder folder;
    const auto settings = proResSettings(folder / "a.mov", 160, 90, 30);
    const std::vector<int> variants = {0, 1, 2, 3, 4, 5, 6};
    const auto pictures = writeMovie(settings, variants, false);
    const DecodedMovie movie = decodeMovie(settings.url);

    EXPECT_EQ(movie.codecName, "prores");
    EXPECT_EQ(movie.codecTag, MKTAG('a', 'p', '4', 'h'));
    EXPECT_EQ(movie.profile, FF_PROFILE_PRORES_4444);
    EXPECT_EQ(movie.width, 160);
    EXPECT_EQ(movie.height, 90);
    EXPECT_EQ(movie.framesPerSecondNumerator, 30);
    EXPECT_EQ(movie.framesPerSecondDenominator, 1);
    EXPECT_EQ(movie.colorPrimaries, AVCOL_PRI_BT709);
    EXPECT_EQ(movie.colorTransfer, AVCOL_TRC_BT709);
    EXPECT_EQ(movie.colorMatrix, AVCOL_SPC_BT709);
    EXPECT_NEAR(movie.durationSeconds, 7.0 / 30.0, 1e-9);
    ASSERT_EQ(movie.frames.size(), variants.size());
    for (std::size_t i = 0; i < movie.frames.size(); ++i) {
        EXPECT_NEAR(movie.frames[i].presentationSeconds, double(i) / 30.0, 1e-9);
        const CompositeDifference difference = compositeDifference(pictures[i].view, movie.frames[i]);
        EXPECT_LE(difference.maximum, 3.0 / 255.0) << "frame " << i;
        EXPECT_GE(difference.psnr, 45.0) << "frame " << i;
        std::printf("frame %zu: max %.2f/255, PSNR %.1f dB\n", i, difference.maximum * 255, difference.psnr);
        // Alpha survives exactly at both ends: transparent stays 0, opaque stays 1.
        for (std::int64_t p = 0; p < 160 * 90; ++p) {
            const std::uint8_t alpha = pictures[i].pixels[std::size_t(p * 4 + 3)];
            const double decodedAlpha = movie.frames[i].rgba[std::size_t(p * 4 + 3)];
            if (alpha == 0) { ASSERT_EQ(decodedAlpha, 0.0) << "pixel " << p; }
            if (alpha == 255) { ASSERT_EQ(decodedAlpha, 1.0) << "pixel " << p; }
        }
    }
}

}  // namespace
}  // namespace pacemark
