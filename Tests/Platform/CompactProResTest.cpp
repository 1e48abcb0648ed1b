#include "FFmpegProResMovieWriter.h"
#include "OverlayTestFrames.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <array>
#include <cstdio>
#include <regex>

namespace pacemark {
namespace {

using pacemark::testing::OverlayTestFrame;
using pacemark::testing::TemporaryFolder;

constexpr int width = 64, height = 48, framesPerSecond = 10, frameCount = 45;

// Frames 0-9 show one picture, 10-19 the next, ...: the exporter's repeats
// of a 1 Hz recording at 10 fps. The last frame is a new picture.
void writeMovie(const std::filesystem::path& path, bool compact) {
    MovieWriterSettings settings;
    settings.url = path;
    settings.width = width;
    settings.height = height;
    settings.framesPerSecond = framesPerSecond;
    ProResWriterOptions options;
    options.compact = compact;
    FFmpegProResMovieWriter writer(settings, options);
    writer.startWriting();
    OverlayTestFrame frame(width, height);
    for (int i = 0; i < frameCount; ++i) {
        if (i % framesPerSecond != 0 && i != frameCount - 1) {
            writer.appendRepeat(i);
            continue;
        }
        frame.draw(i);
        const PixelBufferView buffer = writer.makePixelBuffer();
        std::copy(frame.pixels().begin(), frame.pixels().end(), buffer.data);
        writer.append(buffer, i);
    }
    writer.finish();
}

struct DecodedFrame {
    std::int64_t timestampMicroseconds = 0;
    std::vector<std::uint8_t> planes;
    bool operator==(const DecodedFrame&) const = default;
};

// Decodes with the system's FFmpeg, from the start or from a seek to
// `seekSeconds` (then only the first frame).
std::vector<DecodedFrame> decodeWithSystemFFmpeg(const std::filesystem::path& path, double seekSeconds = -1) {
    std::vector<DecodedFrame> frames;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0) return frames;
    avformat_find_stream_info(format, nullptr);
    const AVStream* stream = format->streams[0];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, stream->codecpar);
    avcodec_open2(context, codec, nullptr);
    if (seekSeconds >= 0) {
        const auto target = static_cast<std::int64_t>(seekSeconds / av_q2d(stream->time_base) + 0.5);
        EXPECT_GE(av_seek_frame(format, 0, target, AVSEEK_FLAG_BACKWARD), 0);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            DecodedFrame decoded;
            decoded.timestampMicroseconds =
                static_cast<std::int64_t>(double(frame->best_effort_timestamp) * av_q2d(stream->time_base) * 1e6 + 0.5);
            for (int plane = 0; plane < 4 && frame->data[plane]; ++plane) {
                for (int row = 0; row < frame->height; ++row) {
                    const std::uint8_t* line = frame->data[plane] + std::ptrdiff_t{row} * frame->linesize[plane];
                    decoded.planes.insert(decoded.planes.end(), line, line + frame->width * 2);
                }
            }
            frames.push_back(std::move(decoded));
            av_frame_unref(frame);
        }
    };
    while ((seekSeconds < 0 || frames.empty()) && av_read_frame(format, packet) >= 0) {
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        drain();
    }
    if (seekSeconds < 0) {
        avcodec_send_packet(context, nullptr);
        drain();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return frames;
}

using testing::CommandResult;
using testing::quoted;
using testing::runCommand;

// What one reader returns for a movie: the decoded bytes and the list of
// presentation times it printed.
struct ReaderOutput {
    std::vector<std::uint8_t> decoded;
    std::vector<std::string> timestamps;
};

std::vector<std::string> allMatches(const std::string& text, const std::regex& pattern) {
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern); it != std::sregex_iterator(); ++it) {
        found.push_back((*it)[1].str());
    }
    return found;
}

ReaderOutput readWithGStreamer(const std::filesystem::path& movie, const std::filesystem::path& raw) {
    ReaderOutput output;
    const auto result = runCommand("gst-launch-1.0 -v filesrc location=" + quoted(movie) +
                                   " ! qtdemux ! identity silent=false ! avdec_prores ! filesink location=" + quoted(raw));
    EXPECT_EQ(result.status, 0) << result.output;
    output.decoded = pacemark::testing::readFileBytes(raw);
    output.timestamps = allMatches(result.output, std::regex(R"(chain[^\n]*pts: ([0-9:.]+))"));
    return output;
}

ReaderOutput readWithFFmpeg8(const std::filesystem::path& movie, const std::filesystem::path& raw) {
    ReaderOutput output;
    const auto result = runCommand(std::string(PACEMARK_NODE) + " " + quoted(PACEMARK_HEVC_ALPHA_DECODE_SCRIPT) + " " +
                                   quoted(PACEMARK_HEVC_ALPHA_DECODER_FOLDER) + " " + quoted(movie) + " " + quoted(raw));
    EXPECT_EQ(result.status, 0) << result.output;
    output.decoded = pacemark::testing::readFileBytes(raw);
    output.timestamps = allMatches(result.output, std::regex(R"("pts":\[([^\]]*)\])"));
    return output;
}

TEST(CompactProResTest, EveryReaderReturnsTheFramesOfTheNormalMovieFromAFractionOfItsBytes) {
    TemporaryFolder folder;
    const auto normal = folder / "normal.mov";
    const auto compact = folder / "compact.mov";
    writeMovie(normal, false);
    writeMovie(compact, true);
    // Six pictures stored instead of 45 frames, plus the index.
    EXPECT_LT(std::filesystem::file_size(compact) * 4, std::filesystem::file_size(normal));

    const auto expected = decodeWithSystemFFmpeg(normal);
    ASSERT_EQ(expected.size(), std::size_t{frameCount});
    EXPECT_EQ(expected[1].timestampMicroseconds, 100000);
    EXPECT_TRUE(decodeWithSystemFFmpeg(compact) == expected) << "FFmpeg 5.1: other frames or times";
    for (const int middle : {23, 30}) {
        const auto sought = decodeWithSystemFFmpeg(compact, middle / double(framesPerSecond));
        ASSERT_FALSE(sought.empty());
        EXPECT_TRUE(sought.front() == expected[std::size_t(middle)]) << "seek to frame " << middle;
    }

    std::string skipped;
    if (!std::filesystem::exists("/usr/bin/gst-launch-1.0")) {
        skipped = "gst-launch-1.0 not found (Debian packages gstreamer1.0-tools, -plugins-good, -libav): GStreamer not run. ";
    } else {
        const auto a = readWithGStreamer(normal, folder / "normal.gst");
        const auto b = readWithGStreamer(compact, folder / "compact.gst");
        EXPECT_EQ(a.timestamps.size(), std::size_t{frameCount});
        EXPECT_EQ(a.timestamps, b.timestamps) << "GStreamer";
        EXPECT_FALSE(a.decoded.empty());
        EXPECT_TRUE(a.decoded == b.decoded) << "GStreamer decodes other pictures";
        // Playback started in the middle of a frame's time shows that frame
        // and the rest, as the normal movie decodes them.
        const std::size_t frameBytes = a.decoded.size() / std::size_t{frameCount};
        for (const int middle : {23, 30}) {
            const auto raw = folder / ("seek-" + std::to_string(middle) + ".gst");
            const auto played = runCommand(
                "gst-play-1.0 --no-interactive --no-position --start-position " +
                std::to_string((middle + 0.5) / framesPerSecond) + " --videosink " +
                testing::quoted(std::filesystem::path("filesink sync=false location=" + raw.string())) + " " + quoted(compact));
            EXPECT_EQ(played.status, 0) << played.output;
            const auto sought = pacemark::testing::readFileBytes(raw);
            EXPECT_TRUE(std::equal(sought.begin(), sought.end(), a.decoded.begin() + std::ptrdiff_t(middle * frameBytes),
                                   a.decoded.end()))
                << "GStreamer: seek to frame " << middle << " gave " << sought.size() / std::max<std::size_t>(frameBytes, 1)
                << " frames";
        }
        const auto discovered = runCommand("gst-discoverer-1.0 " + quoted(compact));
        EXPECT_NE(discovered.output.find("Duration: 0:00:04.5"), std::string::npos) << discovered.output;
    }

    if (std::string(PACEMARK_NODE).empty() ||
        !std::filesystem::exists(std::filesystem::path(PACEMARK_HEVC_ALPHA_DECODER_FOLDER) / "node_modules" / "node-av")) {
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

}  // namespace
}  // namespace pacemark
