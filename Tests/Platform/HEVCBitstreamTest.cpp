#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"
#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"

#include <gtest/gtest.h>

#include <random>
#include <tuple>

namespace pacemark {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HEVCBitstreamTest, ExpGolombCodesHaveTheirKnownBitsReadBackAndNeverReadPastTheEnd) {
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

TEST(HEVCNalUnitTest, AnnexBSplitsAtStartCodesAndEmulationPreventionKeepsThemOut) {
    const Bytes stream{0, 0, 0, 1, 0x40, 0x01, 0xAA, 0, 0, 1, 0x42, 0x01, 0, 0, 0, 0, 1, 0x44, 0x01, 0x00, 0x00, 0x03};
    std::vector<Bytes> units;
    for (const auto unit : hevcSplitAnnexB(stream)) units.emplace_back(unit.begin(), unit.end());
    EXPECT_EQ(units, (std::vector<Bytes>{{0x40, 0x01, 0xAA}, {0x42, 0x01}, {0x44, 0x01, 0x00, 0x00, 0x03}}));

    const HEVCNalUnit pps = HEVCNalUnit::parse(units.at(2));
    EXPECT_EQ(std::tuple(pps.type, pps.layerId, pps.rbsp), std::tuple(HEVCNalType::pps, 0, Bytes{0x00, 0x00}));
    EXPECT_THROW(HEVCNalUnit::parse(Bytes{0x80, 0x01, 0x00}), HEVCBitstreamError);

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
