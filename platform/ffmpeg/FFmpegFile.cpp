#include "FFmpegFile.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
}

#include "Export/TelemetryVideoExportError.h"

namespace pacemark::ffmpeg {

std::string fileURL(const std::filesystem::path& path) { return "file:" + path.string(); }

int openOutputFile(AVFormatContext& container, const std::filesystem::path& path) {
    return avio_open(&container.pb, fileURL(path).c_str(), AVIO_FLAG_WRITE);
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

std::string failureText(std::string fixedText, int code) {
    const int errorNumber = AVUNERROR(code);
    if (code < 0 && errorNumber > 0 && errorNumber < 4096 && !fixedText.empty() && fixedText.back() == '.') {
        fixedText.pop_back();
        fixedText += ": " + exportFileErrorReason(errorNumber) + ".";
    }
    return fixedText;
}

}  // namespace pacemark::ffmpeg
