#include "HEVCAlphaEncodingError.h"
#include "HEVCAlphaStreamEncoder.h"
#include "HEVCBitReader.h"
#include "OverlayTestFrames.h"
#include "ExportEncoderSettings.h"

#include <gtest/gtest.h>

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

TEST(HEVCAlphaStreamEncoderTest, WritesTwoLayerAccessUnitsWithAlphaSlicesOnTheirOwnParameterSets) {
    auto settings = testing::exportEncoderSettings(320, 180, 10);
    HEVCAlphaStreamEncoder encoder(settings);

    const auto& sets = encoder.parameterSets();
    ASSERT_EQ(sets.size(), 6u);
    EXPECT_EQ(sets[0].type, HEVCNalType::vps);
    EXPECT_EQ((std::vector<int>{sets[1].layerId, sets[2].layerId, sets[3].layerId, sets[4].layerId, sets[5].layerId}),
              (std::vector<int>{0, 1, 0, 1, 0}));
    const auto alphaSps = HEVCSequenceParameterSet::parse(sets[2].rbsp);
    const auto alphaPps = HEVCPictureParameterSet::parse(sets[4].rbsp);
    EXPECT_EQ(alphaSps.id, 1u);
    EXPECT_EQ(alphaPps.id, 1u);
    EXPECT_EQ(alphaPps.sequenceParameterSetId, 1u);
    EXPECT_EQ(alphaSps.widthLumaSamples, 320u);
    EXPECT_EQ(sets[5].serialize(), (std::vector<std::uint8_t>{0x4E, 0x01, 0xA5, 0x04, 0x10, 0x00, 0x7F, 0x90, 0x80}));

    const auto units = encodeFrames(encoder, 320, 180, 45);
    ASSERT_EQ(units.size(), 45u);
    std::set<std::int64_t> presented;
    for (std::size_t k = 0; k < units.size(); ++k) {
        const auto& unit = units[k];
        presented.insert(unit.presentationIndex);
        // Key frames every 2 s = 20 frames, and only there.
        EXPECT_EQ(unit.randomAccessPoint, unit.presentationIndex % 20 == 0) << "access unit " << k;
        ASSERT_GE(unit.nalUnits.size(), 2u);
        bool inAlpha = false;
        for (const auto& nal : unit.nalUnits) {
            ASSERT_TRUE(HEVCNalType::isVcl(nal.type));
            if (nal.layerId == 1) inAlpha = true;
            EXPECT_EQ(nal.layerId, inAlpha ? 1 : 0) << "layer 0 must come first";
            if (nal.layerId == 1) {
                // Parses against the rewritten layer-1 parameter sets.
                EXPECT_EQ(HEVCSliceHeader::peekPictureParameterSetId(nal), 1u);
                EXPECT_NO_THROW(HEVCSliceHeader::parse(nal, alphaSps, alphaPps));
            }
        }
        EXPECT_TRUE(inAlpha);
    }
    EXPECT_EQ(presented.size(), 45u);
    EXPECT_EQ(*presented.rbegin(), 44);
}

TEST(HEVCAlphaStreamEncoderTest, EncodesThatDisagreeFailWithARussianError) {
    // A different B-frame pattern or key-frame interval in the alpha encode
    // must be noticed rather than written as a broken stream.
    for (const X265Encoder::Options& extra : {X265Encoder::Options{{"bframes", "1"}},
                                              X265Encoder::Options{{"keyint", "7"}, {"min-keyint", "7"}}}) {
        auto settings = testing::exportEncoderSettings(128, 96, 10);
        settings.alphaExtraOptions = extra;
        HEVCAlphaStreamEncoder encoder(settings);
        try {
            encodeFrames(encoder, 128, 96, 30);
            FAIL() << "mismatch not detected for " << extra.front().first;
        } catch (const HEVCAlphaEncodingError& error) {
            EXPECT_EQ(error.errorCase(), HEVCAlphaEncodingError::Case::layersDisagree);
            EXPECT_NE(std::string(error.what()).find("разошлись"), std::string::npos) << error.what();
        }
    }
}

TEST(HEVCAlphaStreamEncoderTest, OddSizesAndRejectedOptionsAreClearErrors) {
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
}

TEST(HEVCAlphaStreamEncoderTest, WriterSettingsThatCannotDriveTheEncoderAreMadeUsableOrRefused) {
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
