// SPDX-License-Identifier: GPL-3.0-or-later
// Finished videos made from clips the tests generate with the system's
// ffmpeg, checked against the clip (picture times, audio packets) and
// against a composite FFmpeg's overlay filter makes of the same clip and
// our exported transparent overlay.
#include "FFmpegClipBurnIn.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "CairoDrawingSurface.h"
#include "Export/TelemetryVideoExporter.h"
#include "Export/TelemetryVideoExportError.h"
#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"
#include "PacemarkError.h"
#include "PlatformMovieWriters.h"
#include "TestRides.h"
#include "TestSupport.h"
#include "VideoTestMovies.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using testing::quoted;

void ffmpeg(const std::string& arguments) {
    const auto result = testing::runCommand("ffmpeg -nostdin -v error -y " + arguments);
    ASSERT_EQ(result.status, 0) << arguments << "\n" << result.output;
}

// What a command printed; fails the test when the command fails.
std::string printed(const std::string& command) {
    const auto result = testing::runCommand(command);
    EXPECT_EQ(result.status, 0) << command << "\n" << result.output;
    return result.output;
}

// What ffprobe says of the video track: `entries` of the stream, one a line.
std::string videoFacts(const fs::path& path, const std::string& entries) {
    return printed("ffprobe -v error -select_streams v:0 -show_entries " + entries + " -of default=nw=1 " + quoted(path));
}

// Every packet (times, size and checksum) of the audio tracks.
std::string audioPackets(const fs::path& path) {
    std::string listing = printed("ffmpeg -nostdin -v error -i " + quoted(path) + " -map 0:a -c copy -f framemd5 -");
    return listing.erase(0, listing.find("#tb"));  // the header before names the library's version
}

// The presentation times of every decoded picture of the video track.
std::vector<double> pictureTimes(const fs::path& path) {
    std::istringstream lines(videoFacts(path, "frame=best_effort_timestamp_time"));
    std::vector<double> times;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("best_effort_timestamp_time=", 0) == 0) times.push_back(std::stod(line.substr(line.find('=') + 1)));
    }
    return times;
}

class FFmpegClipBurnInTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "ffmpeg is not installed; skipped";
    }

    // The overlay renderer of a ride, a preset and a size.
    BurnInOverlayMaker overlays() const {
        return [this](std::int64_t width, std::int64_t height) {
            return TelemetryVideoExporter::layoutFrameRenderers(surfaces)(
                ride, layout, width, height, TelemetryExportSettings::defaultMotion);
        };
    }

    fs::path burn(const fs::path& clip, ClipOverlayTiming timing = {30, 1}, std::int64_t quality = 18) {
        const fs::path output = BurnInSettings::outputPath(clip);
        FFmpegClipBurnIn::burnIn({clip, output, timing, {quality}}, overlays(), [](double) {});
        return output;
    }

    // A clip of the test picture at 25 fps, `seconds` long, of `size` ("WxH"), encoded with `encoding`.
    fs::path testClip(const std::string& name, const std::string& size, double seconds,
                      const std::string& encoding = "-c:v libx264 -preset ultrafast") {
        const fs::path clip = folder / name;
        ffmpeg("-f lavfi -i testsrc2=size=" + size + ":rate=25 -t " + std::to_string(seconds) + " " + encoding + " " +
               quoted(clip));
        return clip;
    }

    // The finished video of a clip burnt with `timing` is FFmpeg's composite
    // of the clip and our transparent overlay (ProRes 4444 with alpha, at the
    // clip's upright size, made as the clip's overlay export makes it), and
    // not the bare clip. Returns its likeness to the composite.
    double expectComposited(const fs::path& clip, const fs::path& burnt, std::int64_t width, std::int64_t height,
                            double seconds, ClipOverlayTiming timing = {30, 1}) {
        const TelemetryExportSettings settings{width, height, 25, TelemetryVideoCodec::proRes4444};
        TelemetryClipTiming clipTiming;
        clipTiming.frameCount = std::llround(seconds * 25);
        clipTiming.rideSecondsPerMovieSecond = timing.rate;
        TelemetryVideoExporter(platformMovieWriters(), surfaces)
            .exportMovie(ride, TelemetryRenderConfig::forClip(overlay(), settings, timing.startSeconds, clipTiming, layout),
                         [](double) {});
        const Likeness likeness = compare(clip, burnt);
        EXPECT_GE(likeness.toComposite, 40);
        EXPECT_LT(likeness.toClip, 35);  // the overlay is really there
        return likeness.toComposite;
    }
    fs::path overlay() const { return folder / "overlay.mov"; }

    // Our finished video against FFmpeg's composite of the clip and our
    // overlay movie, and against the bare clip (to see that the overlay is
    // there).
    struct Likeness {
        double toComposite = 0;
        double toClip = 0;
    };
    Likeness compare(const fs::path& clip, const fs::path& burnt) {
        const char* composite =
            "[1:v]format=yuv420p[clip];[2:v]format=yuva420p[overlay];[clip][overlay]overlay=eof_action=pass:format=yuv420";
        return {psnr(burnt, clip, composite), psnr(burnt, clip, "[1:v]null")};
    }

    // FFmpeg's PSNR (dB, over every plane and picture, upright) of our
    // finished video against `reference`, a filter graph of the clip [1:v]
    // and the overlay movie [2:v], at 8 bits per sample.
    double psnr(const fs::path& burnt, const fs::path& clip, const std::string& reference) {
        const std::string log = printed("ffmpeg -nostdin -hide_banner -i " + quoted(burnt) + " -i " + quoted(clip) + " -i " +
                                        quoted(overlay()) + " -filter_complex '[0:v]format=yuv420p[ours];" + reference +
                                        ",format=yuv420p[reference];[ours][reference]psnr' -f null - 2>&1");
        const std::size_t at = log.find("average:");
        EXPECT_NE(at, std::string::npos) << log;
        return at == std::string::npos ? 0 : std::stod(log.substr(at + 8));  // "inf" when equal
    }

    testing::TemporaryFolder folder;
    std::shared_ptr<const TelemetryActivity> ride = testing::rideOfSeconds(600);
    PacemarkLayout layout = PacemarkLayout::preset(PacemarkPreset::raceBroadcast);
    std::shared_ptr<const DrawingSurfaceFactory> surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
};

constexpr const char* bt709Tags = " -colorspace bt709 -color_primaries bt709 -color_trc bt709";
constexpr const char* h264 = "-c:v libx264 -preset ultrafast -crf 10";

TEST_F(FFmpegClipBurnInTest, EightBitClipBecomesH264WithTheOverlayComposited) {
    const fs::path clip = testClip("ride.mp4", "320x240", 2, h264 + std::string(bt709Tags));
    const fs::path burnt = burn(clip, {30, 1}, 0);
    EXPECT_EQ(videoFacts(burnt, "stream=codec_name,color_space"), "codec_name=h264\ncolor_space=bt709\n");
    expectComposited(clip, burnt, 320, 240, 2);
}

// A 10× timelapse that starts two seconds before the ride: every picture
// shows the ride at start + 10 × its time, as the clip's overlay movie does.
TEST_F(FFmpegClipBurnInTest, TimelapseClipShowsTheRideAtItsRate) {
    const fs::path clip = testClip("lapse.mp4", "320x240", 1, h264 + std::string(bt709Tags));
    const double likeness = expectComposited(clip, burn(clip, {-2, 10}, 0), 320, 240, 1, {-2, 10});
    // The same clip burnt at the real-time rate shows other values.
    const fs::path realTime = folder / "real-time.mp4";
    FFmpegClipBurnIn::burnIn({clip, realTime, {-2, 1}, {0}}, overlays(), {});
    EXPECT_LT(compare(clip, realTime).toComposite, likeness - 3);
}

// A 10-bit HLG clip becomes 10-bit HEVC tagged as HLG.
TEST_F(FFmpegClipBurnInTest, HLGClipStaysTenBitHLG) {
    const fs::path clip = testClip("hlg.mp4", "160x120", 0.4,
                                   "-pix_fmt yuv420p10le -c:v libx265 -x265-params log-level=error -colorspace bt2020nc "
                                   "-color_primaries bt2020 -color_trc arib-std-b67");
    EXPECT_EQ(videoFacts(burn(clip), "stream=codec_name,profile,pix_fmt,color_space,color_transfer,color_primaries"),
              "codec_name=hevc\nprofile=Main 10\npix_fmt=yuv420p10le\ncolor_space=bt2020nc\n"
              "color_transfer=arib-std-b67\ncolor_primaries=bt2020\n");
}

TEST_F(FFmpegClipBurnInTest, PortraitClipKeepsItsRotationWithTheOverlayUpright) {
    const fs::path landscape = testClip("landscape.mp4", "320x240", 1, h264 + std::string(bt709Tags));
    const fs::path clip = folder / "phone.mp4";
    ffmpeg("-i " + quoted(landscape) + " -c copy -metadata:s:v:0 rotate=90 " + quoted(clip));
    const fs::path burnt = burn(clip, {30, 1}, 0);
    EXPECT_EQ(videoFacts(burnt, "stream_side_data=rotation"), "rotation=90\n");
    expectComposited(clip, burnt, 240, 320, 1);
}

TEST_F(FFmpegClipBurnInTest, PictureTimesAreTheClips) {
    // A variable frame rate: every third picture of 30 fps dropped.
    const fs::path clip = folder / "variable.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=30 -t 2 -vf \"select='not(eq(mod(n\\,3)\\,1))'\" -vsync vfr "
           "-c:v libx264 -preset ultrafast " +
           quoted(clip));
    const auto before = pictureTimes(clip);
    ASSERT_GT(before.size(), 30u);
    ASSERT_NE(before[1] - before[0], before[2] - before[1]);
    EXPECT_EQ(pictureTimes(burn(clip)), before);
}

TEST_F(FFmpegClipBurnInTest, AudioTracksAreCopiedPacketForPacket) {
    const fs::path clip = folder / "two-voices.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -f lavfi -i "
           "sine=frequency=880:sample_rate=44100 -t 1 -map 0:v -map 1:a -map 2:a -c:v libx264 -preset ultrafast "
           "-c:a aac -b:a 96k " +
           quoted(clip));
    const std::string before = audioPackets(clip);
    ASSERT_NE(before.find("#tb 1:"), std::string::npos) << before;  // both tracks
    EXPECT_EQ(audioPackets(burn(clip)), before);
}

TEST_F(FFmpegClipBurnInTest, OutputNeverReplacesTheClip) {
    const fs::path clip = testClip("ride.mp4", "160x120", 1);
    const auto bytes = testing::readFileBytes(clip);
    EXPECT_THROW(FFmpegClipBurnIn::burnIn({clip, clip, {}, {}}, overlays(), {}), PacemarkError);
    EXPECT_EQ(testing::readFileBytes(clip), bytes);
    EXPECT_EQ(testing::filesIn(folder.path()).size(), 1u);
}

TEST_F(FFmpegClipBurnInTest, StopLeavesNothingBehind) {
    const fs::path clip = testClip("ride.mp4", "160x120", 4);
    std::stop_source stop;
    const fs::path output = folder / "out" / "ride-pacemark.mp4";
    EXPECT_THROW(FFmpegClipBurnIn::burnIn({clip, output, {}, {}}, overlays(),
                                          [&](double fraction) {
                                              if (fraction > 0.3) stop.request_stop();
                                          },
                                          stop.get_token()),
                 TelemetryVideoExportCancelled);
    EXPECT_TRUE(testing::filesIn(folder / "out").empty());
}

TEST_F(FFmpegClipBurnInTest, ClipCutShortIsAnError) {
    const fs::path whole = testClip("whole.mp4", "320x240", 4, "-c:v libx264 -preset ultrafast -movflags +faststart");
    const fs::path clip = folder / "cut" / "cut.mp4";
    fs::create_directories(clip.parent_path());
    auto bytes = testing::readFileBytes(whole);
    bytes.resize(bytes.size() / 2);
    testing::writeFileBytes(clip, bytes);
    const auto error = testing::thrownBy<PacemarkError>([&] { burn(clip); });
    EXPECT_NE(std::string(error.what()).find("«cut.mp4»"), std::string::npos) << error.what();
    EXPECT_EQ(testing::filesIn(clip.parent_path()), std::vector<fs::path>{"cut.mp4"});  // nothing left behind
}

TEST_F(FFmpegClipBurnInTest, FullDiskIsAnError) {
    const fs::path clip = testClip("ride.mp4", "320x240", 2, "-c:v libx264 -preset ultrafast -crf 0");
    const fs::path output = folder / "out" / "ride-pacemark.mp4";
    fs::create_directories(output.parent_path());
    const auto burnIn = [&] { FFmpegClipBurnIn::burnIn({clip, output, {}, {0}}, overlays(), {}); };
    EXPECT_EQ(testing::fileSizeLimitFailure<PacemarkError>(20000, burnIn, "Не удалось записать готовое видео"), 0)
        << "1: no error, 2: another text";
    EXPECT_TRUE(testing::filesIn(output.parent_path()).empty());  // nothing left behind
}

}  // namespace
}  // namespace pacemark
