// SPDX-License-Identifier: GPL-3.0-or-later
#include "FFmpegMovieReader.h"

#include "FFmpegFile.h"
#include "FFmpegHandles.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace pacemark {
namespace {

using FormatContextPointer = ffmpeg::InputFormatHandle;
using CodecContextPointer = ffmpeg::CodecContextHandle;
using FramePointer = ffmpeg::FrameHandle;
using PacketPointer = ffmpeg::PacketHandle;
using ScaleContextPointer = ffmpeg::ScaleContextHandle;

FramePointer makeFrame() {
    FramePointer frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    return frame;
}

std::string reasonForOpenError(int error) {
    if (error == AVERROR(ENOENT)) return "файл не найден";
    if (error == AVERROR(EISDIR)) return "это папка, а не файл";
    // A system failure (no access, a loop of links, no memory) is said as
    // such; FFmpeg's own codes (and EINVAL, which demuxers give for bad
    // bytes) mean it could not make sense of the file.
    if (error < 0 && error > -4096 && error != AVERROR(EINVAL)) return ffmpeg::failureReason(error);
    return "формат не распознан или файл повреждён";
}

std::string descriptionFor(MovieReaderError::Case errorCase, const std::filesystem::path& path,
                           const std::string& reason) {
    const std::string name = "«" + path.filename().string() + "»";
    switch (errorCase) {
    case MovieReaderError::Case::unreadable: return "Не удалось открыть видео " + name + ": " + reason + ".";
    case MovieReaderError::Case::noVideoStream: return "В файле " + name + " нет видеодорожки.";
    case MovieReaderError::Case::unsupportedCodec:
        return "Видео " + name + " сжато неподдерживаемым кодеком" + (reason.empty() ? "" : " (" + reason + ")") +
               ".";
    case MovieReaderError::Case::noFrame:
        return "Не удалось получить кадр из видео " + name + (reason.empty() ? "" : ": " + reason) + ".";
    }
    return "Не удалось открыть видео " + name + ".";
}

void appendItems(const AVDictionary* dictionary, const std::string& prefix, std::vector<MovieMetadataItem>& items) {
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        items.push_back({prefix + entry->key, entry->key, entry->value ? entry->value : ""});
    }
}

bool isYUV(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB) && descriptor->nb_components >= 3;
}

bool hasAlpha(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA);
}

bool isFullRangeFormat(AVPixelFormat format) {
    return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
           format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

// Copies `source` (width × height BGRA) turned clockwise by `degrees`.
MovieImage rotated(const MovieImage& source, int degrees) {
    if (degrees == 0) return source;
    const std::int64_t w = source.width;
    const std::int64_t h = source.height;
    MovieImage result;
    result.width = degrees == 180 ? w : h;
    result.height = degrees == 180 ? h : w;
    result.pixels.resize(static_cast<std::size_t>(result.width * result.height * 4));
    const auto* in = reinterpret_cast<const std::uint32_t*>(source.pixels.data());
    auto* out = reinterpret_cast<std::uint32_t*>(result.pixels.data());
    for (std::int64_t y = 0; y < result.height; ++y) {
        for (std::int64_t x = 0; x < result.width; ++x) {
            std::int64_t sx = 0, sy = 0;
            if (degrees == 90) {
                sx = y;
                sy = h - 1 - x;
            } else if (degrees == 180) {
                sx = w - 1 - x;
                sy = h - 1 - y;
            } else {
                sx = w - 1 - y;
                sy = x;
            }
            out[y * result.width + x] = in[sy * w + sx];
        }
    }
    return result;
}

// Opens a local file for demuxing. The "file:" prefix and the protocol
// whitelist keep a crafted name or a playlist inside the file from reaching
// anything but local files; reads blocked on a slow file end when the owner's
// stop token (in `state`) is stopped.
template <typename State>
AVFormatContext* openInput(const std::filesystem::path& path, const State* state) {
    ffmpeg::Dictionary options;
    av_dict_set(options.get(), "protocol_whitelist", "file", 0);
    AVFormatContext* rawFormat = avformat_alloc_context();
    if (!rawFormat) throw std::bad_alloc();
    rawFormat->interrupt_callback.callback = [](void* opaque) -> int {
        return static_cast<const State*>(opaque)->stopToken.stop_requested() ? 1 : 0;
    };
    rawFormat->interrupt_callback.opaque = const_cast<State*>(state);
    std::error_code error;
    const std::string name = ffmpeg::fileURL(std::filesystem::absolute(path, error));
    const int openResult = avformat_open_input(&rawFormat, name.c_str(), nullptr, options.get());
    if (openResult < 0) {
        throw MovieReaderError(MovieReaderError::Case::unreadable, path, reasonForOpenError(openResult));
    }
    return rawFormat;
}

// The camera metadata track's data larger than this is not a camera's (an
// hour of recording holds about 30 MB).
constexpr std::size_t maximumCameraMetadataBytes = 512u << 20;

}  // namespace

MovieReaderError::MovieReaderError(Case errorCase, const std::filesystem::path& path, const std::string& reason)
    : PacemarkError(descriptionFor(errorCase, path, reason)), case_(errorCase) {}

struct FFmpegMovieReader::State {
    std::filesystem::path path;
    std::stop_token stopToken;
    FormatContextPointer format;
    CodecContextPointer codec;
    AVStream* stream = nullptr;
    int streamIndex = -1;
    int rotation = 0;
    std::int64_t startTimestamp = 0;  // stream time base
    PacketPointer packet{av_packet_alloc()};
    FramePointer frame = makeFrame();
    bool hasFrame = false;
    bool inputEnded = false;
    bool decoderEnded = false;
    double lastFrameSeconds = 0;
    ScaleContextPointer scaler;
    bool skipsNonReference = false;  // chosen by the player
    // While a still frame is sought: frames that end before this time are not
    // wanted, so those nothing refers to need not be decoded.
    std::optional<double> unwantedBeforeSeconds;

    double secondsFromTimestamp(std::int64_t timestamp) const {
        return static_cast<double>(timestamp - startTimestamp) * av_q2d(stream->time_base);
    }

    // The stored width stretched by the pixel aspect ratio.
    std::int64_t pixelShapedWidth() const {
        const AVCodecParameters* p = stream->codecpar;
        const AVRational aspect = p->sample_aspect_ratio;
        if (aspect.num <= 0 || aspect.den <= 0) return p->width;
        return std::llround(p->width * av_q2d(aspect));
    }

    double nominalFrameDuration() const {
        const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        return rate.num > 0 && rate.den > 0 ? av_q2d(av_inv_q(rate)) : 1.0 / 30.0;
    }

    double frameDuration(const AVFrame* f) const {
        if (f->pkt_duration > 0) return static_cast<double>(f->pkt_duration) * av_q2d(stream->time_base);
        return nominalFrameDuration();
    }

    // The size the upright picture gets within the maximum, and the size
    // the decoded picture is scaled to before turning.
    void fittedSizes(const AVFrame* f, std::int64_t maxWidth, std::int64_t maxHeight, std::int64_t& scaledWidth,
                     std::int64_t& scaledHeight) const {
        double width = f->width;
        const double height = f->height;
        const AVRational aspect = f->sample_aspect_ratio.num > 0 ? f->sample_aspect_ratio
                                                                 : stream->codecpar->sample_aspect_ratio;
        if (aspect.num > 0 && aspect.den > 0) width *= av_q2d(aspect);
        const bool turned = rotation == 90 || rotation == 270;
        const double uprightWidth = turned ? height : width;
        const double uprightHeight = turned ? width : height;
        const double scale = std::min({1.0, static_cast<double>(std::max<std::int64_t>(maxWidth, 1)) / uprightWidth,
                                       static_cast<double>(std::max<std::int64_t>(maxHeight, 1)) / uprightHeight});
        const auto fittedWidth = std::max<std::int64_t>(1, std::llround(uprightWidth * scale));
        const auto fittedHeight = std::max<std::int64_t>(1, std::llround(uprightHeight * scale));
        scaledWidth = turned ? fittedHeight : fittedWidth;
        scaledHeight = turned ? fittedWidth : fittedHeight;
    }

    MovieImage convert(const AVFrame* f, std::int64_t maxWidth, std::int64_t maxHeight) {
        std::int64_t width = 0, height = 0;
        fittedSizes(f, maxWidth, maxHeight, width, height);
        const auto sourceFormat = static_cast<AVPixelFormat>(f->format);
        scaler.reset(sws_getCachedContext(scaler.release(), f->width, f->height, sourceFormat,
                                          static_cast<int>(width), static_cast<int>(height), AV_PIX_FMT_BGRA,
                                          SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!scaler) throw MovieReaderError(MovieReaderError::Case::noFrame, path, "неподдерживаемый формат пикселей");
        if (isYUV(sourceFormat)) {
            // Untagged HD material is BT.709 in practice; the scaler would assume BT.601.
            int colorSpace = f->colorspace;
            if (colorSpace == AVCOL_SPC_UNSPECIFIED) colorSpace = f->height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
            const int fullRange = f->color_range == AVCOL_RANGE_JPEG || isFullRangeFormat(sourceFormat) ? 1 : 0;
            sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(colorSpace), fullRange,
                                     sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        }
        MovieImage image;
        image.width = width;
        image.height = height;
        image.pixels.resize(static_cast<std::size_t>(width * height * 4));
        std::uint8_t* destination[4] = {image.pixels.data(), nullptr, nullptr, nullptr};
        const int destinationStride[4] = {static_cast<int>(width * 4), 0, 0, 0};
        if (sws_scale(scaler.get(), f->data, f->linesize, 0, f->height, destination, destinationStride) <= 0) {
            throw MovieReaderError(MovieReaderError::Case::noFrame, path, "ошибка преобразования кадра");
        }
        if (hasAlpha(sourceFormat)) {
            // A background is shown opaque: drop the movie's own transparency.
            for (std::size_t i = 3; i < image.pixels.size(); i += 4) image.pixels[i] = 255;
        }
        return rotated(image, rotation);
    }
};

FFmpegMovieReader::FFmpegMovieReader(const std::filesystem::path& path, std::stop_token stopToken)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.path = path;
    s.stopToken = std::move(stopToken);
    if (!s.packet) throw std::bad_alloc();

    if (std::error_code error; std::filesystem::is_directory(path, error)) {
        throw MovieReaderError(MovieReaderError::Case::unreadable, path, reasonForOpenError(AVERROR(EISDIR)));
    }
    AVFormatContext* rawFormat = openInput(path, &s);
    s.format.reset(rawFormat);
    if (avformat_find_stream_info(s.format.get(), nullptr) < 0) {
        throw MovieReaderError(MovieReaderError::Case::unreadable, path, reasonForOpenError(AVERROR_INVALIDDATA));
    }

    // The main video track; cover art stored as a one-picture track is not a video.
    int index = av_find_best_stream(s.format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index >= 0 && (s.format->streams[index]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        index = -1;
        for (unsigned i = 0; i < s.format->nb_streams; ++i) {
            const AVStream* candidate = s.format->streams[i];
            if (candidate->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                !(candidate->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                index = static_cast<int>(i);
                break;
            }
        }
    }
    if (index < 0) throw MovieReaderError(MovieReaderError::Case::noVideoStream, path);
    s.streamIndex = index;
    s.stream = s.format->streams[index];
    s.rotation = ffmpeg::clockwiseRotationDegrees(*s.stream);
    s.startTimestamp = s.stream->start_time != AV_NOPTS_VALUE ? s.stream->start_time : 0;
    // Only the chosen track's packets are read.
    for (unsigned i = 0; i < s.format->nb_streams; ++i) {
        s.format->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }

    const AVCodec* decoder = avcodec_find_decoder(s.stream->codecpar->codec_id);
    if (!decoder) {
        throw MovieReaderError(MovieReaderError::Case::unsupportedCodec, path,
                               avcodec_get_name(s.stream->codecpar->codec_id));
    }
    s.codec.reset(avcodec_alloc_context3(decoder));
    if (!s.codec) throw std::bad_alloc();
    if (avcodec_parameters_to_context(s.codec.get(), s.stream->codecpar) < 0) {
        throw MovieReaderError(MovieReaderError::Case::unsupportedCodec, path, decoder->name);
    }
    s.codec->pkt_timebase = s.stream->time_base;
    s.codec->thread_count = 0;  // one per core
    s.codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(s.codec.get(), decoder, nullptr) < 0) {
        throw MovieReaderError(MovieReaderError::Case::unsupportedCodec, path, decoder->name);
    }
}

FFmpegMovieReader::~FFmpegMovieReader() = default;
FFmpegMovieReader::FFmpegMovieReader(FFmpegMovieReader&&) noexcept = default;
FFmpegMovieReader& FFmpegMovieReader::operator=(FFmpegMovieReader&&) noexcept = default;

const std::filesystem::path& FFmpegMovieReader::path() const { return state_->path; }

double FFmpegMovieReader::durationSeconds() const {
    const State& s = *state_;
    if (s.format->duration != AV_NOPTS_VALUE && s.format->duration > 0) {
        return static_cast<double>(s.format->duration) / AV_TIME_BASE;
    }
    if (s.stream->duration != AV_NOPTS_VALUE && s.stream->duration > 0) {
        return static_cast<double>(s.stream->duration) * av_q2d(s.stream->time_base);
    }
    return std::numeric_limits<double>::quiet_NaN();
}

std::vector<MovieMetadataItem> FFmpegMovieReader::metadataItems() const {
    const State& s = *state_;
    std::vector<MovieMetadataItem> items;
    appendItems(s.format->metadata, "format/", items);
    for (unsigned i = 0; i < s.format->nb_streams; ++i) {
        appendItems(s.format->streams[i]->metadata, "stream/" + std::to_string(i) + "/", items);
    }
    return items;
}

ClipFacts FFmpegMovieReader::clipFacts() const {
    const State& s = *state_;
    ClipFacts facts;
    // The average rate is the movie's own; the guessed base rate only when
    // the average is missing.
    AVRational rate = s.stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = s.stream->r_frame_rate;
    if (rate.num > 0 && rate.den > 0) {
        av_reduce(&rate.num, &rate.den, rate.num, rate.den, std::numeric_limits<int>::max());
        facts.frameRate = {rate.num, rate.den};
    }
    if (s.stream->duration != AV_NOPTS_VALUE && s.stream->duration > 0) {
        facts.durationSeconds = static_cast<double>(s.stream->duration) * av_q2d(s.stream->time_base);
    } else {
        facts.durationSeconds = durationSeconds();
    }
    if (s.stream->nb_frames > 0) {
        facts.frameCount = s.stream->nb_frames;
    } else if (std::isfinite(facts.durationSeconds) && facts.frameRate.isKnown()) {
        facts.frameCount = std::llround(facts.durationSeconds * facts.frameRate.framesPerSecond());
    }
    facts.displayWidth = displayWidth();
    facts.displayHeight = displayHeight();
    return facts;
}

std::optional<CameraMetadataTrack> FFmpegMovieReader::cameraMetadataTrack() const {
    const State& s = *state_;
    int index = -1;
    for (unsigned i = 0; i < s.format->nb_streams; ++i) {
        if (s.format->streams[i]->codecpar->codec_tag == MKTAG('g', 'p', 'm', 'd')) {
            index = static_cast<int>(i);
            break;
        }
    }
    if (index < 0) return std::nullopt;
    FormatContextPointer format(openInput(s.path, &s));
    if (static_cast<unsigned>(index) >= format->nb_streams) {
        throw MovieReaderError(MovieReaderError::Case::unreadable, s.path, reasonForOpenError(AVERROR_INVALIDDATA));
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        format->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    const AVStream* stream = format->streams[index];
    const double timeBase = av_q2d(stream->time_base);
    // Times on the video track's clock, whose first frame is the clip's start.
    const double videoStart = static_cast<double>(s.startTimestamp) * av_q2d(s.stream->time_base);
    CameraMetadataTrack track;
    std::size_t total = 0;
    PacketPointer packet(av_packet_alloc());
    if (!packet) throw std::bad_alloc();
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && packet->size > 0) {
            total += static_cast<std::size_t>(packet->size);
            if (total > maximumCameraMetadataBytes) {
                throw MovieReaderError(MovieReaderError::Case::unreadable, s.path,
                                       "дорожка метаданных камеры слишком велика");
            }
            const std::int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            CameraMetadataTrack::Sample sample;
            sample.bytes.assign(packet->data, packet->data + packet->size);
            sample.movieSeconds = pts != AV_NOPTS_VALUE
                                      ? static_cast<double>(pts) * timeBase - videoStart
                                      : (track.samples.empty() ? 0.0
                                                               : track.samples.back().movieSeconds +
                                                                     track.samples.back().durationSeconds);
            sample.durationSeconds = packet->duration > 0 ? static_cast<double>(packet->duration) * timeBase : 0.0;
            track.samples.push_back(std::move(sample));
        }
        av_packet_unref(packet.get());
    }
    // A sample without a stated duration lasts until the next one.
    for (std::size_t i = 0; i + 1 < track.samples.size(); ++i) {
        auto& sample = track.samples[i];
        if (sample.durationSeconds <= 0) {
            sample.durationSeconds = std::max(0.0, track.samples[i + 1].movieSeconds - sample.movieSeconds);
        }
    }
    return track;
}

int FFmpegMovieReader::rotationDegrees() const { return state_->rotation; }

std::int64_t FFmpegMovieReader::displayWidth() const {
    const AVCodecParameters* p = state_->stream->codecpar;
    return state_->rotation % 180 != 0 ? p->height : state_->pixelShapedWidth();
}

std::int64_t FFmpegMovieReader::displayHeight() const {
    const AVCodecParameters* p = state_->stream->codecpar;
    return state_->rotation % 180 != 0 ? state_->pixelShapedWidth() : p->height;
}

void FFmpegMovieReader::seek(double seconds) {
    State& s = *state_;
    const double target = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    const auto timestamp =
        s.startTimestamp + static_cast<std::int64_t>(std::floor(target / av_q2d(s.stream->time_base)));
    if (av_seek_frame(s.format.get(), s.streamIndex, timestamp, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(s.format.get(), s.streamIndex, std::numeric_limits<std::int64_t>::min(), timestamp,
                           timestamp, 0) < 0) {
        throw MovieReaderError(MovieReaderError::Case::noFrame, s.path, "не удалось перейти к нужному времени");
    }
    avcodec_flush_buffers(s.codec.get());
    s.hasFrame = false;
    s.inputEnded = false;
    s.decoderEnded = false;
}

std::optional<double> FFmpegMovieReader::decodeNextFrame() {
    State& s = *state_;
    if (s.decoderEnded) return std::nullopt;
    for (;;) {
        const int received = avcodec_receive_frame(s.codec.get(), s.frame.get());
        if (received == 0) {
            s.hasFrame = true;
            const std::int64_t timestamp = s.frame->best_effort_timestamp;
            // A frame without a time follows the previous one.
            s.lastFrameSeconds = timestamp != AV_NOPTS_VALUE
                                     ? s.secondsFromTimestamp(timestamp)
                                     : s.lastFrameSeconds + s.nominalFrameDuration();
            return s.lastFrameSeconds;
        }
        if (received == AVERROR_EOF) {
            s.decoderEnded = true;
            return std::nullopt;
        }
        if (received != AVERROR(EAGAIN)) {
            throw MovieReaderError(MovieReaderError::Case::noFrame, s.path, "ошибка декодирования");
        }
        if (s.inputEnded) {
            // The decoder wants input after the final flush: nothing more will come.
            s.decoderEnded = true;
            return std::nullopt;
        }
        const int read = av_read_frame(s.format.get(), s.packet.get());
        if (read < 0) {
            // End of file, or a truncated or damaged tail: show what was decoded.
            s.inputEnded = true;
            avcodec_send_packet(s.codec.get(), nullptr);
            continue;
        }
        if (s.packet->stream_index == s.streamIndex) {
            if (s.unwantedBeforeSeconds) {
                const bool unwanted = s.packet->pts != AV_NOPTS_VALUE && s.packet->duration > 0 &&
                                      s.secondsFromTimestamp(s.packet->pts + s.packet->duration) <
                                          *s.unwantedBeforeSeconds;
                s.codec->skip_frame = unwanted || s.skipsNonReference ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
            }
            // A damaged packet is skipped; the decoder resumes at the next good one.
            avcodec_send_packet(s.codec.get(), s.packet.get());
        }
        av_packet_unref(s.packet.get());
    }
}

double FFmpegMovieReader::currentFrameDurationSeconds() const {
    const State& s = *state_;
    return s.hasFrame ? s.frameDuration(s.frame.get()) : s.nominalFrameDuration();
}

MovieImage FFmpegMovieReader::currentFrameImage(std::int64_t maximumWidth, std::int64_t maximumHeight) {
    State& s = *state_;
    if (!s.hasFrame) throw MovieReaderError(MovieReaderError::Case::noFrame, s.path);
    return s.convert(s.frame.get(), maximumWidth, maximumHeight);
}

void FFmpegMovieReader::setSkipsNonReferenceFrames(bool skips) {
    state_->skipsNonReference = skips;
    state_->codec->skip_frame = skips ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    // The loop filter is most of a 4K picture's decoding; without it the
    // picture is a little blockier, which a preview that is behind accepts.
    state_->codec->skip_loop_filter = skips ? AVDISCARD_ALL : AVDISCARD_DEFAULT;
}

MovieImage FFmpegMovieReader::stillFrame(double seconds, std::int64_t maximumWidth, std::int64_t maximumHeight) {
    State& s = *state_;
    const double target = std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0;
    // Tolerance for time-base rounding.
    constexpr double epsilon = 1e-6;
    FramePointer held = makeFrame();
    s.unwantedBeforeSeconds = target - epsilon;
    struct Restore {
        State& state;
        ~Restore() {
            state.unwantedBeforeSeconds.reset();
            state.codec->skip_frame = state.skipsNonReference ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        }
    } restore{s};
    // Seeking goes by decoding order, so with reordered frames (or leading
    // frames of an open group dropped after the seek) the first frame can come
    // after the target; then seek again from further back, down to the start.
    for (double backoff = 0;; backoff = std::max(1.0, backoff * 4)) {
        const double seekTime = std::max(target - backoff, 0.0);
        seek(seekTime);
        // Decode forward from the key frame; keep the last frame that starts
        // at or before the target.
        bool holding = false;
        bool startsLate = false;
        while (auto time = decodeNextFrame()) {
            if (!holding && *time > target + epsilon && seekTime > 0) {
                startsLate = true;
                break;
            }
            if (*time > target + epsilon && holding) break;
            av_frame_unref(held.get());
            if (av_frame_ref(held.get(), s.frame.get()) < 0) throw std::bad_alloc();
            holding = true;
            if (*time + s.frameDuration(s.frame.get()) > target + epsilon) break;
        }
        if (startsLate) continue;
        if (!holding) throw MovieReaderError(MovieReaderError::Case::noFrame, s.path);
        return s.convert(held.get(), maximumWidth, maximumHeight);
    }
}

}  // namespace pacemark
