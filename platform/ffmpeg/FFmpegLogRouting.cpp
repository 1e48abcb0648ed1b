// SPDX-License-Identifier: GPL-3.0-or-later
#include "FFmpegLogRouting.h"

#include <cstdarg>
#include <string>

#include "DiagnosticLog.h"

extern "C" {
#include <libavutil/log.h>
}

namespace pacemark::ffmpeg {
namespace {

void logToDiagnosticLog(void* context, int level, const char* format, va_list arguments) {
    if (level > av_log_get_level() || !DiagnosticLog::isEnabled()) return;
    // FFmpeg may log a line in several calls; each thread collects its own
    // pieces and hands on whole lines.
    thread_local std::string pending;
    thread_local int printPrefix = 1;
    char piece[1024];
    av_log_format_line2(context, level, format, arguments, piece, sizeof piece, &printPrefix);
    pending += piece;
    for (std::size_t end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
        DiagnosticLog::write("ffmpeg", std::string_view(pending).substr(0, end));
        pending.erase(0, end + 1);
    }
}

}  // namespace

void routeFFmpegLogToDiagnosticLog() { av_log_set_callback(&logToDiagnosticLog); }

}  // namespace pacemark::ffmpeg
