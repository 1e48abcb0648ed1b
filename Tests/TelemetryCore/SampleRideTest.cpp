// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "../../samples/SampleRide.h"
#include "Telemetry/FITWriter.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

TEST(SampleRideTest, CommittedFileIsWhatTheGeneratorWrites) {
    const auto bytes = testing::readFileBytes(testing::sourceFolder() / "samples" / "sample-ride.fit");
    EXPECT_TRUE(bytes == samples::makeSampleRide())
        << "samples/sample-ride.fit differs from a fresh generation; run pacemark-make-sample-ride";
    // Other readers check the CRCs: the reflected 0x8005 CRC-16 (check value
    // 0xBB3D for "123456789"), stored little-endian behind the header and
    // behind the file, makes the CRC of each run zero.
    EXPECT_EQ(FITWriter::crc16(std::vector<std::uint8_t>{'1', '2', '3', '4', '5', '6', '7', '8', '9'}), 0xBB3D);
    EXPECT_EQ(FITWriter::crc16(std::span(bytes).first(14)), 0);
    EXPECT_EQ(FITWriter::crc16(bytes), 0);
}

}  // namespace
}  // namespace pacemark
