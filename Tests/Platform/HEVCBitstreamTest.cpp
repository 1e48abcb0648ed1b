// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCAlphaMovieCheck.h"
#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"
#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"
#include "MovieCheck/MovieChecker.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <tuple>

namespace pacemark {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HEVCBitstreamTest, ExpGolombCodesRoundTripWithinTheirBytes) {
    // ue: 0 -> 1, 1 -> 010, 2 -> 011, 3 -> 00100, 7 -> 0001000; se: 1 -> 010,
    // -1 -> 011, 2 -> 00100, -2 -> 00101; then the stop bit.
    HEVCBitWriter known;
    for (const std::uint32_t value : {0u, 1u, 2u, 3u, 7u}) known.writeUnsignedExpGolomb(value);
    for (const std::int32_t value : {1, -1, 2, -2}) known.writeSignedExpGolomb(value);
    known.writeTrailingBits();
    EXPECT_EQ(known.bytes(), (Bytes{0xA6, 0x41, 0x09, 0x90, 0xB0}));

    // The reader reads back what the writer wrote, at any alignment, up to
    // the largest values.
    HEVCBitWriter writer;
    writer.writeBits(5, 3);
    const std::vector<std::uint32_t> unsignedValues{0, 1, 254, 255, 65535, 1u << 20, 0xFFFFFFFEu};
    const std::vector<std::int32_t> signedValues{0, -1, 1000, -1000, 2147483647, -2147483647};
    for (const auto value : unsignedValues) writer.writeUnsignedExpGolomb(value);
    for (const auto value : signedValues) writer.writeSignedExpGolomb(value);
    writer.writeBits(0xDEADBEEF, 32);
    writer.writeTrailingBits();
    HEVCBitReader reader(writer.bytes());
    EXPECT_EQ(reader.readBits(3), 5u);
    for (const auto value : unsignedValues) EXPECT_EQ(reader.readUnsignedExpGolomb(), value);
    for (const auto value : signedValues) EXPECT_EQ(reader.readSignedExpGolomb(), value);
    EXPECT_EQ(reader.readBits(32), 0xDEADBEEFu);
    EXPECT_EQ(reader.trailingBitsPosition(), reader.bitPosition());

    // Truncated or malformed input throws instead of reading zeros.
    const Bytes one{0xFF};
    HEVCBitReader oneByte(one);
    oneByte.readBits(6);
    EXPECT_THROW(oneByte.readBits(3), HEVCBitstreamError);
    const Bytes zeros(8, 0x00);
    HEVCBitReader zeroReader(zeros);
    EXPECT_THROW(zeroReader.readUnsignedExpGolomb(), HEVCBitstreamError);
    EXPECT_THROW(zeroReader.trailingBitsPosition(), HEVCBitstreamError);

    // A reference picture set whose delta POC does not fit the POC
    // arithmetic (found by the movie checker's fuzzer).
    HEVCBitWriter set;
    set.writeUnsignedExpGolomb(1);            // num_negative_pics
    set.writeUnsignedExpGolomb(0);            // num_positive_pics
    set.writeUnsignedExpGolomb(0xFFFFFFFEu);  // delta_poc_s0_minus1
    set.writeTrailingBits();
    HEVCBitReader setReader(set.bytes());
    EXPECT_THROW(HEVCShortTermRefPicSet::read(setReader, 0, {}), HEVCBitstreamError);
}

// The start of an SPS up to log2_min_luma_coding_block_size_minus3, with the
// given values for the fields that feed the reader's arithmetic.
Bytes sequenceParameterSetStart(std::uint32_t width, std::uint32_t log2MaxPocLsbMinus4, std::uint32_t log2MinCbMinus3) {
    HEVCBitWriter w;
    w.writeBits(0, 4);  // sps_video_parameter_set_id
    w.writeBits(0, 3);  // sps_max_sub_layers_minus1
    w.writeFlag(true);  // sps_temporal_id_nesting_flag
    w.writeBits(1, 8);  // profile space, tier, profile idc
    w.writeBits(0, 32);
    w.writeBits(0, 24);
    w.writeBits(0, 24);
    w.writeBits(93, 8);             // level
    w.writeUnsignedExpGolomb(0);    // sps_seq_parameter_set_id
    w.writeUnsignedExpGolomb(1);    // chroma_format_idc
    w.writeUnsignedExpGolomb(width);
    w.writeUnsignedExpGolomb(64);   // height
    w.writeFlag(false);             // conformance_window_flag
    w.writeUnsignedExpGolomb(0);    // bit depths
    w.writeUnsignedExpGolomb(0);
    w.writeUnsignedExpGolomb(log2MaxPocLsbMinus4);
    w.writeFlag(true);              // sps_sub_layer_ordering_info_present_flag
    for (int i = 0; i < 3; ++i) w.writeUnsignedExpGolomb(0);
    w.writeUnsignedExpGolomb(log2MinCbMinus3);
    for (int i = 0; i < 8; ++i) w.writeUnsignedExpGolomb(0);
    w.writeTrailingBits();
    return w.bytes();
}

// Exp-Golomb values up to 2^32 - 2 reach no signed arithmetic: a value out of
// its field's range is refused, naming the field, before any sum (the
// movie checker's fuzzer found int overflows in exactly these sums).
TEST(HEVCBitstreamTest, ParameterSetFieldsOutOfRangeAreRefusedBeforeAnyArithmetic) {
    const std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, const char*> cases[] = {
        {64, 0xFFFFFFFCu, 0, "log2_max_pic_order_cnt_lsb_minus4"},
        {64, 13, 0, "log2_max_pic_order_cnt_lsb_minus4"},
        {64, 0, 0xFFFFFFFDu, "log2_min_luma_coding_block_size_minus3"},
        {0xFFFFFFFEu, 0, 0, "pic_width_in_luma_samples"},
    };
    for (const auto& [width, pocBits, minCb, field] : cases) {
        const Bytes rbsp = sequenceParameterSetStart(width, pocBits, minCb);
        try {
            HEVCSequenceParameterSet::parse(rbsp);
            ADD_FAILURE() << field << " accepted";
        } catch (const HEVCBitstreamError& error) {
            EXPECT_NE(std::string(error.what()).find(std::string("поле ") + field), std::string::npos) << error.what();
        }
    }
}

// Texts a user reads must not be English: two lower-case Latin words in a
// row give it away (field names like pic_width_in_luma_samples are one word,
// acronyms like SPS are upper-case).
bool readsAsEnglish(const std::string& text) {
    return std::regex_search(text, std::regex("(^|[^A-Za-z_])[a-z]{2,}[ ,:-]+[a-z]{2,}($|[^A-Za-z_])"));
}

// The checker's fuzzer input that overflowed an int in the SPS reader, in a
// movie as `pacemark-cli check` reads it: findings with Russian reasons only.
TEST(HEVCBitstreamTest, TheSavedFuzzFindingIsReportedInRussian) {
    FileMovieSource movie(testing::sourceFolder() / "Tests" / "Platform" / "data" / "hevc-check-sps-overflow.mov");
    const MovieCheckReport report = MovieChecker(checkHEVCAlphaTrack).check(movie);
    ASSERT_FALSE(report.wellFormed());
    for (const auto& finding : report.findings) EXPECT_FALSE(readsAsEnglish(finding.message)) << finding.message;
}

TEST(HEVCNalUnitTest, AnnexBSplitsAtStartCodes) {
    const Bytes stream{0, 0, 0, 1, 0x40, 0x01, 0xAA, 0, 0, 1, 0x42, 0x01, 0, 0, 0, 0, 1, 0x44, 0x01, 0x00, 0x00, 0x03};
    std::vector<Bytes> units;
    for (const auto unit : hevcSplitAnnexB(stream)) units.emplace_back(unit.begin(), unit.end());
    EXPECT_EQ(units, (std::vector<Bytes>{{0x40, 0x01, 0xAA}, {0x42, 0x01}, {0x44, 0x01, 0x00, 0x00, 0x03}}));

    const HEVCNalUnit pps = HEVCNalUnit::parse(units.at(2));
    EXPECT_EQ(std::tuple(pps.type, pps.layerId, pps.rbsp), std::tuple(HEVCNalType::pps, 0, Bytes{0x00, 0x00}));
    EXPECT_THROW(HEVCNalUnit::parse(Bytes{0x80, 0x01, 0x00}), HEVCBitstreamError);
}

TEST(HEVCNalUnitTest, EmulationPreventionKeepsStartCodesOut) {
    // A NAL unit that ends in zeros gets an emulation prevention byte, so
    // that the next start code is not read as part of it.
    EXPECT_EQ(hevcAddEmulationPrevention(Bytes{5, 0, 0}), (Bytes{5, 0, 0, 3}));

    // Inside a unit, no start code is emulated, and a 3 after two zeros is
    // escaped too (else removal would drop it).
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 3);  // mostly small values: many zero runs
    for (int round = 0; round < 200; ++round) {
        Bytes rbsp(static_cast<std::size_t>(1 + round));
        for (auto& b : rbsp) b = static_cast<std::uint8_t>(byte(random));
        rbsp.push_back(0x80);  // an RBSP ends with its stop bit
        const Bytes escaped = hevcAddEmulationPrevention(rbsp);
        for (std::size_t i = 2; i < escaped.size(); ++i) {
            ASSERT_FALSE(escaped[i - 2] == 0 && escaped[i - 1] == 0 && escaped[i] <= 2) << "start code emulated";
        }
        ASSERT_EQ(hevcRemoveEmulationPrevention(escaped), rbsp);
    }
}

}  // namespace
}  // namespace pacemark
