// SPDX-License-Identifier: GPL-3.0-or-later
// Finished videos made from clips the tests generate with the system's
// ffmpeg, checked against the clip (frames, timestamps, audio and camera
// packets, metadata) and against a composite FFmpeg's overlay filter makes
// of the same clip and our exported transparent overlay.
#include "FFmpegClipBurnIn.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

#include "CairoDrawingSurface.h"
#include "CameraTestClips.h"
#include "GPMFTestPayloads.h"
#include "ClipSynchronizationReading.h"
#include "Export/TelemetryVideoExporter.h"
#include "Export/TelemetryVideoExportError.h"
#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"
#include "PacemarkError.h"
#include "PlatformMovieWriters.h"
#include "TestRides.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using testing::quoted;

bool ffmpegAvailable() { return testing::runCommand("ffmpeg -version").status == 0; }

void ffmpeg(const std::string& arguments) {
    const auto result = testing::runCommand("ffmpeg -nostdin -v error -y " + arguments);
    ASSERT_EQ(result.status, 0) << arguments << "\n" << result.output;
}

// One packet of a track: timestamps in microseconds and the bytes.
struct Packet {
    std::int64_t ptsMicroseconds = 0;
    std::int64_t dtsMicroseconds = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const Packet&) const = default;
};

// Every track of `type` (and, when given, sample entry `tag`) with its packets.
std::vector<std::vector<Packet>> tracks(const fs::path& path, AVMediaType type, std::uint32_t tag = 0) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return {};
    avformat_find_stream_info(input, nullptr);
    std::vector<int> wanted(input->nb_streams, -1);
    std::vector<std::vector<Packet>> result;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVCodecParameters* p = input->streams[i]->codecpar;
        if (p->codec_type == type && (tag == 0 || p->codec_tag == tag)) {
            wanted[i] = static_cast<int>(result.size());
            result.emplace_back();
        }
    }
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(input, packet) >= 0) {
        if (const int track = wanted[packet->stream_index]; track >= 0) {
            const AVRational base = input->streams[packet->stream_index]->time_base;
            result[track].push_back({av_rescale_q(packet->pts, base, AV_TIME_BASE_Q),
                                     av_rescale_q(packet->dts, base, AV_TIME_BASE_Q),
                                     {packet->data, packet->data + packet->size}});
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&input);
    return result;
}

// The presentation times (microseconds) of every decoded picture of the video track.
std::vector<std::int64_t> pictureTimes(const fs::path& path) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return {};
    avformat_find_stream_info(input, nullptr);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, input->streams[index]->codecpar);
    avcodec_open2(decoder, codec, nullptr);
    const AVRational base = input->streams[index]->time_base;
    std::vector<std::int64_t> times;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(decoder, frame) >= 0) {
            times.push_back(av_rescale_q(frame->best_effort_timestamp, base, AV_TIME_BASE_Q));
        }
    };
    while (av_read_frame(input, packet) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(decoder, packet);
            drain();
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&input);
    return times;
}

// The turn of the video track's display matrix in degrees, 0 without one.
int displayRotation(const fs::path& path) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return -1;
    avformat_find_stream_info(input, nullptr);
    const int index = av_find_best_stream(input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    size_t size = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(input->streams[index], AV_PKT_DATA_DISPLAYMATRIX, &size);
    const int rotation =
        matrix ? static_cast<int>(std::lround(-av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix))) + 360) % 360
               : 0;
    avformat_close_input(&input);
    return rotation;
}

// PSNR of two raw pictures of `bytesPerSample` (1 or 2, little-endian) samples at `bits`.
double psnr(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b, int bytesPerSample, int bits) {
    if (a.size() != b.size() || a.empty()) return 0;
    double squares = 0;
    const std::size_t count = a.size() / static_cast<std::size_t>(bytesPerSample);
    for (std::size_t i = 0; i < count; ++i) {
        double x = a[i * bytesPerSample], y = b[i * bytesPerSample];
        if (bytesPerSample == 2) {
            x += 256.0 * a[i * 2 + 1];
            y += 256.0 * b[i * 2 + 1];
        }
        squares += (x - y) * (x - y);
    }
    const double top = std::ldexp(1.0, bits) - 1;
    return squares == 0 ? 99.0 : 10 * std::log10(top * top * static_cast<double>(count) / squares);
}

class FFmpegClipBurnInTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ffmpegAvailable()) GTEST_SKIP() << "ffmpeg is not installed; skipped";
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

    // Our transparent overlay of the clip (ProRes 4444 with alpha) at the
    // clip's upright size and rate, starting at `startSeconds`.
    fs::path exportOverlay(std::int64_t width, std::int64_t height, std::int64_t framesPerSecond, double startSeconds,
                           double seconds) const {
        const fs::path movie = folder / "overlay.mov";
        TelemetryRenderConfig config(movie, width, height, framesPerSecond, TelemetryVideoCodec::proRes4444,
                                     startSeconds, seconds, layout);
        config.motion = TelemetryExportSettings::defaultMotion;
        TelemetryVideoExporter(platformMovieWriters(), surfaces).exportMovie(ride, config, [](double) {});
        return movie;
    }

    // The upright pictures of `movie` (with `filter` applied when given) as raw samples.
    std::vector<std::uint8_t> rawPictures(const std::string& inputs, const std::string& filter,
                                          const std::string& pixelFormat) {
        const fs::path raw = folder / "pictures.raw";
        ffmpeg(inputs + (filter.empty() ? "" : " -filter_complex '" + filter + "'") + " -pix_fmt " + pixelFormat +
               " -f rawvideo " + quoted(raw));
        auto bytes = testing::readFileBytes(raw);
        fs::remove(raw);
        return bytes;
    }

    // Our finished video against FFmpeg's composite of the clip and our
    // overlay movie, and against the bare clip (to see that the overlay is there).
    struct Likeness {
        double toComposite = 0;
        double toClip = 0;
    };
    // FFmpeg 5.1's overlay filter blends the chroma of 10-bit pictures
    // about 38 dB away from its own 8-bit result (and from ours), while its
    // luma agrees with both; so the composite is made at 8 bits and compared
    // at the clip's depth.
    Likeness compare(const fs::path& clip, const fs::path& burnt, const fs::path& overlay, int bytesPerSample,
                     int bits) {
        const auto composite = rawPictures(
            "-i " + quoted(clip) + " -i " + quoted(overlay),
            "[0:v]format=yuv420p[clip];[1:v]format=yuva420p[overlay];[clip][overlay]overlay=eof_action=pass:format=yuv420",
            bits > 8 ? "yuv420p10le" : "yuv420p");
        const auto ours = rawPictures("-i " + quoted(burnt), "", bits > 8 ? "yuv420p10le" : "yuv420p");
        const auto bare = rawPictures("-i " + quoted(clip), "", bits > 8 ? "yuv420p10le" : "yuv420p");
        return {psnr(ours, composite, bytesPerSample, bits), psnr(ours, bare, bytesPerSample, bits)};
    }

    testing::TemporaryFolder folder;
    std::shared_ptr<const TelemetryActivity> ride = testing::rideOfSeconds(600);
    PacemarkLayout layout = PacemarkLayout::preset(PacemarkPreset::raceBroadcast);
    std::shared_ptr<const DrawingSurfaceFactory> surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
};

constexpr const char* bt709Tags = " -colorspace bt709 -color_primaries bt709 -color_trc bt709 ";

TEST_F(FFmpegClipBurnInTest, EightBitClipBecomesH264WithTheOverlayComposited) {
    const fs::path clip = folder / "ride.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -t 2 -c:v libx264 -preset ultrafast -crf 10" +
           std::string(bt709Tags) + quoted(clip));
    const fs::path burnt = burn(clip, {30, 1}, 0);
    EXPECT_EQ(burnt.filename(), "ride-pacemark.mp4");
    const auto video = tracks(burnt, AVMEDIA_TYPE_VIDEO);
    ASSERT_EQ(video.size(), 1u);
    const auto overlay = exportOverlay(320, 240, 25, 30, 2);
    const Likeness likeness = compare(clip, burnt, overlay, 1, 8);
    EXPECT_GE(likeness.toComposite, 40);
    EXPECT_LT(likeness.toClip, 35);  // the overlay is really there
    AVFormatContext* input = nullptr;
    ASSERT_GE(avformat_open_input(&input, burnt.c_str(), nullptr, nullptr), 0);
    avformat_find_stream_info(input, nullptr);
    EXPECT_EQ(input->streams[0]->codecpar->codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(input->streams[0]->codecpar->color_space, AVCOL_SPC_BT709);
    avformat_close_input(&input);
}

TEST_F(FFmpegClipBurnInTest, TenBitClipBecomesTenBitHEVCWithTheOverlayComposited) {
    const fs::path clip = folder / "deep.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -t 1 -pix_fmt yuv420p10le -c:v libx265 -x265-params "
           "log-level=error:lossless=1" +
           std::string(bt709Tags) + quoted(clip));
    const fs::path burnt = burn(clip, {30, 1}, 0);
    AVFormatContext* input = nullptr;
    ASSERT_GE(avformat_open_input(&input, burnt.c_str(), nullptr, nullptr), 0);
    avformat_find_stream_info(input, nullptr);
    EXPECT_EQ(input->streams[0]->codecpar->codec_id, AV_CODEC_ID_HEVC);
    EXPECT_EQ(input->streams[0]->codecpar->format, AV_PIX_FMT_YUV420P10LE);
    EXPECT_EQ(input->streams[0]->codecpar->profile, FF_PROFILE_HEVC_MAIN_10);
    avformat_close_input(&input);
    const auto overlay = exportOverlay(320, 240, 25, 30, 1);
    const Likeness likeness = compare(clip, burnt, overlay, 2, 10);
    EXPECT_GE(likeness.toComposite, 40);
    EXPECT_LT(likeness.toClip, 35);
}

// A 10× timelapse that starts two seconds before the ride: every picture
// shows the ride at start + 10 × its time, as the clip's overlay movie does.
TEST_F(FFmpegClipBurnInTest, TimelapseClipShowsTheRideAtItsRate) {
    const fs::path clip = folder / "lapse.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -t 1 -c:v libx264 -preset ultrafast -crf 10" +
           std::string(bt709Tags) + quoted(clip));
    const fs::path burnt = burn(clip, {-2, 10}, 0);
    const fs::path overlay = folder / "overlay.mov";
    TelemetryExportSettings settings;
    settings.width = 320;
    settings.height = 240;
    settings.frameRate = 25;
    settings.codec = TelemetryVideoCodec::proRes4444;
    TelemetryClipTiming timing;
    timing.frameCount = 25;
    timing.rideSecondsPerMovieSecond = 10;
    TelemetryVideoExporter(platformMovieWriters(), surfaces)
        .exportMovie(ride, TelemetryRenderConfig::forClip(overlay, settings, -2, timing, layout), [](double) {});
    const Likeness likeness = compare(clip, burnt, overlay, 1, 8);
    EXPECT_GE(likeness.toComposite, 40);
    // The same clip burnt at the real-time rate shows other values.
    const fs::path realTime = folder / "real-time.mp4";
    FFmpegClipBurnIn::burnIn({clip, realTime, {-2, 1}, {0}}, overlays(), {});
    EXPECT_LT(compare(clip, realTime, overlay, 1, 8).toComposite, likeness.toComposite - 3);
}

TEST_F(FFmpegClipBurnInTest, HLGClipStaysTaggedAsHLG) {
    const fs::path clip = folder / "hlg.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 0.4 -pix_fmt yuv420p10le -c:v libx265 -x265-params "
           "log-level=error -colorspace bt2020nc -color_primaries bt2020 -color_trc arib-std-b67 " +
           quoted(clip));
    const fs::path burnt = burn(clip);
    AVFormatContext* input = nullptr;
    ASSERT_GE(avformat_open_input(&input, burnt.c_str(), nullptr, nullptr), 0);
    avformat_find_stream_info(input, nullptr);
    const AVCodecParameters& p = *input->streams[0]->codecpar;
    EXPECT_EQ(p.color_trc, AVCOL_TRC_ARIB_STD_B67);
    EXPECT_EQ(p.color_primaries, AVCOL_PRI_BT2020);
    EXPECT_EQ(p.color_space, AVCOL_SPC_BT2020_NCL);
    EXPECT_EQ(p.format, AV_PIX_FMT_YUV420P10LE);
    avformat_close_input(&input);
}

TEST_F(FFmpegClipBurnInTest, PortraitClipKeepsItsRotationWithTheOverlayUpright) {
    const fs::path landscape = folder / "landscape.mp4";
    const fs::path clip = folder / "phone.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -t 1 -c:v libx264 -preset ultrafast -crf 10" +
           std::string(bt709Tags) + quoted(landscape));
    ffmpeg("-i " + quoted(landscape) + " -c copy -metadata:s:v:0 rotate=90 " + quoted(clip));
    ASSERT_NE(displayRotation(clip), 0);
    const fs::path burnt = burn(clip, {30, 1}, 0);
    EXPECT_EQ(displayRotation(burnt), displayRotation(clip));
    const ClipFacts facts = readClip(burnt).facts;
    EXPECT_EQ(facts.displayWidth, 240);
    EXPECT_EQ(facts.displayHeight, 320);
    const auto overlay = exportOverlay(240, 320, 25, 30, 1);
    const Likeness likeness = compare(clip, burnt, overlay, 1, 8);
    EXPECT_GE(likeness.toComposite, 40);
}

TEST_F(FFmpegClipBurnInTest, FramesAndTheirTimestampsAreTheClips) {
    // A variable frame rate: every third picture of 30 fps dropped.
    const fs::path clip = folder / "variable.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=30 -t 2 -vf \"select='not(eq(mod(n\\,3)\\,1))'\" -vsync vfr "
           "-c:v libx264 -preset ultrafast " +
           quoted(clip));
    const auto before = pictureTimes(clip);
    ASSERT_GT(before.size(), 30u);
    ASSERT_NE(before[1] - before[0], before[2] - before[1]);
    const fs::path burnt = burn(clip);
    EXPECT_EQ(pictureTimes(burnt), before);
}

TEST_F(FFmpegClipBurnInTest, AudioTracksAreCopiedPacketForPacket) {
    const fs::path clip = folder / "two-voices.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -f lavfi -i sine=frequency=440:sample_rate=48000 -f lavfi -i "
           "sine=frequency=880:sample_rate=44100 -t 1 -map 0:v -map 1:a -map 2:a -c:v libx264 -preset ultrafast "
           "-c:a aac -b:a 96k " +
           quoted(clip));
    const auto before = tracks(clip, AVMEDIA_TYPE_AUDIO);
    ASSERT_EQ(before.size(), 2u);
    ASSERT_FALSE(before[0].empty());
    const fs::path burnt = burn(clip);
    EXPECT_EQ(tracks(burnt, AVMEDIA_TYPE_AUDIO), before);
}

TEST_F(FFmpegClipBurnInTest, CameraMetadataTrackIsCopiedSoTheClipSyncsAgain) {
    const fs::path clip = folder / "GX010001.MP4";
    const TelemetryTimestamp start = *parseISO8601InternetDateTime("2024-05-01T10:00:00Z");
    std::vector<testing::TimedPayload> payloads;
    for (int p = 0; p < 3; ++p) {
        std::vector<testing::gpmf::TestFix> fixes;
        for (int k = 0; k < 10; ++k) {
            const double seconds = 1.001 * p + 0.1001 * k;
            fixes.push_back({45 + seconds * 1e-5, 7, start + std::chrono::microseconds(std::llround(seconds * 1e6))});
        }
        payloads.push_back({testing::gpmf::gps9Payload(fixes), 1.001 * p, 1.001});
    }
    testing::writeCameraClip(clip, 3, payloads);
    const auto camera = tracks(clip, AVMEDIA_TYPE_DATA, MKTAG('g', 'p', 'm', 'd'));
    ASSERT_EQ(camera.size(), 1u);
    const fs::path burnt = burn(clip);
    EXPECT_EQ(burnt.filename(), "GX010001-pacemark.mp4");
    EXPECT_EQ(tracks(burnt, AVMEDIA_TYPE_DATA, MKTAG('g', 'p', 'm', 'd')), camera);
    const auto again = readClip(burnt).synchronization;
    EXPECT_EQ(again.cameraProblem, std::nullopt);
    EXPECT_EQ(again.cameraGPS.bestSamples().size(), readClip(clip).synchronization.cameraGPS.bestSamples().size());
}

TEST_F(FFmpegClipBurnInTest, CreationDateAndLocationAreKept) {
    const fs::path clip = folder / "dated.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 1 -c:v libx264 -preset ultrafast "
           "-metadata creation_time=2024-05-01T10:00:00Z -metadata location=+48.8577+002.2950/ " +
           quoted(clip));
    const fs::path burnt = burn(clip);
    const auto before = readClip(clip).synchronization.metadata;
    ASSERT_TRUE(before.creationDate && before.location);
    EXPECT_EQ(readClip(burnt).synchronization.metadata, before);
}

TEST_F(FFmpegClipBurnInTest, PhoneMetadataKeysAreKept) {
    const fs::path clip = folder / "phone.mov";
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 1 -c:v libx264 -preset ultrafast -movflags "
           "use_metadata_tags -metadata com.apple.quicktime.creationdate=2024-05-01T12:00:00+0200 "
           "-metadata com.apple.quicktime.location.ISO6709=+48.8577+002.2950/ " +
           quoted(clip));
    const fs::path burnt = burn(clip);
    const auto before = readClip(clip).synchronization.metadata;
    ASSERT_TRUE(before.creationDate && before.location);
    EXPECT_EQ(readClip(burnt).synchronization.metadata, before);
}

TEST_F(FFmpegClipBurnInTest, OutputNeverReplacesTheClip) {
    const fs::path clip = folder / "ride.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 1 -c:v libx264 -preset ultrafast " + quoted(clip));
    const auto bytes = testing::readFileBytes(clip);
    EXPECT_THROW(FFmpegClipBurnIn::burnIn({clip, clip, {}, {}}, overlays(), {}), PacemarkError);
    EXPECT_EQ(testing::readFileBytes(clip), bytes);
    EXPECT_EQ(testing::filesIn(folder.path()).size(), 1u);
}

TEST_F(FFmpegClipBurnInTest, StopLeavesNothingBehind) {
    const fs::path clip = folder / "ride.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=160x120:rate=25 -t 4 -c:v libx264 -preset ultrafast " + quoted(clip));
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

TEST_F(FFmpegClipBurnInTest, ClipCutShortIsAnErrorAndLeavesNothingBehind) {
    const fs::path whole = folder / "whole.mp4";
    const fs::path clip = folder / "cut" / "cut.mp4";
    fs::create_directories(clip.parent_path());
    ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -t 4 -c:v libx264 -preset ultrafast -movflags +faststart " +
           quoted(whole));
    auto bytes = testing::readFileBytes(whole);
    bytes.resize(bytes.size() / 2);
    testing::writeFileBytes(clip, bytes);
    const auto error = testing::thrownBy<PacemarkError>([&] { burn(clip); });
    EXPECT_NE(std::string(error.what()).find("«cut.mp4»"), std::string::npos) << error.what();
    EXPECT_EQ(testing::filesIn(clip.parent_path()), std::vector<fs::path>{"cut.mp4"});
}

TEST_F(FFmpegClipBurnInTest, FullDiskIsAnErrorAndLeavesNothingBehind) {
    const fs::path clip = folder / "ride.mp4";
    ffmpeg("-f lavfi -i testsrc2=size=320x240:rate=25 -t 2 -c:v libx264 -preset ultrafast -crf 0 " + quoted(clip));
    const fs::path output = folder / "out" / "ride-pacemark.mp4";
    fs::create_directories(output.parent_path());
    const int status = testing::exitStatusWithFileSizeLimit(20000, [&] {
        try {
            FFmpegClipBurnIn::burnIn({clip, output, {}, {0}}, overlays(), {});
        } catch (const PacemarkError& error) {
            return std::string(error.what()).find("Не удалось записать готовое видео") != std::string::npos ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(testing::filesIn(output.parent_path()).empty());
}

// Real clips from phones and action cameras (in the shared test data when
// present): whatever their tracks, the finished video keeps the pictures'
// times, the sound, the camera track, the facts and the metadata.
TEST_F(FFmpegClipBurnInTest, RecordedCameraAndPhoneClipsKeepWhatTheyCarry) {
    const fs::path clips = testing::sharedTestDataFolder() / "cameras" / "clips";
    if (!fs::is_directory(clips)) GTEST_SKIP() << "no shared camera clips at " << clips << "; skipped";
    int burnt = 0;
    for (const auto& entry : fs::directory_iterator(clips)) {
        const fs::path clip = entry.path();
        SCOPED_TRACE(clip.filename().string());
        const fs::path output = folder / BurnInSettings::outputFileName(clip);
        FFmpegClipBurnIn::burnIn({clip, output, {30, 1}, {28}}, overlays(), {});
        EXPECT_EQ(pictureTimes(output), pictureTimes(clip));
        EXPECT_EQ(tracks(output, AVMEDIA_TYPE_AUDIO), tracks(clip, AVMEDIA_TYPE_AUDIO));
        EXPECT_EQ(tracks(output, AVMEDIA_TYPE_DATA, MKTAG('g', 'p', 'm', 'd')),
                  tracks(clip, AVMEDIA_TYPE_DATA, MKTAG('g', 'p', 'm', 'd')));
        const ClipReading before = readClip(clip);
        const ClipReading after = readClip(output);
        EXPECT_EQ(after.facts.displayWidth, before.facts.displayWidth);
        EXPECT_EQ(after.facts.displayHeight, before.facts.displayHeight);
        EXPECT_EQ(after.facts.frameCount, before.facts.frameCount);
        EXPECT_EQ(after.synchronization.metadata, before.synchronization.metadata);
        EXPECT_EQ(after.synchronization.cameraGPS.bestSamples().size(),
                  before.synchronization.cameraGPS.bestSamples().size());
        fs::remove(output);
        ++burnt;
    }
    EXPECT_GT(burnt, 0);
}

}  // namespace
}  // namespace pacemark
