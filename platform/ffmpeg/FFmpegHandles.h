// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace pacemark::ffmpeg {

// Owning handles for the FFmpeg objects the writers and the reader use; each
// frees its object with the matching FFmpeg call, so no code path frees by hand.
struct CodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
// An output container: closes its file (if open) and frees the context.
struct OutputFormatDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
// An input container opened with avformat_open_input.
struct InputFormatDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};

struct ScaleContextDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FrameHandle = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketHandle = std::unique_ptr<AVPacket, PacketDeleter>;
using OutputFormatHandle = std::unique_ptr<AVFormatContext, OutputFormatDeleter>;
using InputFormatHandle = std::unique_ptr<AVFormatContext, InputFormatDeleter>;
using ScaleContextHandle = std::unique_ptr<SwsContext, ScaleContextDeleter>;

// An option dictionary, freed with whatever FFmpeg left in it.
class Dictionary {
public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&dictionary_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    AVDictionary** get() { return &dictionary_; }

private:
    AVDictionary* dictionary_ = nullptr;
};

// A packet reference that is unreferenced (not freed) when it goes out of scope.
class PacketReference {
public:
    explicit PacketReference(AVPacket* packet) : packet_(packet) {}
    ~PacketReference() { av_packet_unref(packet_); }
    PacketReference(const PacketReference&) = delete;
    PacketReference& operator=(const PacketReference&) = delete;

private:
    AVPacket* packet_;
};

// The English text FFmpeg gives for an error code, for diagnostics that no
// user reads (tests, benchmarks); user-facing texts use failureText().
inline std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

}  // namespace pacemark::ffmpeg
