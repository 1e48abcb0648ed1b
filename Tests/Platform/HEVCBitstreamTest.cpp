// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"
#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"

#include <gtest/gtest.h>

#include <tuple>

namespace pacemark {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Fields of the streams the movie checker reads come from any file: input
// cut short or out of range throws instead of reading zeros or wrapping.
TEST(HEVCBitstreamTest, BrokenInputIsRefusedInsteadOfReadAsZeros) {
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

// (What every decoded movie shows is left to the movie tests; these are the
// patterns x265's pictures rarely or never hold.)
TEST(HEVCNalUnitTest, AnnexBUnitsEndBeforeTheNextStartCode) {
    const Bytes stream{0, 0, 0, 1, 0x40, 0x01, 0xAA, 0, 0, 0, 1, 0x42, 0x01};
    std::vector<Bytes> units;
    for (const auto unit : hevcSplitAnnexB(stream)) units.emplace_back(unit.begin(), unit.end());
    EXPECT_EQ(units, (std::vector<Bytes>{{0x40, 0x01, 0xAA}, {0x42, 0x01}}));
}

// Two zeros and then any byte up to 3 get an escape, a 3 included: else a
// decoder's removal would drop that 3.
TEST(HEVCNalUnitTest, EmulationPreventionEscapesEveryPrefixOfAStartCode) {
    const Bytes rbsp{5, 0, 0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0x80};
    const Bytes escaped{5, 0, 0, 3, 0, 0, 3, 1, 0, 0, 3, 2, 0, 0, 3, 3, 0x80};
    EXPECT_EQ(hevcAddEmulationPrevention(rbsp), escaped);
    EXPECT_EQ(hevcRemoveEmulationPrevention(escaped), rbsp);
}

}  // namespace
}  // namespace pacemark
