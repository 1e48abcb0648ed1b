// SPDX-License-Identifier: GPL-3.0-or-later
#include "FFmpegFile.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
}

#include <cmath>
#include <cstdint>

#include "PacemarkError.h"

namespace pacemark::ffmpeg {

std::string fileURL(const std::filesystem::path& path) { return "file:" + path.string(); }

int openOutputFile(AVFormatContext& container, const std::filesystem::path& path) {
    return avio_open(&container.pb, fileURL(path).c_str(), AVIO_FLAG_WRITE);
}

int clockwiseRotationDegrees(const AVStream& stream) {
    size_t size = 0;
    const std::uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!data || size < 9 * sizeof(std::int32_t)) return 0;
    const double counterClockwise = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(data));
    if (!std::isfinite(counterClockwise)) return 0;
    const long quarters = std::lround(-counterClockwise / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

int checkedWrite(const AVFormatContext& container, int result) {
    if (result >= 0 && container.pb && container.pb->error < 0) return container.pb->error;
    return result;
}

int finishOutputFile(AVFormatContext& container) {
    int code = checkedWrite(container, av_write_trailer(&container));
    if (code >= 0) code = avio_closep(&container.pb);
    return code;
}

namespace {

struct FFmpegErrorText {
    int code;
    const char* reason;
};

// FFmpeg's own failure codes (those that are no errno value) with the
// Russian reason; errno values go through the system's table.
constexpr FFmpegErrorText kFFmpegErrorTexts[] = {
    {AVERROR_INVALIDDATA, "данные повреждены"},
    {AVERROR_EOF, "данные кончились раньше времени"},
    {AVERROR_BUG, "внутренняя ошибка библиотеки FFmpeg"},
    {AVERROR_BUG2, "внутренняя ошибка библиотеки FFmpeg"},
    {AVERROR_BUFFER_TOO_SMALL, "буфер слишком мал"},
    {AVERROR_EXTERNAL, "ошибка внешней библиотеки"},
    {AVERROR_PATCHWELCOME, "эта возможность не поддерживается"},
    {AVERROR_ENCODER_NOT_FOUND, "в системе нет нужного кодировщика"},
    {AVERROR_DECODER_NOT_FOUND, "в системе нет нужного декодера"},
    {AVERROR_MUXER_NOT_FOUND, "в системе нет нужного формата записи"},
    {AVERROR_DEMUXER_NOT_FOUND, "в системе нет нужного формата чтения"},
    {AVERROR_PROTOCOL_NOT_FOUND, "в системе нет нужного протокола"},
    {AVERROR_STREAM_NOT_FOUND, "в файле нет нужной дорожки"},
    {AVERROR_OPTION_NOT_FOUND, "библиотека не знает нужного параметра"},
    {AVERROR_EXIT, "работа прервана"},
    {AVERROR_UNKNOWN, "неизвестная ошибка библиотеки FFmpeg"},
    {AVERROR_EXPERIMENTAL, "возможность библиотеки ещё экспериментальная"},
    {AVERROR_INPUT_CHANGED, "входные данные изменились"},
    {AVERROR_OUTPUT_CHANGED, "выходные данные изменились"},
};

constexpr bool everyCodeHasOneRow() {
    for (std::size_t i = 0; i < std::size(kFFmpegErrorTexts); ++i) {
        if (kFFmpegErrorTexts[i].code >= 0) return false;
        for (std::size_t j = i + 1; j < std::size(kFFmpegErrorTexts); ++j) {
            if (kFFmpegErrorTexts[i].code == kFFmpegErrorTexts[j].code) return false;
        }
    }
    return true;
}
static_assert(everyCodeHasOneRow(), "an FFmpeg error code appears twice or is not negative");

}  // namespace

std::string failureReason(int code) {
    for (const FFmpegErrorText& row : kFFmpegErrorTexts) {
        if (row.code == code) return row.reason;
    }
    const int errorNumber = AVUNERROR(code);
    if (code < 0 && errorNumber > 0 && errorNumber < 4096) return systemErrorReason(errorNumber);
    return "ошибка библиотеки FFmpeg (код " + std::to_string(code) + ")";
}

std::string failureText(std::string fixedText, int code) {
    if (code >= 0) return fixedText;
    if (code == AVERROR(ENOMEM)) return outOfMemoryDescription();
    if (!fixedText.empty() && fixedText.back() == '.') fixedText.pop_back();
    return fixedText + ": " + failureReason(code) + ".";
}

}  // namespace pacemark::ffmpeg
