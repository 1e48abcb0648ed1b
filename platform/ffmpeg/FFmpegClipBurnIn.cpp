// SPDX-License-Identifier: GPL-3.0-or-later
#include "FFmpegClipBurnIn.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "Export/ExportDestination.h"
#include "Export/ExportTemporaryFile.h"
#include "Export/TelemetryExportSettings.h"
#include "Export/TelemetryVideoExportError.h"
#include "Export/TelemetryVideoExporter.h"
#include "FFmpegFile.h"
#include "FFmpegHandles.h"
#include "OverlayCompositor.h"
#include "PacemarkError.h"

namespace pacemark {

namespace fs = std::filesystem;
using namespace pacemark::ffmpeg;

namespace {

// Presets by measurement (the ffmpeg command re-encoding a generated clip at
// CRF 18 on a 2-core machine). x264, 10 s of 1080p30: veryfast 21 s, faster
// 29 s, fast 43 s, medium 45 s, for PSNR 47.6, 49.2, 49.8, 49.9 dB and sizes
// within 12 % of each other: "faster" gains most of the quality for its time.
constexpr BurnInEncoder h264Encoder{"libx264", "faster"};
// x265 Main 10, 3 s of 1080p30: veryfast 33 s, faster 38 s, fast 111 s, for
// the same size and 49.9 dB each: "faster", as the slower presets buy nothing
// at this quality and 10-bit HEVC is the slow case already.
constexpr BurnInEncoder hevcEncoder{"libx265", "faster"};

std::string clipName(const fs::path& clip) { return "«" + clip.filename().string() + "»"; }

PacemarkError clipFailure(const fs::path& clip, const std::string& what, int code) {
    return PacemarkError(failureText("Не удалось " + what + " клип " + clipName(clip) + ".", code));
}

PacemarkError writeFailure(const std::string& what, int code) {
    return TelemetryVideoExportError::writerFailed(failureText("Не удалось " + what + " готовое видео.", code));
}

void throwIfStopped(std::stop_token stop) {
    if (stop.stop_requested()) throw TelemetryVideoExportCancelled();
}

struct StopCheck {
    std::stop_token token;
};

// The samples layout the compositor works on: planar Y'CbCr with one or two
// bytes a sample. Anything else is converted to the nearest of these first.
bool isCompositable(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (!d || (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_BE | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL |
                           AV_PIX_FMT_FLAG_FLOAT))) {
        return false;
    }
    if (!(d->flags & AV_PIX_FMT_FLAG_PLANAR) || d->nb_components != 3) return false;
    for (int i = 0; i < 3; ++i) {
        if (d->comp[i].plane != i || d->comp[i].shift != 0) return false;
        if (d->comp[i].step != (d->comp[0].depth > 8 ? 2 : 1)) return false;
    }
    return d->comp[0].depth >= 8 && d->comp[0].depth <= 16;
}

int bitDepth(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d ? d->comp[0].depth : 8;
}

bool isFullRangeFormat(AVPixelFormat format) {
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
           format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

// The matrix a picture was stored with: as the stream says, else what the
// picture size implies (standard definition is BT.601, anything larger BT.709).
YUVMatrix matrixOf(AVColorSpace space, std::int64_t width, std::int64_t height) {
    switch (space) {
        case AVCOL_SPC_BT709: return YUVMatrix::bt709;
        case AVCOL_SPC_BT470BG:
        case AVCOL_SPC_SMPTE170M:
        case AVCOL_SPC_FCC:
        case AVCOL_SPC_SMPTE240M: return YUVMatrix::bt601;
        case AVCOL_SPC_BT2020_NCL:
        case AVCOL_SPC_BT2020_CL: return YUVMatrix::bt2020;
        default: return (width <= 1024 && height <= 576) ? YUVMatrix::bt601 : YUVMatrix::bt709;
    }
}

// The format pictures are composited and encoded in: the decoded one when the
// compositor takes it and the encoder codes it, else planar 4:2:0 of the bit depth.
AVPixelFormat workingFormat(AVPixelFormat decoded, const AVCodec& encoder) {
    auto encodes = [&](AVPixelFormat format) {
        if (!encoder.pix_fmts) return true;
        for (const AVPixelFormat* f = encoder.pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
            if (*f == format) return true;
        }
        return false;
    };
    if (isCompositable(decoded) && encodes(decoded)) return decoded;
    return bitDepth(decoded) > 8 ? AV_PIX_FMT_YUV420P10LE : AV_PIX_FMT_YUV420P;
}

// Which input tracks go into the finished video.
bool copiesStream(const AVStream& stream) {
    const AVCodecParameters& p = *stream.codecpar;
    if (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) return false;
    if (p.codec_type == AVMEDIA_TYPE_AUDIO) return true;
    return p.codec_type == AVMEDIA_TYPE_DATA && p.codec_tag == MKTAG('g', 'p', 'm', 'd');
}

// Everything of one burn-in run. Members are destroyed in reverse order, so
// the output container is closed before the temporary file is removed.
class BurnInRun {
public:
    BurnInRun(const ClipBurnInJob& job, const BurnInOverlayMaker& overlays, const std::function<void(double)>& progress,
              std::stop_token stop, const fs::path& temporary)
        : job_(job), overlays_(overlays), progress_(progress), stop_(std::move(stop)), temporary_(temporary) {}

    void run() {
        openInput();
        openDecoder();
        PacketHandle packet(av_packet_alloc());
        if (!packet) throw std::bad_alloc();
        for (;;) {
            throwIfStopped(stop_);
            const int read = av_read_frame(input_.get(), packet.get());
            if (read == AVERROR_EOF) break;
            if (read < 0) {
                // A stop interrupts a blocked read, which then fails.
                throwIfStopped(stop_);
                throw clipFailure(job_.clip, "дочитать", read);
            }
            PacketReference reference(packet.get());
            if (packet->stream_index == videoIndex_) {
                ++videoPacketsRead_;
                decode(packet.get());
            } else if (outputIndex_[packet->stream_index] >= 0) {
                copyPacket(packet.get());
            }
        }
        decode(nullptr);
        checkWholeClipRead();
        if (!output_) throw clipFailure(job_.clip, "декодировать", AVERROR_INVALIDDATA);
        encode(nullptr);
        for (auto& waiting : waitingPackets_) writeCopied(waiting.get());
        waitingPackets_.clear();
        const int finished = finishOutputFile(*output_);
        if (finished < 0) throw writeFailure("записать", finished);
        if (progress_) progress_(1.0);
    }

private:
    void openInput() {
        Dictionary options;
        av_dict_set(options.get(), "protocol_whitelist", "file", 0);
        AVFormatContext* raw = avformat_alloc_context();
        if (!raw) throw std::bad_alloc();
        raw->interrupt_callback.callback = [](void* opaque) -> int {
            return static_cast<const StopCheck*>(opaque)->token.stop_requested() ? 1 : 0;
        };
        stopCheck_.token = stop_;
        raw->interrupt_callback.opaque = &stopCheck_;
        std::error_code error;
        const std::string name = fileURL(fs::absolute(job_.clip, error));
        const int opened = avformat_open_input(&raw, name.c_str(), nullptr, options.get());
        if (opened < 0) {
            throwIfStopped(stop_);
            throw clipFailure(job_.clip, "открыть", opened);
        }
        input_.reset(raw);
        const int found = avformat_find_stream_info(input_.get(), nullptr);
        if (found < 0) throw clipFailure(job_.clip, "прочитать", found);
        throwIfStopped(stop_);
    }

    void openDecoder() {
        const AVCodec* decoder = nullptr;
        videoIndex_ = av_find_best_stream(input_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
        if (videoIndex_ < 0 || !decoder) {
            throw PacemarkError("В клипе " + clipName(job_.clip) + " нет видео, которое можно декодировать.");
        }
        video_ = input_->streams[videoIndex_];
        decoder_.reset(avcodec_alloc_context3(decoder));
        if (!decoder_) throw std::bad_alloc();
        int code = avcodec_parameters_to_context(decoder_.get(), video_->codecpar);
        decoder_->thread_count = 0;
        decoder_->pkt_timebase = video_->time_base;
        if (code >= 0) code = avcodec_open2(decoder_.get(), decoder, nullptr);
        if (code < 0) throw clipFailure(job_.clip, "декодировать", code);
        outputIndex_.assign(input_->nb_streams, -1);
        int next = 1;
        for (unsigned i = 0; i < input_->nb_streams; ++i) {
            if (static_cast<int>(i) == videoIndex_) {
                outputIndex_[i] = 0;
            } else if (copiesStream(*input_->streams[i])) {
                outputIndex_[i] = next++;
            }
        }
        rotation_ = clockwiseRotationDegrees(*video_);
        duration_ = video_->duration != AV_NOPTS_VALUE && video_->duration > 0
                        ? static_cast<double>(video_->duration) * av_q2d(video_->time_base)
                        : (input_->duration > 0 ? static_cast<double>(input_->duration) / AV_TIME_BASE : 0.0);
    }

    void decode(const AVPacket* packet) {
        const int sent = avcodec_send_packet(decoder_.get(), packet);
        if (sent < 0 && sent != AVERROR_EOF) throw clipFailure(job_.clip, "декодировать", sent);
        for (;;) {
            FrameHandle frame(av_frame_alloc());
            if (!frame) throw std::bad_alloc();
            const int received = avcodec_receive_frame(decoder_.get(), frame.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
            if (received < 0) throw clipFailure(job_.clip, "декодировать", received);
            throwIfStopped(stop_);
            burnFrame(std::move(frame));
        }
    }

    // A file cut short (a full card, an interrupted copy) still has the whole
    // index, so the demuxer reads fewer pictures than the track lists.
    void checkWholeClipRead() const {
        if (video_->nb_frames > 0 && videoPacketsRead_ < video_->nb_frames) {
            throw PacemarkError("Клип " + clipName(job_.clip) + " обрывается: прочитано " +
                                std::to_string(videoPacketsRead_) + " кадров из " + std::to_string(video_->nb_frames) +
                                ". Файл повреждён или скопирован не до конца.");
        }
    }

    void burnFrame(FrameHandle frame) {
        if (!output_) openOutput(*frame);
        if (static_cast<AVPixelFormat>(frame->format) != workingFormat_) frame = converted(*frame);
        const int writable = av_frame_make_writable(frame.get());
        if (writable < 0) throw clipFailure(job_.clip, "декодировать", writable);

        std::int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) pts = frame->pts;
        if (pts == AV_NOPTS_VALUE) pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + 1;
        if (firstPts_ == AV_NOPTS_VALUE) {
            firstPts_ = video_->start_time != AV_NOPTS_VALUE ? std::min(video_->start_time, pts) : pts;
        }
        lastPts_ = pts;
        const double clipSeconds = static_cast<double>(pts - firstPts_) * av_q2d(video_->time_base);
        const double instant = job_.timing.elapsedSeconds(clipSeconds);

        // Overlay pictures repeat for as long as the ride's sample does: draw
        // and convert one only when its key changes.
        const std::size_t key = overlay_->frameKey(instant);
        if (!overlayKey_ || *overlayKey_ != key) {
            PixelBufferView view{overlayPixels_.data(), compositor_->overlayWidth(), compositor_->overlayHeight(),
                                 compositor_->overlayWidth() * 4};
            overlay_->render(instant, view);
            compositor_->setOverlay(view);
            overlayKey_ = key;
        }
        YUVPlanes planes;
        for (int i = 0; i < 3; ++i) {
            planes.data[i] = frame->data[i];
            planes.bytesPerRow[i] = frame->linesize[i];
        }
        compositor_->composite(planes);

        frame->pts = pts;
        frame->pict_type = AV_PICTURE_TYPE_NONE;
        encode(frame.get());
        reportProgress(clipSeconds);
    }

    FrameHandle converted(const AVFrame& frame) {
        scale_.reset(sws_getCachedContext(scale_.release(), frame.width, frame.height,
                                          static_cast<AVPixelFormat>(frame.format), frame.width, frame.height,
                                          workingFormat_, SWS_BICUBIC, nullptr, nullptr, nullptr));
        FrameHandle result(av_frame_alloc());
        if (!scale_ || !result) throw std::bad_alloc();
        result->format = workingFormat_;
        result->width = frame.width;
        result->height = frame.height;
        int code = av_frame_get_buffer(result.get(), 0);
        if (code >= 0) code = av_frame_copy_props(result.get(), &frame);
        if (code < 0) throw clipFailure(job_.clip, "декодировать", code);
        sws_scale(scale_.get(), frame.data, frame.linesize, 0, frame.height, result->data, result->linesize);
        return result;
    }

    void reportProgress(double clipSeconds) {
        if (!progress_ || duration_ <= 0) return;
        const double fraction = std::clamp(clipSeconds / duration_, 0.0, 0.999);
        if (fraction - reportedProgress_ >= 0.01) {
            reportedProgress_ = fraction;
            progress_(std::max(fraction, 1e-6));
        }
    }

    // Called with the first decoded picture, which tells the pixel format and
    // colour the stream header may leave out.
    void openOutput(const AVFrame& first) {
        const auto decoded = static_cast<AVPixelFormat>(first.format);
        const BurnInEncoder choice = FFmpegClipBurnIn::encoderFor(bitDepth(decoded));
        const AVCodec* encoder = avcodec_find_encoder_by_name(choice.codecName);
        if (!encoder) throw writeFailure("закодировать", AVERROR_ENCODER_NOT_FOUND);
        workingFormat_ = workingFormat(decoded, *encoder);

        const std::int64_t width = first.width;
        const std::int64_t height = first.height;
        YUVPictureFormat format;
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(workingFormat_);
        format.bitDepth = d->comp[0].depth;
        format.chromaShiftX = d->log2_chroma_w;
        format.chromaShiftY = d->log2_chroma_h;
        const AVColorSpace space = first.colorspace != AVCOL_SPC_UNSPECIFIED ? first.colorspace
                                                                              : video_->codecpar->color_space;
        format.matrix = matrixOf(space, width, height);
        const AVColorRange range = first.color_range != AVCOL_RANGE_UNSPECIFIED ? first.color_range
                                                                                 : video_->codecpar->color_range;
        format.fullRange = range == AVCOL_RANGE_JPEG || isFullRangeFormat(decoded);
        const AVColorTransferCharacteristic transfer =
            first.color_trc != AVCOL_TRC_UNSPECIFIED ? first.color_trc : video_->codecpar->color_trc;
        format.transfer = transfer == AVCOL_TRC_SMPTE2084      ? YUVTransfer::pq
                          : transfer == AVCOL_TRC_ARIB_STD_B67 ? YUVTransfer::hlg
                                                               : YUVTransfer::sdr;
        compositor_.emplace(format, width, height, rotation_);
        overlay_ = overlays_(compositor_->overlayWidth(), compositor_->overlayHeight());
        if (!overlay_) throw TelemetryVideoExportError::cannotCreateWriter();
        overlayPixels_.assign(static_cast<std::size_t>(compositor_->overlayWidth() * compositor_->overlayHeight() * 4), 0);

        AVFormatContext* rawOutput = nullptr;
        int code = avformat_alloc_output_context2(&rawOutput, nullptr, "mp4", nullptr);
        if (code < 0 || !rawOutput) throw writeFailure("создать", code < 0 ? code : AVERROR(ENOMEM));
        output_.reset(rawOutput);

        encoder_.reset(avcodec_alloc_context3(encoder));
        if (!encoder_) throw std::bad_alloc();
        AVCodecContext& e = *encoder_;
        e.width = first.width;
        e.height = first.height;
        e.pix_fmt = workingFormat_;
        e.time_base = video_->time_base;
        e.framerate = av_guess_frame_rate(input_.get(), video_, nullptr);
        e.sample_aspect_ratio = first.sample_aspect_ratio;
        e.color_range = format.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
        e.colorspace = space;
        e.color_primaries =
            first.color_primaries != AVCOL_PRI_UNSPECIFIED ? first.color_primaries : video_->codecpar->color_primaries;
        e.color_trc = first.color_trc != AVCOL_TRC_UNSPECIFIED ? first.color_trc : video_->codecpar->color_trc;
        e.chroma_sample_location = first.chroma_location;
        e.thread_count = 0;
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) e.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        Dictionary options;
        av_dict_set(options.get(), "preset", choice.preset, 0);
        av_dict_set_int(options.get(), "crf", job_.settings.quality, 0);
        if (std::string(choice.codecName) == "libx265") av_dict_set(options.get(), "x265-params", "log-level=error", 0);
        code = avcodec_open2(encoder_.get(), encoder, options.get());
        if (code < 0) throw writeFailure("закодировать", code);

        AVStream* videoOut = avformat_new_stream(output_.get(), nullptr);
        if (!videoOut) throw std::bad_alloc();
        code = avcodec_parameters_from_context(videoOut->codecpar, encoder_.get());
        if (code < 0) throw writeFailure("создать", code);
        videoOut->time_base = video_->time_base;
        videoOut->avg_frame_rate = video_->avg_frame_rate;
        videoOut->sample_aspect_ratio = e.sample_aspect_ratio;
        av_dict_copy(&videoOut->metadata, video_->metadata, 0);
        // The rotation, and nothing else of the source's side data (its
        // coding properties belong to the old stream).
        size_t matrixSize = 0;
        if (const std::uint8_t* matrix = av_stream_get_side_data(video_, AV_PKT_DATA_DISPLAYMATRIX, &matrixSize)) {
            std::uint8_t* copy = av_stream_new_side_data(videoOut, AV_PKT_DATA_DISPLAYMATRIX, matrixSize);
            if (!copy) throw std::bad_alloc();
            std::copy(matrix, matrix + matrixSize, copy);
        }
        for (unsigned i = 0; i < input_->nb_streams; ++i) {
            if (static_cast<int>(i) == videoIndex_ || outputIndex_[i] < 0) continue;
            const AVStream* in = input_->streams[i];
            AVStream* out = avformat_new_stream(output_.get(), nullptr);
            if (!out) throw std::bad_alloc();
            code = avcodec_parameters_copy(out->codecpar, in->codecpar);
            if (code < 0) throw writeFailure("создать", code);
            // The MP4 muxer picks audio tags itself; the camera track keeps its own.
            if (in->codecpar->codec_type != AVMEDIA_TYPE_DATA) out->codecpar->codec_tag = 0;
            out->time_base = in->time_base;
            out->disposition = in->disposition;
            av_dict_copy(&out->metadata, in->metadata, 0);
        }
        av_dict_copy(&output_->metadata, input_->metadata, 0);
        av_dict_set(&output_->metadata, "encoder", nullptr, 0);

        code = openOutputFile(*output_, temporary_);
        if (code < 0) throw writeFailure("создать", code);
        Dictionary muxerOptions;
        // The location and dates phones keep as QuickTime metadata keys stay
        // readable to the synchronization of this program and to editors.
        av_dict_set(muxerOptions.get(), "movflags", "+use_metadata_tags", 0);
        code = checkedWrite(*output_, avformat_write_header(output_.get(), muxerOptions.get()));
        if (code < 0) throw writeFailure("записать", code);
    }

    void encode(const AVFrame* frame) {
        const int sent = avcodec_send_frame(encoder_.get(), frame);
        if (sent < 0) throw writeFailure("закодировать", sent);
        PacketHandle packet(av_packet_alloc());
        if (!packet) throw std::bad_alloc();
        for (;;) {
            const int received = avcodec_receive_packet(encoder_.get(), packet.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
            if (received < 0) throw writeFailure("закодировать", received);
            PacketReference reference(packet.get());
            packet->stream_index = 0;
            av_packet_rescale_ts(packet.get(), encoder_->time_base, output_->streams[0]->time_base);
            write(packet.get());
        }
    }

    void copyPacket(AVPacket* packet) {
        if (!output_) {
            // The container opens with the first picture; what comes before
            // it waits (a camera puts a little audio ahead of the video).
            AVPacket* clone = av_packet_clone(packet);
            if (!clone) throw std::bad_alloc();
            waitingPackets_.emplace_back(clone);
            return;
        }
        for (auto& waiting : waitingPackets_) writeCopied(waiting.get());
        waitingPackets_.clear();
        writeCopied(packet);
    }

    void writeCopied(AVPacket* packet) {
        const AVStream* in = input_->streams[packet->stream_index];
        packet->stream_index = outputIndex_[packet->stream_index];
        av_packet_rescale_ts(packet, in->time_base, output_->streams[packet->stream_index]->time_base);
        packet->pos = -1;
        write(packet);
    }

    void write(AVPacket* packet) {
        const int code = checkedWrite(*output_, av_interleaved_write_frame(output_.get(), packet));
        if (code < 0) throw writeFailure("записать", code);
    }

    const ClipBurnInJob& job_;
    const BurnInOverlayMaker& overlays_;
    const std::function<void(double)>& progress_;
    std::stop_token stop_;
    fs::path temporary_;
    StopCheck stopCheck_;

    InputFormatHandle input_;
    CodecContextHandle decoder_;
    AVStream* video_ = nullptr;
    int videoIndex_ = -1;
    std::vector<int> outputIndex_;
    int rotation_ = 0;
    double duration_ = 0;
    std::int64_t videoPacketsRead_ = 0;
    std::int64_t firstPts_ = AV_NOPTS_VALUE;
    std::int64_t lastPts_ = AV_NOPTS_VALUE;
    double reportedProgress_ = 0;

    std::optional<OverlayCompositor> compositor_;
    std::unique_ptr<const ExportFrameRenderer> overlay_;
    std::vector<std::uint8_t> overlayPixels_;
    std::optional<std::size_t> overlayKey_;
    AVPixelFormat workingFormat_ = AV_PIX_FMT_NONE;
    ScaleContextHandle scale_;

    OutputFormatHandle output_;
    CodecContextHandle encoder_;
    std::deque<PacketHandle> waitingPackets_;
};

}  // namespace

BurnInEncoder FFmpegClipBurnIn::encoderFor(int bitDepth) { return bitDepth > 8 ? hevcEncoder : h264Encoder; }

void FFmpegClipBurnIn::burnIn(const ClipBurnInJob& job, const BurnInOverlayMaker& overlays,
                              const std::function<void(double)>& progress, std::stop_token stopToken) {
    const fs::path& output = job.outputFile;
    if (output.filename().empty()) throw PacemarkError("Не указан файл для видео.");
    if (const auto refusal = job.settings.qualityError()) throw PacemarkError(*refusal);
    // The finished video never replaces the clip it is made of.
    const std::vector<fs::path> inputs{job.clip};
    if (const auto refusal = ExportDestination::error(output, inputs)) throw PacemarkError(*refusal);
    if (const auto refusal = TelemetryExportSettings::outputPlaceError(output)) throw PacemarkError(*refusal);

    std::error_code error;
    const fs::path folder = output.parent_path();
    if (!folder.empty()) {
        fs::create_directories(folder, error);
        if (error) throw exportFileError("создать папку", folder, error);
    }
    ExportTemporaryFile::removeStale(folder);
    ExportTemporaryFile temporaryFile(output);
    {
        BurnInRun run(job, overlays, progress, stopToken, temporaryFile.path());
        run.run();
    }
    temporaryFile.moveInto(output, error);
    if (error) throw exportFileError("сохранить видео", output, error);
}

}  // namespace pacemark
