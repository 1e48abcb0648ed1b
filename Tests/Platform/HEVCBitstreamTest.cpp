// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"
#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"

#include <gtest/gtest.h>

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
