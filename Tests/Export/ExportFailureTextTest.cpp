// SPDX-License-Identifier: GPL-3.0-or-later
// Every failure the user reads has a Russian reason, from the one table of
// system reasons, FFmpeg's codes and the exceptions of the libraries.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <new>

extern "C" {
#include <libavutil/error.h>
}

#include "FFmpegFile.h"
#include "PacemarkError.h"

namespace pacemark {
namespace {

// Reasons that used to come out as a bare number or the library's English.
TEST(ExportFailureTextTest, FailuresHaveRussianReasons) {
    for (const int errorNumber : {ENOMEM, ENAMETOOLONG, ELOOP, ENOSPC, EROFS, EDQUOT, EFBIG, ENXIO, ETXTBSY, EBUSY,
                                  EMLINK, ESTALE, EAGAIN, ENOTSUP}) {
        SCOPED_TRACE(errorNumber);
        EXPECT_EQ(systemErrorReason(errorNumber).find("код"), std::string::npos) << systemErrorReason(errorNumber);
        EXPECT_EQ(ffmpeg::failureReason(AVERROR(errorNumber)), systemErrorReason(errorNumber));
    }
    // FFmpeg's own codes, out of memory as the libraries throw it and the
    // standard library's file-system errors.
    EXPECT_EQ(ffmpeg::failureText("Не удалось записать видео.", AVERROR_INVALIDDATA),
              "Не удалось записать видео: данные повреждены.");
    EXPECT_EQ(userFacingDescription(std::bad_alloc()), outOfMemoryDescription());
    EXPECT_EQ(userFacingDescription(std::filesystem::filesystem_error(
                  "status", "/a/loop", std::make_error_code(std::errc::too_many_symbolic_link_levels))),
              "Ошибка файловой системы с «loop»: символические ссылки в пути замкнуты в петлю.");
}

}  // namespace
}  // namespace pacemark
