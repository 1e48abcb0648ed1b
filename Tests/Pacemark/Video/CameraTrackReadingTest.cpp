// SPDX-License-Identifier: GPL-3.0-or-later
#include "FFmpegMovieReader.h"

#include <gtest/gtest.h>

#include "CameraExpectations.h"
#include "VideoTestMovies.h"

namespace pacemark {
namespace {

using namespace testing;

CameraGPS cameraGPSOf(const std::filesystem::path& path) {
    const FFmpegMovieReader reader(path);
    const auto track = reader.cameraMetadataTrack();
    if (!track) return {};
    return GPMFReader::readGPS(track->payloads());
}

TEST(CameraTrackReadingTest, SharedClipsDecodeAsTheIndependentDecoderReadsThem) {
    const auto folder = sharedCameraFolder();
    if (!std::filesystem::exists(folder / "clips")) GTEST_SKIP() << folder.string() << " is not present";
    for (const char* name : {"max-heromode.mp4", "hero10-GL012297.LRV", "karma.mp4"}) {
        SCOPED_TRACE(name);
        expectDecodedAsExpected(cameraGPSOf(folder / "clips" / name), folder / "expected" / (std::string(name) + ".gps.json"));
    }
}

TEST(CameraTrackReadingTest, RotatedClipReportsItsUprightSize) {
    if (!ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    TemporaryFolder folder;
    const auto plain = folder / "plain.mp4";
    const auto movie = folder / "portrait.mp4";
    makeTestMovie(plain, "testsrc=size=64x48:rate=25", 0.4);
    ASSERT_TRUE(runFFmpeg("-i " + quoted(plain) + " -c copy -metadata:s:v:0 rotate=90 " + quoted(movie)));
    const ClipFacts facts = FFmpegMovieReader(movie).clipFacts();
    EXPECT_EQ(facts.displayWidth, 48);
    EXPECT_EQ(facts.displayHeight, 64);
    EXPECT_EQ(facts.frameRate.text(), "25/1");
    EXPECT_EQ(facts.frameCount, 10);
}

}  // namespace
}  // namespace pacemark
