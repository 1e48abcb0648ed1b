// SPDX-License-Identifier: GPL-3.0-or-later
// FFmpeg's own log lines (English, for diagnosis) stay out of the user's
// sight unless the diagnostic log is on, as with --verbose.

#include <gtest/gtest.h>

#include <string>

#include "DiagnosticLog.h"
#include "FFmpegLogRouting.h"

extern "C" {
#include <libavutil/log.h>
}

namespace pacemark {
namespace {

TEST(LibraryLogTest, FFmpegLinesShowOnlyInTheDiagnosticLog) {
    ffmpeg::routeFFmpegLogToDiagnosticLog();
    DiagnosticLog::setSink({});
    ::testing::internal::CaptureStderr();
    av_log(nullptr, AV_LOG_ERROR, "Picture size 16384x16384 is invalid\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    std::string logged;
    DiagnosticLog::setSink([&](std::string_view source, std::string_view line) {
        logged += std::string(source) + ": " + std::string(line) + "\n";
    });
    ::testing::internal::CaptureStderr();
    av_log(nullptr, AV_LOG_ERROR, "Picture size 16384x16384 is invalid\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    DiagnosticLog::setSink({});
    EXPECT_EQ(logged.rfind("ffmpeg: Picture size 16384x16384 is invalid", 0), 0u) << logged;
}

}  // namespace
}  // namespace pacemark
