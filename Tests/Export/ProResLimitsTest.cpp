// SPDX-License-Identifier: GPL-3.0-or-later
// The ProRes writer at the longest movies the export settings accept.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "CLIRun.h"
#include "FFmpegProResMovieWriter.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// 80 hours at 1 frame a second is more media time than 32 bits hold at the
// compact movie's time scale: the headers take their 64-bit form, readers
// see the whole length and the movie passes the check.
TEST(ProResLimitsTest, CompactMovieOfEightyHoursIsWrittenWhole) {
    TemporaryFolder folder;
    constexpr std::int64_t frames = 80 * 3600;
    MovieWriterSettings settings;
    settings.file = folder / "long.mov";
    settings.codec = TelemetryVideoCodec::proRes4444;
    settings.width = 32;
    settings.height = 16;
    settings.frameRate = 1;
    {
        FFmpegProResMovieWriter writer(settings, {.compact = true});
        writer.startWriting();
        const PixelBufferView picture = writer.makePixelBuffer();
        for (std::int64_t y = 0; y < picture.height; ++y) std::fill_n(picture.row(y), picture.width * 4, 0x80);
        writer.append(picture, 0);
        for (std::int64_t i = 1; i < frames; ++i) {
            while (!writer.isReadyForMoreMediaData()) std::this_thread::yield();
            writer.appendRepeat(i);
        }
        writer.finish();
    }
    const CommandResult probe = runCommand("ffprobe -v error -show_entries format=duration:stream=nb_frames -of "
                                           "default=noprint_wrappers=1 " + quoted(settings.file));
    EXPECT_EQ(probe.output, "nb_frames=288000\nduration=288000.000000\n");
}

}  // namespace
}  // namespace pacemark
