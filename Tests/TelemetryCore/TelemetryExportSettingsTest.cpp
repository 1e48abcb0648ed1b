// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Export/TelemetryExportSettings.h"
#include "Export/TelemetryRenderConfig.h"

namespace pacemark {
namespace {

TEST(TelemetryExportSettingsTest, SizeIsValidatedAtEachCodecsBounds) {
    constexpr auto hevc = TelemetryVideoCodec::hevcWithAlpha;
    struct Case {
        std::int64_t width, height;
        bool hevcValid, proResValid;
    };
    for (const Case& c : {Case{16, 16, false, true}, Case{64, 64, true, true},
                          // ProRes: at most 65535 slices (and the encoder's area bound).
                          Case{16384, 8176, true, true}, Case{16384, 8178, true, false},
                          Case{11522, 11522, true, false}, Case{1920, 16386, false, false},
                          Case{1921, 1080, false, false}, Case{14, 1080, false, false}}) {
        for (const TelemetryVideoCodec codec : TelemetryVideoCodec::allCases()) {
            const TelemetryExportSettings settings{c.width, c.height, 30, codec};
            SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " " + std::string(codec.rawValue()));
            EXPECT_EQ(!settings.sizeError(), codec == hevc ? c.hevcValid : c.proResValid);
        }
    }
    EXPECT_EQ(TelemetryExportSettings{.width = 1921}.sizeError(),
              "Размер кадра 1921×1080 не подходит для HEVC: стороны должны быть чётными, от 64 до 16384 пикселей.");
}

// Whole or fractional, from 1 to 240 frames a second, with terms a user
// could have typed.
TEST(TelemetryExportSettingsTest, FrameRateIsValidFromOneToTwoHundredForty) {
    const std::pair<FrameRate, std::optional<std::string>> cases[] = {
        {FrameRate(1), std::nullopt},
        {FrameRate(240000, 1001), std::nullopt},
        {FrameRate(0), "Частота 0 кадров в секунду не подходит: нужно от 1 до 240."},
        {FrameRate(241000, 1001), "Частота 240,759 кадров в секунду не подходит: нужно от 1 до 240."},
        {FrameRate(2'000'001, 10'000), "Частота 2000001/10000 кадров в секунду не подходит: числитель и знаменатель "
                                       "дроби должны быть не больше 1000000."},
    };
    for (const auto& [rate, error] : cases) {
        EXPECT_EQ(TelemetryExportSettings{.frameRate = rate}.frameRateError(), error) << rate.text();
    }
    EXPECT_EQ(TelemetryExportSettings{.frameRate = 0}.validationError(), cases[2].second);  // the rate 0
}

// What the window offers can always be exported, by either codec.
TEST(TelemetryExportSettingsTest, EveryOfferedChoiceIsValid) {
    for (const auto size : TelemetryExportSettings::offeredSizes) {
        for (const TelemetryVideoCodec codec : TelemetryVideoCodec::allCases()) {
            SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
            const TelemetryExportSettings settings{.width = size.width, .height = size.height, .codec = codec};
            EXPECT_EQ(settings.sizeError(), std::nullopt);
        }
    }
    for (const FrameRate rate : TelemetryExportSettings::offeredFrameRates) {
        EXPECT_EQ(TelemetryExportSettings{.frameRate = rate}.frameRateError(), std::nullopt) << rate.text();
    }
}

// A smooth rate from 1 to the highest frame rate, or every frame, is valid
// (and kept for the movie); while stepping the rate is not looked at.
TEST(TelemetryExportSettingsTest, SmoothRateIsValidated) {
    TelemetryExportSettings settings;
    settings.motion.updatesPerSecond = 241;
    EXPECT_EQ(settings.validationError(), std::nullopt);
    settings.motion.mode = TelemetryMotionMode::smooth;
    settings.motion.updatesPerSecond = TelemetryMotion::everyFrame;
    EXPECT_EQ(settings.validationError(), std::nullopt);
    settings.motion.updatesPerSecond = 241;
    EXPECT_EQ(settings.validationError(),
              "Частота обновления 241 Гц не подходит: нужно от 1 до 240 Гц или каждый кадр.");

    // The movie is drawn in the motion chosen.
    settings.motion.updatesPerSecond = 15;
    const TelemetryRenderConfig config("out.mov", settings, 0, std::nullopt, PacemarkLayout{});
    EXPECT_EQ(config.motion, settings.motion);
}

// More than 7 days of movie only when asked for, counted at the exact rate;
// never more than the index of a movie file holds.
TEST(TelemetryExportSettingsTest, MovieLengthIsBounded) {
    const TelemetryExportSettings settings{.frameRate = FrameRate(30000, 1001),
                                           .codec = TelemetryVideoCodec::proRes4444};
    // 7 days are 18,125,874.1 frames at 29.97.
    const std::int64_t longest = 18'125'874;
    EXPECT_EQ(settings.movieLengthError(longest, false), std::nullopt);
    const auto unasked = settings.movieLengthError(longest + 1, false);
    ASSERT_TRUE(unasked);
    EXPECT_NE(unasked->find("задайте конец отрезка явно"), std::string::npos) << *unasked;
    EXPECT_EQ(settings.movieLengthError(longest + 1, true), std::nullopt);

    // Beyond the index's bound the file refuses.
    const auto beyond = settings.movieLengthError(TelemetryExportSettings::maximumFrameCount + 1, true);
    ASSERT_TRUE(beyond);
    EXPECT_NE(beyond->find("не поместится в файл QuickTime (кадров: 350 000 001, это 135 сут. при 29,97 к/с)"),
              std::string::npos)
        << *beyond;
}

TEST(TelemetryExportSettingsTest, OutputGoesBesideTheSourceUnderItsNameWithoutExtension) {
    EXPECT_EQ(TelemetryExportSettings::defaultOutputPath("/rides/Утро.2024.GPX"),
              std::filesystem::path("/rides/Утро.2024-telemetry.mov"));
    EXPECT_EQ(TelemetryExportSettings::defaultOutputPath("ride"), std::filesystem::path("ride-telemetry.mov"));
}

TEST(TelemetryExportSettingsTest, HEVCIsWrittenWithPremultipliedAlpha) {
    const MovieWriterSettings writer = TelemetryExportSettings{}.writerSettings("/tmp/x.mov");
    ASSERT_TRUE(writer.hevc);
    EXPECT_TRUE(writer.hevc->premultipliedAlpha);
}

}  // namespace
}  // namespace pacemark
