// SPDX-License-Identifier: GPL-3.0-or-later
// The encoding libraries' own log lines (English, for diagnosis) stay out of
// the user's sight unless the diagnostic log is on, as with --verbose.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "DiagnosticLog.h"
#include "FFmpegLogRouting.h"
#include "HEVCAlphaEncodingError.h"
#include "X265Encoder.h"

extern "C" {
#include <libavutil/log.h>
}

namespace pacemark {
namespace {

TEST(LibraryLogTest, LibraryLinesShowOnlyInTheDiagnosticLog) {
    ffmpeg::routeFFmpegLogToDiagnosticLog();
    struct Library {
        const char* name;
        std::function<void()> provoke;  // makes the library log an error line containing `fragment`
        const char* fragment;
    };
    const Library libraries[] = {
        {"ffmpeg", [] { av_log(nullptr, AV_LOG_ERROR, "Picture size 16384x16384 is invalid\n"); },
         "Picture size 16384x16384 is invalid"},
        {"x265", [] { EXPECT_THROW(X265Encoder(64, 64, "ultrafast", {{"bframes", "40"}}), HEVCAlphaEncodingError); },
         "x265 [error]: "},
    };
    for (const Library& library : libraries) {
        SCOPED_TRACE(library.name);
        DiagnosticLog::setSink({});
        ::testing::internal::CaptureStderr();
        library.provoke();
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

        std::string logged;
        DiagnosticLog::setSink([&](std::string_view source, std::string_view line) {
            logged += std::string(source) + ": " + std::string(line) + "\n";
        });
        ::testing::internal::CaptureStderr();
        library.provoke();
        const std::string printed = ::testing::internal::GetCapturedStderr();
        DiagnosticLog::setSink({});
        // FFmpeg's lines reach the sink; x265 has no log callback and prints
        // its lines itself once its log level is raised.
        EXPECT_NE((logged + printed).find(library.fragment), std::string::npos) << logged << printed;
        if (std::string(library.name) == "ffmpeg") {
            EXPECT_EQ(printed, "");
            EXPECT_EQ(logged.rfind("ffmpeg: ", 0), 0u) << logged;
        }
    }
}

}  // namespace
}  // namespace pacemark
