// SPDX-License-Identifier: GPL-3.0-or-later
#include "CameraTestClips.h"

#include <cmath>

#include "VideoTestMovies.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace pacemark::testing {

void writeCameraClip(const std::filesystem::path& path, double videoSeconds, const std::vector<TimedPayload>& payloads,
                     const std::string& creationTime, const std::string& frameRate, const std::string& size) {
    const auto video = path.parent_path() / (path.stem().string() + "-video.mp4");
    makeTestMovie(video, "testsrc=size=" + size + ":rate=" + frameRate, videoSeconds);

    AVFormatContext* input = nullptr;
    ASSERT_GE(avformat_open_input(&input, video.c_str(), nullptr, nullptr), 0);
    ASSERT_GE(avformat_find_stream_info(input, nullptr), 0);
    AVFormatContext* output = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&output, nullptr, "mp4", path.c_str()), 0);
    AVStream* videoOut = avformat_new_stream(output, nullptr);
    ASSERT_GE(avcodec_parameters_copy(videoOut->codecpar, input->streams[0]->codecpar), 0);
    videoOut->codecpar->codec_tag = 0;
    videoOut->time_base = input->streams[0]->time_base;
    AVStream* data = avformat_new_stream(output, nullptr);
    data->codecpar->codec_type = AVMEDIA_TYPE_DATA;
    data->codecpar->codec_id = AV_CODEC_ID_BIN_DATA;
    data->codecpar->codec_tag = MKTAG('g', 'p', 'm', 'd');
    // Not the video's time base: payload times must be read in their own track's.
    data->time_base = AVRational{1, 1000};
    if (!creationTime.empty()) av_dict_set(&output->metadata, "creation_time", creationTime.c_str(), 0);
    ASSERT_GE(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(output, nullptr), 0);

    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(input, packet) >= 0) {
        av_packet_rescale_ts(packet, input->streams[packet->stream_index]->time_base, videoOut->time_base);
        packet->stream_index = 0;
        ASSERT_GE(av_interleaved_write_frame(output, packet), 0);
    }
    for (const auto& payload : payloads) {
        ASSERT_GE(av_new_packet(packet, static_cast<int>(payload.bytes.size())), 0);
        std::copy(payload.bytes.begin(), payload.bytes.end(), packet->data);
        packet->stream_index = 1;
        packet->pts = packet->dts = std::llround(payload.seconds * 1000);
        packet->duration = std::llround(payload.durationSeconds * 1000);
        packet->flags |= AV_PKT_FLAG_KEY;
        ASSERT_GE(av_interleaved_write_frame(output, packet), 0);
    }
    av_packet_free(&packet);
    ASSERT_GE(av_write_trailer(output), 0);
    avio_closep(&output->pb);
    avformat_free_context(output);
    avformat_close_input(&input);
    std::filesystem::remove(video);
}

}  // namespace pacemark::testing
