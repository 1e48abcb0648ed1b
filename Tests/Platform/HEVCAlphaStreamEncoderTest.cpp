#include "HEVCAlphaEncodingError.h"
#include "HEVCAlphaStreamEncoder.h"
#include "HEVCNalUnit.h"
#include "OverlayTestFrames.h"
#include "ExportEncoderSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace pacemark {
namespace {

std::vector<HEVCLayeredAccessUnit> encodeFrames(HEVCAlphaStreamEncoder& encoder, int width, int height, int count) {
    pacemark::testing::OverlayTestFrame frame(width, height);
    std::vector<HEVCLayeredAccessUnit> units;
    for (int i = 0; i < count; ++i) {
        frame.draw(i);
        for (auto& unit : encoder.encode(frame.view())) units.push_back(std::move(unit));
    }
    for (auto& unit : encoder.finish()) units.push_back(std::move(unit));
    return units;
}

// The parameter sets' order and ids, and the alpha slices' references to
// them, are checked in the written movie (HEVCAlphaMovieWriterTest).
TEST(HEVCAlphaStreamEncoderTest, WritesTwoLayerAccessUnitsWithKeyFramesEveryTwoSeconds) {
    HEVCAlphaStreamEncoder encoder(testing::exportEncoderSettings(320, 180, 10));
    // The SEI declares the colour premultiplied.
    EXPECT_EQ(encoder.parameterSets().back().serialize(),
              (std::vector<std::uint8_t>{0x4E, 0x01, 0xA5, 0x04, 0x10, 0x00, 0x7F, 0x90, 0x80}));

    const auto units = encodeFrames(encoder, 320, 180, 45);
    ASSERT_EQ(units.size(), 45u);
    std::set<std::int64_t> presented;
    for (const auto& unit : units) {
        presented.insert(unit.presentationIndex);
        // Key frames every 2 s = 20 frames, and only there.
        EXPECT_EQ(unit.randomAccessPoint, unit.presentationIndex % 20 == 0) << "frame " << unit.presentationIndex;
        std::vector<int> layers;
        for (const auto& nal : unit.nalUnits) {
            EXPECT_TRUE(HEVCNalType::isVcl(nal.type));
            layers.push_back(nal.layerId);
        }
        EXPECT_TRUE(std::is_sorted(layers.begin(), layers.end()) && !layers.empty() && layers.front() == 0 &&
                    layers.back() == 1)
            << "colour slices, then alpha slices: frame " << unit.presentationIndex;
    }
    EXPECT_EQ(presented.size(), 45u);
    EXPECT_EQ(*presented.rbegin(), 44);
}

// (Encodes whose layers disagree: HEVCAlphaExportTest.)
TEST(HEVCAlphaStreamEncoderTest, SettingsTheEncoderCannotUseAreRefusedOrMadeUsable) {
    try {
        HEVCAlphaStreamEncoder encoder(testing::exportEncoderSettings(321, 180, 30));
        FAIL();
    } catch (const HEVCAlphaEncodingError& error) {
        EXPECT_EQ(error.errorCase(), HEVCAlphaEncodingError::Case::unsupportedSize);
        EXPECT_NE(std::string(error.what()).find("321×180"), std::string::npos);
    }
    auto settings = testing::exportEncoderSettings(64, 64, 30);
    settings.alphaExtraOptions = {{"no-such-option", "1"}};
    EXPECT_THROW(HEVCAlphaStreamEncoder{settings}, HEVCAlphaEncodingError);

    // A configured rate of 0 reaches the writer as timing rate 1, expected
    // rate 0 and key-frame interval 1: the encoder plans for 1 frame/s.
    const auto zero = testing::exportEncoderSettings(1920, 1080, 0);
    EXPECT_EQ(zero.framesPerSecond, 1);
    EXPECT_EQ(zero.maxKeyFrameInterval, 1);
    EXPECT_EQ(zero.colourBitRate() + zero.alphaBitRate(), 2'500'000);
    EXPECT_NO_THROW(HEVCAlphaStreamEncoder{testing::exportEncoderSettings(64, 64, 0)});

    MovieWriterSettings writer;
    writer.codec = TelemetryVideoCodec::hevcWithAlpha;
    writer.width = 64;
    writer.height = 64;
    writer.framesPerSecond = 30;
    writer.hevc = MovieWriterHEVCSettings{};
    writer.hevc->premultipliedAlpha = false;
    EXPECT_THROW(HEVCAlphaEncoderSettings::fromMovieWriterSettings(writer), HEVCAlphaEncodingError);
    writer.hevc->premultipliedAlpha = true;
    writer.framesPerSecond = 100'000;
    EXPECT_THROW(HEVCAlphaEncoderSettings::fromMovieWriterSettings(writer), HEVCAlphaEncodingError);
}

}  // namespace
}  // namespace pacemark
