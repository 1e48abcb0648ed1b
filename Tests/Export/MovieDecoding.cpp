// SPDX-License-Identifier: GPL-3.0-or-later
#include "MovieDecoding.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "FFmpegHandles.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace pacemark::testing {

using namespace pacemark::ffmpeg;

namespace {

void check(int code, const char* what) {
    if (code < 0) throw std::runtime_error(std::string(what) + ": " + errorText(code));
}

// Planar 4:4:4 Y'CbCr with alpha at 10 or 12 bits (what the ProRes decoder gives).
std::vector<double> straightRGBA(const AVFrame& frame) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (!descriptor || descriptor->nb_components != 4 || descriptor->log2_chroma_w || descriptor->log2_chroma_h) {
        throw std::runtime_error("unexpected decoded format");
    }
    const int depth = descriptor->comp[0].depth;
    const double scale = double(1 << (depth - 8));  // code values relative to 8-bit ones
    const double alphaMax = double((1 << depth) - 1);
    std::vector<double> rgba(std::size_t(frame.width) * std::size_t(frame.height) * 4);
    auto sample = [&](int plane, int x, int y) {
        return double(reinterpret_cast<const std::uint16_t*>(frame.data[plane] + y * frame.linesize[plane])[x]);
    };
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const double luma = (sample(0, x, y) / scale - 16.0) / 219.0;
            const double cb = (sample(1, x, y) / scale - 128.0) / 224.0;
            const double cr = (sample(2, x, y) / scale - 128.0) / 224.0;
            const double r = luma + 1.5748 * cr;
            const double b = luma + 1.8556 * cb;
            const double g = (luma - 0.2126 * r - 0.0722 * b) / 0.7152;
            double* out = &rgba[(std::size_t(y) * std::size_t(frame.width) + std::size_t(x)) * 4];
            out[0] = std::clamp(r, 0.0, 1.0);
            out[1] = std::clamp(g, 0.0, 1.0);
            out[2] = std::clamp(b, 0.0, 1.0);
            out[3] = sample(3, x, y) / alphaMax;
        }
    }
    return rgba;
}

}  // namespace

DecodedMovie decodeMovie(const std::filesystem::path& path, double fromSeconds) {
    AVFormatContext* raw = nullptr;
    check(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), "open");
    InputFormatHandle input(raw);
    check(avformat_find_stream_info(raw, nullptr), "stream info");
    if (raw->nb_streams != 1) throw std::runtime_error("expected one stream");
    const AVStream* stream = raw->streams[0];
    const AVCodecParameters* parameters = stream->codecpar;

    DecodedMovie movie;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) throw std::runtime_error("no decoder");
    movie.width = parameters->width;
    movie.height = parameters->height;
    movie.durationSeconds = double(stream->duration) * av_q2d(stream->time_base);

    CodecContextHandle decoder(avcodec_alloc_context3(codec));
    check(avcodec_parameters_to_context(decoder.get(), parameters), "parameters");
    check(avcodec_open2(decoder.get(), codec, nullptr), "open decoder");
    PacketHandle packet(av_packet_alloc());
    FrameHandle frame(av_frame_alloc());
    if (fromSeconds > 0) {
        const auto target = std::int64_t(std::llround(fromSeconds / av_q2d(stream->time_base)));
        check(av_seek_frame(raw, 0, target, AVSEEK_FLAG_BACKWARD), "seek");
    }

    while (av_read_frame(raw, packet.get()) >= 0) {
        PacketReference release(packet.get());
        DecodedMovie::Frame decoded;
        decoded.presentationSeconds = double(packet->pts) * av_q2d(stream->time_base);
        decoded.packet.assign(packet->data, packet->data + packet->size);
        movie.frames.push_back(std::move(decoded));
        check(avcodec_send_packet(decoder.get(), packet.get()), "decode");
        while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) {
            movie.frames.back().rgba = straightRGBA(*frame);
            av_frame_unref(frame.get());
        }
    }
    return movie;
}

CompositeDifference compositeDifference(PixelBufferView premultiplied, const DecodedMovie::Frame& decoded) {
    constexpr double grey = 0.5;
    double maximum = 0;
    double squares = 0;
    for (std::int64_t y = 0; y < premultiplied.height; ++y) {
        for (std::int64_t x = 0; x < premultiplied.width; ++x) {
            const std::uint8_t* bgra = premultiplied.row(y) + x * 4;
            const double* rgba = &decoded.rgba[std::size_t(y * premultiplied.width + x) * 4];
            const double alpha = bgra[3] / 255.0;
            const double source[3] = {bgra[2] / 255.0, bgra[1] / 255.0, bgra[0] / 255.0};
            for (int c = 0; c < 3; ++c) {
                const double expected = source[c] + grey * (1 - alpha);
                const double actual = rgba[c] * rgba[3] + grey * (1 - rgba[3]);
                const double difference = std::abs(expected - actual);
                maximum = std::max(maximum, difference);
                squares += difference * difference;
            }
        }
    }
    const double mean = squares / double(premultiplied.width * premultiplied.height * 3);
    return {maximum, mean > 0 ? 10 * std::log10(1.0 / mean) : 99.0};
}

bool showsRendered(const LayoutFrameRenderer& renderer, double elapsed, const DecodedMovie::Frame& decoded) {
    std::vector<std::uint8_t> pixels(std::size_t(renderer.width() * renderer.height() * 4));
    const PixelBufferView picture{pixels.data(), renderer.width(), renderer.height(), renderer.width() * 4};
    renderer.render(elapsed, picture);
    const CompositeDifference difference = compositeDifference(picture, decoded);
    return difference.maximum <= 3.0 / 255.0 && difference.psnr >= 60;
}

}  // namespace pacemark::testing
