#include "HEVCAlphaParameterSets.h"
#include "HEVCBitReader.h"
#include "HEVCBitWriter.h"
#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"
#include "HEVCSliceHeader.h"
#include "QuickTimeTestReader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace pacemark {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(HEVCBitstreamTest, ExpGolombCodesHaveTheirKnownBitsReadBackAndNeverReadPastTheEnd) {
    // ue: 0 -> 1, 1 -> 010, 2 -> 011, 3 -> 00100, 7 -> 0001000; se: 1 -> 010,
    // -1 -> 011, 2 -> 00100, -2 -> 00101; then the stop bit.
    HEVCBitWriter known;
    for (const std::uint32_t value : {0u, 1u, 2u, 3u, 7u}) known.writeUnsignedExpGolomb(value);
    for (const std::int32_t value : {1, -1, 2, -2}) known.writeSignedExpGolomb(value);
    EXPECT_EQ(known.bitPosition(), 35u);
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
    EXPECT_EQ(pps.type, HEVCNalType::pps);
    EXPECT_EQ(pps.layerId, 0);
    EXPECT_EQ(pps.rbsp, (Bytes{0x00, 0x00}));
    EXPECT_THROW(HEVCNalUnit::parse(Bytes{0x80, 0x01, 0x00}), HEVCBitstreamError);

    // Emulation prevention is inserted and removed where start codes could appear.
    EXPECT_EQ(hevcAddEmulationPrevention(Bytes{0, 0, 0, 0, 0, 1, 0, 0, 4}),
              (Bytes{0, 0, 3, 0, 0, 3, 0, 1, 0, 0, 4}));
    EXPECT_EQ(hevcAddEmulationPrevention(Bytes{5, 0, 0}), (Bytes{5, 0, 0, 3}));
    EXPECT_EQ(hevcAddEmulationPrevention(Bytes{0, 0, 3}), (Bytes{0, 0, 3, 3}));
    EXPECT_EQ(hevcRemoveEmulationPrevention(Bytes{0, 0, 3, 0, 0, 3, 0, 1, 0, 0, 4}), (Bytes{0, 0, 0, 0, 0, 1, 0, 0, 4}));

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

// The reference movie was written by another encoder; its parameter sets and
// slices are known-good byte strings for the parsers and rewriters.
class HEVCReferenceStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto path = pacemark::testing::sharedReferenceFolder() / "hevc-alpha" / "ref_hvc1_bframes.mov";
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "reference movie not found: " << path;
        track = pacemark::testing::readQuickTimeHEVCTrack(path);
        for (const auto& bytes : pacemark::testing::hvcCNalUnits(track.hvcC)) {
            HEVCNalUnit unit = HEVCNalUnit::parse(bytes);
            escaped[{unit.type, unit.layerId}] = bytes;
            units[{unit.type, unit.layerId}] = std::move(unit);
        }
    }
    pacemark::testing::QuickTimeHEVCTrack track;
    std::map<std::pair<int, int>, HEVCNalUnit> units;
    std::map<std::pair<int, int>, Bytes> escaped;
};

// Parser faults in the fields our writers copy (profile, sizes, conformance
// window, picture ordering) show as differences from the reference bytes.
TEST_F(HEVCReferenceStreamTest, ParameterSetsWeWriteOrRewriteEqualTheReferenceBytes) {
    // Same ids: every bit comes back, including the trailing bits.
    for (const auto& [key, unit] : units) {
        if (key.first != HEVCNalType::sps && key.first != HEVCNalType::pps) continue;
        HEVCNalUnit copy = unit;
        if (key.first == HEVCNalType::sps) {
            copy.rbsp = hevcRewriteSequenceParameterSetId(unit.rbsp, static_cast<std::uint32_t>(key.second));
        } else {
            copy.rbsp = hevcRewritePictureParameterSetIds(unit.rbsp, static_cast<std::uint32_t>(key.second),
                                                          static_cast<std::uint32_t>(key.second));
        }
        EXPECT_EQ(copy.serialize(), escaped.at(key)) << "NAL type " << key.first << " layer " << key.second;
    }

    // The layer-0 PPS moved to ids 1/1 on layer 1 is the reference's layer-1 PPS.
    HEVCNalUnit pps = units.at({HEVCNalType::pps, 0});
    pps.rbsp = hevcRewritePictureParameterSetIds(pps.rbsp, 1, 1);
    pps.layerId = 1;
    EXPECT_EQ(pps.serialize(), escaped.at({HEVCNalType::pps, 1}));
    const auto parsed = HEVCPictureParameterSet::parse(pps.rbsp);
    EXPECT_EQ(parsed.id, 1u);
    EXPECT_EQ(parsed.sequenceParameterSetId, 1u);
    EXPECT_TRUE(parsed.entropyCodingSync);

    // A longer id code shifts the rest; moving back restores the bytes.
    const HEVCNalUnit& alphaSps = units.at({HEVCNalType::sps, 1});
    const Bytes far = hevcRewriteSequenceParameterSetId(alphaSps.rbsp, 14);
    EXPECT_EQ(HEVCSequenceParameterSet::parse(far).id, 14u);
    EXPECT_EQ(HEVCSequenceParameterSet::parse(far).heightLumaSamples, 192u);
    EXPECT_EQ(hevcRewriteSequenceParameterSetId(far, 1), alphaSps.rbsp);

    // The reference signals layer set {0, 1} in the base VPS, also a
    // DependencyId dimension, and gives the alpha layer the Scalable Main
    // profile; with those three choices our VPS equals the reference bit for
    // bit. (Our own layout is checked by HEVCAlphaMovieCheck.) The alpha SEI
    // differs from the reference only in its premultiplied flag.
    const auto sps = HEVCSequenceParameterSet::parse(units.at({HEVCNalType::sps, 0}).rbsp);
    HEVCNalUnit vps{HEVCNalType::vps, 0, 1, hevcWriteAlphaVideoParameterSet(sps, {true, true, true})};
    EXPECT_EQ(vps.serialize(), escaped.at({HEVCNalType::vps, 0}));
    EXPECT_EQ(hevcMakeAlphaChannelInfo(HEVCAlphaColourMode::straight).serialize(), escaped.at({HEVCNalType::prefixSei, 0}));

    auto truncated = units.at({HEVCNalType::sps, 0}).rbsp;
    truncated.resize(12);
    EXPECT_THROW(HEVCSequenceParameterSet::parse(truncated), HEVCBitstreamError);
}

TEST_F(HEVCReferenceStreamTest, SliceHeadersParseToTypesAndPictureOrderAndRewriteLosslessly) {
    std::map<int, HEVCSequenceParameterSet> sps;
    std::map<int, HEVCPictureParameterSet> pps;
    for (int layer = 0; layer < 2; ++layer) {
        sps[layer] = HEVCSequenceParameterSet::parse(units.at({HEVCNalType::sps, layer}).rbsp);
        pps[layer] = HEVCPictureParameterSet::parse(units.at({HEVCNalType::pps, layer}).rbsp);
    }
    const std::vector<std::pair<HEVCSliceType, int>> expected{
        {HEVCSliceType::i, 0}, {HEVCSliceType::p, 4}, {HEVCSliceType::b, 2}, {HEVCSliceType::b, 1},
        {HEVCSliceType::b, 3}, {HEVCSliceType::p, 8}, {HEVCSliceType::b, 6}, {HEVCSliceType::b, 5},
        {HEVCSliceType::b, 7}, {HEVCSliceType::p, 11}, {HEVCSliceType::b, 10}, {HEVCSliceType::b, 9},
        {HEVCSliceType::i, 0}};
    ASSERT_EQ(track.samples.size(), 24u);
    HEVCPictureOrderCounter counters[2];
    for (std::size_t s = 0; s < expected.size(); ++s) {
        const auto nals = pacemark::testing::lengthPrefixedNalUnits(track.samples[s]);
        ASSERT_EQ(nals.size(), 2u);
        for (const auto& bytes : nals) {
            const HEVCNalUnit slice = HEVCNalUnit::parse(bytes);
            const int layer = slice.layerId;
            const HEVCSliceHeader header = HEVCSliceHeader::parse(slice, sps.at(layer), pps.at(layer));
            EXPECT_EQ(header.sliceType, expected[s].first) << "sample " << s;
            EXPECT_EQ(counters[layer].next(slice.type, slice.temporalIdPlus1 - 1, header.picOrderCntLsb,
                                           sps.at(layer).log2MaxPicOrderCntLsb),
                      expected[s].second)
                << "sample " << s << " layer " << layer;

            // Out to the other layer's PPS id and back: byte-identical NAL.
            const HEVCNalUnit moved = hevcRewriteSlice(slice, header, 1 - static_cast<std::uint32_t>(layer), 1 - layer);
            const HEVCSliceHeader movedHeader = HEVCSliceHeader::parse(moved, sps.at(1 - layer), pps.at(1 - layer));
            EXPECT_EQ(movedHeader.sliceType, header.sliceType);
            EXPECT_EQ(Bytes(moved.rbsp.begin() + static_cast<std::ptrdiff_t>(movedHeader.sliceDataByteOffset), moved.rbsp.end()),
                      Bytes(slice.rbsp.begin() + static_cast<std::ptrdiff_t>(header.sliceDataByteOffset), slice.rbsp.end()));
            const HEVCNalUnit back = hevcRewriteSlice(moved, movedHeader, static_cast<std::uint32_t>(layer), layer);
            EXPECT_EQ(back.serialize(), bytes) << "sample " << s << " layer " << layer;
        }
    }
}

}  // namespace
}  // namespace pacemark
