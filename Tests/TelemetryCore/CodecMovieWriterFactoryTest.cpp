// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/CodecMovieWriterFactory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Export/RecordingMovieWriter.h"
#include "Export/TelemetryVideoExportError.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

// A back-end that remembers which codecs it was asked for.
class CountingFactory final : public MovieWriterFactory {
public:
    std::unique_ptr<MovieWriter> makeWriter(const MovieWriterSettings& settings) const override {
        asked.push_back(settings.codec);
        return RecordingMovieWriterFactory().makeWriter(settings);
    }
    mutable std::vector<TelemetryVideoCodec::Value> asked;
};

MovieWriterSettings settingsOf(TelemetryVideoCodec codec) {
    MovieWriterSettings settings;
    settings.file = "/tmp/never-written.mov";
    settings.codec = codec;
    settings.width = 64;
    settings.height = 64;
    return settings;
}

TEST(CodecMovieWriterFactoryTest, EachCodecGoesToItsOwnBackEnd) {
    const auto hevc = std::make_shared<CountingFactory>();
    const auto proRes = std::make_shared<CountingFactory>();
    const CodecMovieWriterFactory writers{{TelemetryVideoCodec::proRes4444, proRes},
                                          {TelemetryVideoCodec::hevcWithAlpha, hevc}};
    EXPECT_NE(writers.makeWriter(settingsOf(TelemetryVideoCodec::hevcWithAlpha)), nullptr);
    EXPECT_NE(writers.makeWriter(settingsOf(TelemetryVideoCodec::proRes4444)), nullptr);
    EXPECT_EQ(hevc->asked, std::vector<TelemetryVideoCodec::Value>{TelemetryVideoCodec::hevcWithAlpha});
    EXPECT_EQ(proRes->asked, std::vector<TelemetryVideoCodec::Value>{TelemetryVideoCodec::proRes4444});
}

TEST(CodecMovieWriterFactoryTest, CodecWithoutBackEndIsRefusedInRussian) {
    const CodecMovieWriterFactory writers{{TelemetryVideoCodec::proRes4444, std::make_shared<CountingFactory>()}};
    EXPECT_TRUE(writers.writes(TelemetryVideoCodec::proRes4444));
    EXPECT_FALSE(writers.writes(TelemetryVideoCodec::hevcWithAlpha));
    const auto error = testing::thrownBy<TelemetryVideoExportError>(
        [&] { writers.makeWriter(settingsOf(TelemetryVideoCodec::hevcWithAlpha)); });
    EXPECT_EQ(error.errorCase(), TelemetryVideoExportError::Case::writerFailed);
    EXPECT_EQ(std::string(error.what()),
              "Запись «HEVC с альфой (маленький)» в этой сборке недоступна. Выберите другой кодек.");
}

}  // namespace
}  // namespace pacemark
