// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "Telemetry/FITParser.h"
#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using Endian = FITParser::Endian;
using Field = FITWriter::FieldSpec;
using Values = std::vector<FITValue>;
constexpr std::uint16_t recordMessage = 20;

TelemetryTimestamp fitTime(std::int64_t seconds) { return FITParser::fitEpoch + std::chrono::seconds{seconds}; }

std::vector<TelemetrySample> parse(const std::vector<std::uint8_t>& bytes) { return FITParser().parse(bytes); }

// A sample with the readings `fill` sets, the others absent.
TelemetrySample sampleWith(const std::function<void(TelemetrySample&)>& fill) {
    TelemetrySample sample;
    fill(sample);
    return sample;
}

FITParserError::Case failureCase(const std::vector<std::uint8_t>& bytes) {
    return testing::thrownBy<FITParserError>([&] { return parse(bytes); }).errorCase();
}

void setDataSize(std::vector<std::uint8_t>& file, std::uint32_t size) {
    for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<std::uint8_t>(size >> (8 * i));
}

// A record stream with one heart-rate field (and a timestamp) per record.
std::vector<std::uint8_t> heartRateFile(std::initializer_list<std::int64_t> rates, std::uint8_t local = 0) {
    FITWriter writer;
    writer.writeDefinition(local, recordMessage, {{253, 4, FITBaseType::uint32}, {3, 1, FITBaseType::uint8}});
    std::uint32_t t = 1000;
    for (std::int64_t rate : rates) writer.writeData(local, Values{t++, rate});
    return writer.finish();
}

TEST(FITParserTest, DamagedFilesFailWithTheirCase) {
    const auto valid = heartRateFile({120, 121});
    const auto damaged = [&](const std::function<void(std::vector<std::uint8_t>&)>& damage) {
        auto bytes = valid;
        damage(bytes);
        return bytes;
    };
    using Case = FITParserError::Case;
    const std::pair<std::vector<std::uint8_t>, Case> cases[] = {
        {{valid.begin(), valid.begin() + 13}, Case::invalidHeader},
        {damaged([](auto& bytes) { bytes[0] = 255; }), Case::invalidHeader},  // longer than the file
        {damaged([](auto& bytes) { bytes[9] = 'f'; }), Case::invalidHeader},  // the signature is case-sensitive
        // Two CRC bytes do not make up for three missing data bytes.
        {damaged([](auto& bytes) { setDataSize(bytes, static_cast<std::uint32_t>(bytes.size() - 14 - 2 + 3)); }),
         Case::invalidDataSize},
        {damaged([](auto& bytes) { setDataSize(bytes, 0xFFFFFFFF); }), Case::invalidDataSize},
        // A declared end inside the last message: it is never read past.
        {damaged([](auto& bytes) { setDataSize(bytes, static_cast<std::uint32_t>(bytes.size() - 14 - 2 - 1)); }),
         Case::invalidDataSize},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(failureCase(cases[i].first), cases[i].second) << "case " << i;
    }

    // A bad header leaves nothing to recover either.
    EXPECT_THROW(FITParser().parseRecovering(cases[2].first), FITParserError);
}

// Without its CRC the file still holds the whole data section; files chained
// behind it are not read.
TEST(FITParserTest, OnlyTheFirstOfChainedFilesIsRead) {
    const auto valid = heartRateFile({120, 121});
    EXPECT_EQ(parse({valid.begin(), valid.end() - 2}).size(), 2u);
    EXPECT_EQ(parse(FITWriter::chain(std::vector{valid, heartRateFile({90, 91, 92})})), parse(valid));
}

TEST(FITParserTest, DefinitionsOfAnEarlierFileAreForgotten) {
    // A parser keeps no definitions from an earlier file: a data message of a
    // local message defined only there fails, naming it in Russian.
    FITParser parser;
    ASSERT_EQ(parser.parse(heartRateFile({120}, 5)).size(), 1u);

    FITWriter reliesOnOldState;
    reliesOnOldState.writeRawBytes(std::vector<std::uint8_t>{0x05, 0x78});  // data message, local 5
    const auto orphan = reliesOnOldState.finish();
    const auto error = testing::thrownBy<FITParserError>([&] { return parser.parse(orphan); });
    EXPECT_EQ(error.errorCase(), FITParserError::Case::missingDefinition);
    EXPECT_EQ(error.localMessage(), 5);
    EXPECT_EQ(error.errorDescription(), "У локального FIT-сообщения 5 нет определения.");

    // With nothing readable before the damage, a recovering load fails with
    // the strict error.
    testing::TemporaryFolder folder;
    testing::writeFileBytes(folder / "orphan.fit", orphan);
    const auto recovering = testing::thrownBy<FITParserError>(
        [&] { return TelemetryFileLoader::load(folder / "orphan.fit", TelemetryDecoding::recover); });
    EXPECT_EQ(recovering.errorCase(), FITParserError::Case::missingDefinition);
    EXPECT_EQ(recovering.readableRecordCount(), 0u);
}

// A compressed header's offset replaces the low five bits of the latest
// time, rolling over to the next 32 seconds when it would go back.
TEST(FITParserTest, CompressedTimestampsFollowTheLatestTime) {
    FITWriter writer;
    writer.writeDefinition(0, recordMessage, {{253, 4, FITBaseType::uint32}, {3, 1, FITBaseType::uint8}});
    writer.writeDefinition(1, recordMessage, {{3, 1, FITBaseType::uint8}});
    writer.writeCompressedData(1, 7, Values{100});  // before any timestamp: none
    writer.writeData(0, Values{1000u, 101});
    for (const std::uint8_t offset : {10, 10, 6, 5}) writer.writeCompressedData(1, offset, Values{102});
    // After the last second a 32-bit timestamp can hold, the clock does not wrap.
    writer.writeData(0, Values{0xFFFFFFFEu, 120});
    // An invalid timestamp field leaves the header's time.
    writer.writeCompressedData(0, 1, Values{FITValue::invalid(), 121});
    const auto samples = parse(writer.finish());
    ASSERT_EQ(samples.size(), 8u);
    EXPECT_FALSE(samples[0].timestamp);
    EXPECT_EQ(samples[1].timestamp, fitTime(1000));
    EXPECT_EQ(samples[2].timestamp, fitTime(1002));
    EXPECT_EQ(samples[3].timestamp, fitTime(1002));  // same low bits: same second
    EXPECT_EQ(samples[4].timestamp, fitTime(1030));
    EXPECT_EQ(samples[5].timestamp, fitTime(1061));
    EXPECT_EQ(samples[7].timestamp, fitTime(0xFFFFFFFEll + 3));
}

TEST(FITParserTest, NumericValuesFollowBaseTypes) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        std::uint8_t baseType;
        Endian endian;
        std::optional<double> expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // The 16- and 32-bit types of the record fields, in either byte order,
    // are decoded from the real recordings (RecordingConformanceTest).
    const std::vector<Case> cases = {
        {{0xFF}, FITBaseType::enumeration, Endian::little, std::nullopt},
        {{0x7F}, FITBaseType::sint8, Endian::little, std::nullopt},
        // The "z" types treat all ones as invalid; zero is a value here.
        {{0x00}, FITBaseType::uint8z, Endian::little, 0},
        {{0xFF}, FITBaseType::uint8z, Endian::little, std::nullopt},
        {{0xFF, 0xFF, 0xFF, 0xFF}, FITBaseType::uint32z, Endian::little, std::nullopt},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, FITBaseType::sint64, Endian::little, std::nullopt},
        {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, FITBaseType::uint64, Endian::little, std::nullopt},
        {{0, 0, 0, 0, 0, 0, 0, 1}, FITBaseType::uint64, Endian::big, 1},
        // Floats have no invalid pattern.
        {{0xFF, 0xFF, 0xFF, 0xFF}, FITBaseType::float32, Endian::little, nan},
        {{0x3F, 0xF8, 0, 0, 0, 0, 0, 0}, FITBaseType::float64, Endian::big, 1.5},
        // No number in strings.
        {{'4', '2', 0}, FITBaseType::string, Endian::little, std::nullopt},
        // Arrays yield their first element; fields narrower than the type none.
        {{0x05, 0x00, 0x06, 0x00}, FITBaseType::uint16, Endian::little, 5},
        {{0x05}, FITBaseType::uint16, Endian::little, std::nullopt},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const auto value = FITParser::numericValue(c.bytes, 0, c.bytes.size(), c.baseType, c.endian);
        SCOPED_TRACE("case " + std::to_string(i));
        if (c.expected && std::isnan(*c.expected)) {
            EXPECT_TRUE(value && std::isnan(*value));
        } else {
            EXPECT_EQ(value, c.expected);
        }
    }
    // A field declared with size 0 has no value, whatever bytes follow it.
    const std::vector<std::uint8_t> after = {0x10};
    EXPECT_FALSE(FITParser::numericValue(after, 0, 0, FITBaseType::uint8, Endian::little));
    // Reading never leaves the buffer, even when asked to.
    EXPECT_FALSE(FITParser::numericValue(after, 0, 4, FITBaseType::uint32, Endian::little));
}

TEST(FITParserTest, ReadingsAreScaledWhenUsable) {
    struct Case {
        std::vector<Field> fields;
        std::vector<FITValue> values;
        std::vector<TelemetrySample> expected;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        // An invalid reading gives no sample.
        {{{3, 1, FITBaseType::uint8}}, {0xFF}, {}},
        // A later twin (enhanced altitude) wins, but an invalid twin (plain
        // speed) does not erase the valid one before it.
        {{{2, 2, FITBaseType::uint16}, {78, 4, FITBaseType::uint32}}, {2500, 3000},
         {sampleWith([](auto& s) { s.altitudeMeters = 100.0; })}},
        {{{73, 4, FITBaseType::uint32}, {6, 2, FITBaseType::uint16}}, {12000, FITValue::invalid()},
         {sampleWith([](auto& s) { s.speedMetersPerSecond = 12.0; })}},
        // Non-finite or huge floats are absent, the timestamp as well.
        {{{3, 8, FITBaseType::float64}, {7, 8, FITBaseType::float64}, {2, 4, FITBaseType::float32},
          {9, 8, FITBaseType::float64}, {6, 4, FITBaseType::float32}, {0, 8, FITBaseType::float64},
          {253, 8, FITBaseType::float64}},
         {1e300, inf, nan, -inf, nan, nan, 1e12},
         {TelemetrySample{}}},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        FITWriter writer;  // one record of the case's fields
        writer.writeDefinition(0, recordMessage, cases[i].fields);
        writer.writeData(0, cases[i].values);
        EXPECT_EQ(parse(writer.finish()), cases[i].expected) << "case " << i;
    }
}

// A real recording cut short, as a device whose battery died leaves it: the
// recovering decoder gives exactly the records of the whole messages before
// the cut, while strict decoding still refuses the file.

// What should survive a cut at `cut`, found with the strict decoder alone:
// the longest prefix that decodes as a whole file (with the header's data
// size rewritten to end there) ends at the last message boundary before the cut.
std::pair<std::size_t, std::vector<TelemetrySample>> strictlyDecodablePrefix(const std::vector<std::uint8_t>& bytes,
                                                                             std::size_t cut) {
    for (std::size_t length = cut; length > bytes[0]; --length) {
        std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        setDataSize(prefix, static_cast<std::uint32_t>(length - bytes[0]));
        try {
            return {length, parse(prefix)};
        } catch (const FITParserError&) {
        }
    }
    return {bytes[0], {}};
}

TEST(FITParserTest, RecordingCutAtTenOffsetsRecoversTheRecordsBeforeEachCut) {
    const auto file =
        testing::committedRecordingsFolder() / "fit" / "pf__elemnt-bolt-no-application-id-inside-developer-data-id.fit";
    const auto bytes = testing::readFileBytes(file);
    const std::size_t headerSize = bytes[0];
    const std::size_t dataEnd = headerSize + (bytes[4] | bytes[5] << 8 | bytes[6] << 16 | std::size_t{bytes[7]} << 24);
    testing::TemporaryFolder folder;
    for (int k = 1; k <= 10; ++k) {
        // Spread over the data section, off any regular stride (the last cut
        // drops a single byte).
        const std::size_t cut = k == 10 ? dataEnd - 1 : headerSize + (dataEnd - headerSize) * k / 10 + 7 * k;
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const auto [boundary, expected] = strictlyDecodablePrefix(bytes, cut);
        const auto path = folder / ("cut-" + std::to_string(k) + ".fit");
        testing::writeFileBytes(path, {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)});

        // The loader decodes strictly by default, saying how much a
        // recovering load would give (the error's text is in the note below);
        // recovering on request, with a note of what was skipped.
        const auto strict = testing::thrownBy<FITParserError>([&] { return TelemetryFileLoader::decode(path); });
        EXPECT_EQ(strict.readableRecordCount(), expected.size());
        std::optional<TelemetryDamage> damage;
        EXPECT_EQ(TelemetryFileLoader::decode(path, TelemetryDecoding::recover, &damage), expected);
        ASSERT_TRUE(damage);
        EXPECT_EQ(damage->noteText(), "Файл повреждён с байта " + std::to_string(boundary) + " из " +
                                          std::to_string(cut) +
                                          " (Секция данных FIT-файла обрезана.): прочитано точек до повреждения: " +
                                          std::to_string(expected.size()) + ".");
    }
}

}  // namespace
}  // namespace pacemark
