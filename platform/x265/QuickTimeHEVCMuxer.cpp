// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuickTimeHEVCMuxer.h"

#include "FFmpegFile.h"
#include "HEVCAlphaEncodingError.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <cstring>
#include <system_error>

namespace pacemark {
namespace {

HEVCAlphaEncodingError muxError(const std::string& step, int code) {
    return HEVCAlphaEncodingError(HEVCAlphaEncodingError::Case::muxingFailed,
                                  ffmpeg::failureText("Не удалось " + step + " видеофайл HEVC с альфой.", code));
}

}  // namespace

QuickTimeHEVCMuxer::QuickTimeHEVCMuxer(const std::filesystem::path& path, int width, int height, FrameRate frameRate,
                                       const std::vector<std::uint8_t>& decoderConfigurationRecord)
    : frameDuration_{static_cast<int>(frameRate.denominator()), static_cast<int>(frameRate.numerator())} {
    AVFormatContext* raw = nullptr;
    int result = avformat_alloc_output_context2(&raw, nullptr, "mov", nullptr);
    if (result < 0 || !raw) throw muxError("создать", result < 0 ? result : AVERROR(ENOMEM));
    context_.reset(raw);
    packet_.reset(av_packet_alloc());
    stream_ = avformat_new_stream(raw, nullptr);
    if (!packet_ || !stream_) throw muxError("создать", AVERROR(ENOMEM));

    AVCodecParameters* par = stream_->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = AV_CODEC_ID_HEVC;
    par->codec_tag = MKTAG('h', 'v', 'c', '1');
    par->width = width;
    par->height = height;
    par->format = AV_PIX_FMT_YUVA420P;
    par->color_range = AVCOL_RANGE_MPEG;
    par->color_primaries = AVCOL_PRI_BT709;
    par->color_trc = AVCOL_TRC_BT709;
    par->color_space = AVCOL_SPC_BT709;
    par->extradata = static_cast<std::uint8_t*>(av_mallocz(decoderConfigurationRecord.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata) throw muxError("создать", AVERROR(ENOMEM));
    std::memcpy(par->extradata, decoderConfigurationRecord.data(), decoderConfigurationRecord.size());
    par->extradata_size = static_cast<int>(decoderConfigurationRecord.size());
    stream_->time_base = frameDuration_;
    stream_->avg_frame_rate = av_inv_q(frameDuration_);

    result = ffmpeg::openOutputFile(*raw, path);
    if (result < 0) throw muxError("открыть для записи", result);
    result = ffmpeg::checkedWrite(*raw, avformat_write_header(raw, nullptr));
    if (result < 0) {
        avio_closep(&raw->pb);
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        throw muxError("начать", result);
    }
}

QuickTimeHEVCMuxer::~QuickTimeHEVCMuxer() = default;

void QuickTimeHEVCMuxer::writeSample(const std::vector<std::uint8_t>& sample, std::int64_t presentationIndex,
                                     std::int64_t decodeIndex, bool keyFrame) {
    AVPacket* packet = packet_.get();
    av_packet_unref(packet);
    int result = av_new_packet(packet, static_cast<int>(sample.size()));
    if (result < 0) throw muxError("записать кадр в", result);
    std::memcpy(packet->data, sample.data(), sample.size());
    packet->stream_index = stream_->index;
    // The muxer may have changed the stream's time base; frames are D/N.
    packet->pts = presentationIndex;
    packet->dts = decodeIndex;
    packet->duration = 1;
    av_packet_rescale_ts(packet, frameDuration_, stream_->time_base);
    if (keyFrame) packet->flags |= AV_PKT_FLAG_KEY;
    result = ffmpeg::checkedWrite(*context_, av_write_frame(context_.get(), packet));
    if (result < 0) throw muxError("записать кадр в", result);
}

void QuickTimeHEVCMuxer::finish() {
    if (finished_) return;
    const int result = ffmpeg::finishOutputFile(*context_);
    if (result < 0) throw muxError("завершить", result);
    finished_ = true;
}

}  // namespace pacemark
