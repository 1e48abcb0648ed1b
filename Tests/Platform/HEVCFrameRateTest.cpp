// SPDX-License-Identifier: GPL-3.0-or-later
// The HEVC-with-alpha writer at exact frame rates: the track's durations and
// the stream's own timing information state the same rate.
#include "Export/TelemetryExportSettings.h"
#include "HEVCAlphaMovieCheck.h"
#include "HEVCAlphaMovieWriter.h"
#include "OverlayTestFrames.h"
#include "QuickTimeTestReader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace pacemark {
namespace {

using pacemark::testing::OverlayTestFrame;
using pacemark::testing::TemporaryFolder;

// Three distinct pictures and a repeat, written at `rate`.
testing::QuickTimeHEVCTrack trackWrittenAt(FrameRate rate, const TemporaryFolder& folder) {
    const TelemetryExportSettings settings{64, 64, rate, TelemetryVideoCodec::hevcWithAlpha};
    const auto path = folder / "movie.mov";
    HEVCAlphaMovieWriter writer(path, HEVCAlphaEncoderSettings::fromMovieWriterSettings(settings.writerSettings(path)));
    writer.startWriting();
    OverlayTestFrame frame(64, 64);
    for (int i = 0; i < 3; ++i) {
        frame.draw(i);
        const PixelBufferView buffer = writer.makePixelBuffer();
        std::copy(frame.pixels().begin(), frame.pixels().end(), buffer.data);
        writer.append(buffer, i);
    }
    writer.appendRepeat(3);
    writer.finish();
    return testing::readQuickTimeHEVCTrack(path);
}

TEST(HEVCFrameRateTest, StreamTimingMatchesTheTrackRate) {
    const TemporaryFolder folder;
    const auto ntsc = trackWrittenAt(FrameRate(30000, 1001), folder);
    EXPECT_EQ(hevcTrackFrameRate(ntsc.sampleEntry), FrameRate(30000, 1001));
    // Time scale 30000 (FFmpeg's muxer keeps it, being above 10000): 1001 units a frame.
    EXPECT_EQ(ntsc.sampleDurations, std::vector<std::uint32_t>(4, 1001));

    const auto whole = trackWrittenAt(FrameRate(25), folder);
    EXPECT_EQ(hevcTrackFrameRate(whole.sampleEntry), FrameRate(25));
}

}  // namespace
}  // namespace pacemark
