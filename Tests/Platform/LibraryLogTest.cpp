// The encoding libraries' own log lines (English, for diagnosis) stay out of
// the user's sight unless the diagnostic log is on, as with --verbose.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "DiagnosticLog.h"
#include "FFmpegLogRouting.h"
#include "HEVCAlphaEncodingError.h"
#include "X265Encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace pacemark {
namespace {

struct LibraryLogCase {
    const char* library;
    // Makes the library log an error line containing `fragment`.
    std::function<void()> provoke;
    std::string fragment;
};

void openProResEncoderAtAnImpossibleSize() {
    const AVCodec* codec = avcodec_find_encoder_by_name("prores_ks");
    ASSERT_NE(codec, nullptr);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = 16384;
    context->height = 16384;
    context->pix_fmt = AV_PIX_FMT_YUVA444P10LE;
    context->time_base = {1, 30};
    EXPECT_LT(avcodec_open2(context, codec, nullptr), 0);
    avcodec_free_context(&context);
}

void openX265WithTooManyBFrames() {
    EXPECT_THROW(X265Encoder(64, 64, "ultrafast", {{"bframes", "40"}}), HEVCAlphaEncodingError);
}

class LibraryLogTest : public ::testing::TestWithParam<LibraryLogCase> {
protected:
    void SetUp() override { ffmpeg::routeFFmpegLogToDiagnosticLog(); }
    void TearDown() override { DiagnosticLog::setSink({}); }
};

TEST_P(LibraryLogTest, SilentByDefaultAndShownWhenTheDiagnosticLogIsOn) {
    const LibraryLogCase& c = GetParam();
    DiagnosticLog::setSink({});
    ::testing::internal::CaptureStderr();
    c.provoke();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

    std::vector<std::string> lines;
    DiagnosticLog::setSink([&](std::string_view source, std::string_view line) {
        lines.push_back(std::string(source) + ": " + std::string(line));
    });
    ::testing::internal::CaptureStderr();
    c.provoke();
    const std::string printed = ::testing::internal::GetCapturedStderr();
    std::string logged;
    for (const auto& line : lines) logged += line + "\n";
    // FFmpeg's lines reach the sink; x265 has no log callback and prints its
    // lines itself once its log level is raised.
    EXPECT_NE((logged + printed).find(c.fragment), std::string::npos) << logged << printed;
    if (std::string(c.library) == "ffmpeg") {
        EXPECT_EQ(printed, "");
        EXPECT_EQ(logged.rfind("ffmpeg: ", 0), 0u) << logged;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, LibraryLogTest,
    ::testing::Values(LibraryLogCase{"ffmpeg", openProResEncoderAtAnImpossibleSize, "Picture size 16384x16384 is invalid"},
                      LibraryLogCase{"x265", openX265WithTooManyBFrames, "x265 [error]: "}),
    [](const ::testing::TestParamInfo<LibraryLogCase>& library) { return std::string(library.param.library); });

}  // namespace
}  // namespace pacemark
