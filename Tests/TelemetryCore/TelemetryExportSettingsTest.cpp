#include <gtest/gtest.h>

#include "Export/TelemetryExportSettings.h"

namespace pacemark {
namespace {

TEST(TelemetryExportSettingsTest, ValidatesSizeAndRateAtEachCodecsBoundsWithRussianTexts) {
    constexpr auto hevc = TelemetryVideoCodec::hevcWithAlpha;
    constexpr auto proRes = TelemetryVideoCodec::proRes4444;
    struct Case {
        std::int64_t width, height, framesPerSecond;
        bool hevcSizeValid, proResSizeValid, rateValid;
    };
    for (const Case& c : {Case{1920, 1080, 30, true, true, true}, Case{16, 16, 1, false, true, true},
                          Case{64, 64, 1, true, true, true}, Case{62, 64, 1, false, true, true},
                          Case{16384, 16384, 240, true, false, true}, Case{16254, 16254, 30, true, true, true},
                          Case{16256, 16256, 30, true, false, true}, Case{16384, 16128, 30, true, true, true},
                          Case{16384, 16130, 30, true, false, true}, Case{14, 1080, 30, false, false, true},
                          Case{1920, 16386, 30, false, false, true}, Case{1921, 1080, 30, false, false, true},
                          Case{0, 0, 30, false, false, true}, Case{1920, 1080, 0, true, true, false},
                          Case{1920, 1080, 241, true, true, false}}) {
        for (const TelemetryVideoCodec codec : {hevc, proRes}) {
            const TelemetryExportSettings settings{c.width, c.height, c.framesPerSecond, codec};
            const bool sizeValid = codec == hevc ? c.hevcSizeValid : c.proResSizeValid;
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "@" +
                         std::to_string(c.framesPerSecond) + " " + std::string(codec.rawValue()));
            EXPECT_EQ(!settings.sizeError(), sizeValid);
            EXPECT_EQ(!settings.framesPerSecondError(), c.rateValid);
        }
    }
    EXPECT_EQ(TelemetryExportSettings{.width = 1921}.sizeError(),
              "Размер кадра 1921×1080 не подходит для HEVC: стороны должны быть чётными, от 64 до 16384 пикселей.");
    EXPECT_EQ(TelemetryExportSettings{.framesPerSecond = 0}.validationError(),
              "Частота 0 кадров в секунду не подходит: нужно от 1 до 240.");
    // The HEVC memory estimate grows with the area (that a machine of 1 GB
    // refuses large frames is held by ExportCommandTest).
    const TelemetryExportSettings ultraHD{.width = 3840, .height = 2160};
    EXPECT_LT(TelemetryExportSettings{}.estimatedMemoryBytes(), ultraHD.estimatedMemoryBytes());
    EXPECT_EQ(TelemetryExportSettings{}.validationError(), std::nullopt);
}

// What the window offers can always be exported, by either codec.
TEST(TelemetryExportSettingsTest, EveryOfferedSizeIsValidForEachCodec) {
    for (const auto size : TelemetryExportSettings::offeredSizes) {
        for (const TelemetryVideoCodec codec : TelemetryVideoCodec::allCases()) {
            SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
            EXPECT_EQ((TelemetryExportSettings{size.width, size.height, 30, codec}.sizeError()), std::nullopt);
        }
    }
}

TEST(TelemetryExportSettingsTest, OutputGoesBesideTheSourceUnderItsNameWithoutExtension) {
    EXPECT_EQ(TelemetryExportSettings::defaultOutputPath("/rides/Утро.2024.GPX"),
              std::filesystem::path("/rides/Утро.2024-telemetry.mov"));
    EXPECT_EQ(TelemetryExportSettings::defaultOutputPath("ride"), std::filesystem::path("ride-telemetry.mov"));
}

TEST(TelemetryExportSettingsTest, WriterSettingsCarryHEVCOptionsOnlyForHEVC) {
    const TelemetryExportSettings hevc{.framesPerSecond = 25};
    const MovieWriterSettings writer = hevc.writerSettings("/tmp/x.mov");
    ASSERT_TRUE(writer.hevc);
    EXPECT_EQ(writer.hevc->averageBitRateBitsPerSecond, TelemetryExportSettings::hevcAverageBitRate(1920, 1080));
    EXPECT_EQ(writer.hevc->maxKeyFrameIntervalFrames, 50);  // two seconds
    EXPECT_TRUE(writer.hevc->premultipliedAlpha);

    const TelemetryExportSettings proRes{.codec = TelemetryVideoCodec::proRes4444};
    EXPECT_FALSE(proRes.writerSettings("x.mov").hevc);

    // The HEVC bit rate grows with the picture's area, above a floor.
    EXPECT_EQ(TelemetryExportSettings::hevcAverageBitRate(1920, 1080), 2'500'000);
    EXPECT_EQ(TelemetryExportSettings::hevcAverageBitRate(3840, 2160), 10'000'000);
    EXPECT_EQ(TelemetryExportSettings::hevcAverageBitRate(640, 360), 900'000);
}

}  // namespace
}  // namespace pacemark
