#include <gtest/gtest.h>

#include <string_view>

#include "Telemetry/FITWriter.h"

namespace pacemark {
namespace {

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(FITWriterTest, ChecksumsCoverHeaderAndFile) {
    // The reflected 0x8005 CRC-16 has the check value 0xBB3D for "123456789".
    EXPECT_EQ(FITWriter::crc16(bytesOf("123456789")), 0xBB3D);

    FITWriter writer;
    writer.writeRecordDefinition(0, {}, FITWriter::Endian::big);
    TelemetrySample sample;
    sample.heartRateBPM = 130;
    writer.writeRecord(0, sample);
    const auto file = writer.finish();
    ASSERT_EQ(file.size(), 14 + writer.dataSize() + 2);  // the parser tests read the header it writes
    // A CRC stored little-endian behind the bytes it covers makes the CRC of
    // the whole run zero.
    EXPECT_EQ(FITWriter::crc16(std::span(file).first(14)), 0);
    EXPECT_EQ(FITWriter::crc16(file), 0);

    const auto shortHeader = FITWriter(FITWriter::Options{.headerSize = 12}).finish();
    ASSERT_EQ(shortHeader.size(), 14u);
    EXPECT_EQ(FITWriter::crc16(shortHeader), 0);
}

TEST(FITWriterTest, ValuesAreEncodedInTheFieldsTypeAndByteOrder) {
    FITWriter writer(FITWriter::Options{.headerSize = 12});
    writer.writeDefinition(1, 20,
                           {{7, 2, FITBaseType::uint16},
                            {9, 2, FITBaseType::sint16},
                            {3, 3, FITBaseType::uint8},
                            {4, 4, FITBaseType::float32},
                            {5, 4, FITBaseType::uint32z}},
                           FITWriter::Endian::big, {{2, 2, 0, FITBaseType::uint16}});
    const FITValue values[] = {0x0102, -2, 7, 1.5, FITValue::invalid()};
    const FITValue developer[] = {0x0A0B};
    writer.writeCompressedData(1, 5, values, developer);
    const auto file = writer.finish();
    const std::vector<std::uint8_t> expected = {
        0x61, 0, 1, 0, 20, 5, 7, 2, 0x84, 9, 2, 0x83, 3, 3, 0x02, 4, 4, 0x88, 5, 4, 0x8C, 1, 2, 2, 0,  // definition
        0xA5, 0x01, 0x02, 0xFF, 0xFE, 7, 0xFF, 0xFF, 0x3F, 0xC0, 0, 0, 0, 0, 0, 0, 0x0A, 0x0B};     // data
    EXPECT_EQ(std::vector<std::uint8_t>(file.begin() + 12, file.end() - 2), expected);
    EXPECT_THROW(writer.writeData(2, values), std::logic_error);
    EXPECT_THROW(writer.writeCompressedData(1, 32, values), std::logic_error);
}

}  // namespace
}  // namespace pacemark
