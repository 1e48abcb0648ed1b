// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/CodecMovieWriterFactory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Export/RecordingMovieWriter.h"
#include "Export/TelemetryVideoExportError.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

// (That each codec reaches its own writer: ExportCommandTest checks the
// movies each --codec gives.)
TEST(CodecMovieWriterFactoryTest, CodecWithoutBackEndIsRefusedInRussian) {
    const CodecMovieWriterFactory writers{
        {TelemetryVideoCodec::proRes4444, std::make_shared<RecordingMovieWriterFactory>()}};
    EXPECT_TRUE(writers.writes(TelemetryVideoCodec::proRes4444));
    EXPECT_FALSE(writers.writes(TelemetryVideoCodec::hevcWithAlpha));
    MovieWriterSettings hevc;
    hevc.codec = TelemetryVideoCodec::hevcWithAlpha;
    const auto error = testing::thrownBy<TelemetryVideoExportError>([&] { writers.makeWriter(hevc); });
    EXPECT_EQ(error.errorCase(), TelemetryVideoExportError::Case::writerFailed);
    EXPECT_EQ(std::string(error.what()),
              "Запись «HEVC с альфой (маленький)» в этой сборке недоступна. Выберите другой кодек.");
}

}  // namespace
}  // namespace pacemark
