// SPDX-License-Identifier: GPL-3.0-or-later
#include "Camera/GPMFReader.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "CameraExpectations.h"
#include "GPMFTestPayloads.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using namespace testing::gpmf;

// The GPS of a clip whose metadata is this one payload.
CameraGPS readOne(const Bytes& payload) {
    const GPMFPayload one{payload, 0, 1};
    return GPMFReader::readGPS(std::span(&one, 1));
}

GPMFError errorReading(const Bytes& payload) {
    return testing::thrownBy<GPMFError>([&] { readOne(payload); });
}

TEST(GPMFReaderTest, SharedRawPayloadsDecodeAsTheIndependentDecoderReadsThem) {
    const auto folder = testing::sharedCameraFolder();
    if (!std::filesystem::exists(folder / "gpmf")) GTEST_SKIP() << folder.string() << " is not present";
    int files = 0;
    for (const auto& file : testing::filesIn(folder / "gpmf")) {
        SCOPED_TRACE(file.string());
        const auto raw = testing::rawPayloads(folder / "gpmf" / file);
        const CameraGPS decoded = GPMFReader::readGPS(raw.payloads);
        testing::expectDecodedAsExpected(decoded, folder / "expected" / (file.string() + ".gps.json"));
        ++files;
    }
    EXPECT_EQ(files, 7);
}

TEST(GPMFReaderTest, GPS5PayloadsDecodeAsOneStream) {
    const Bytes first = device({gps5Stream("230501100000.000", 3, 150, 4)});
    // The second payload gives no scale: the first one's stays in force.
    const Bytes second = device({gps5Stream("230501100002.000", 3, 150, 4, false)});
    const GPMFPayload payloads[] = {{first, 0, 1}, {second, 1, 1}};
    const CameraGPS gps = GPMFReader::readGPS(payloads);
    ASSERT_TRUE(gps.hasGPS());
    const auto samples = gps.bestSamples();
    ASSERT_EQ(samples.size(), 8u);
    const auto start = *GPMFReader::parseGPSU("230501100000.000");
    EXPECT_EQ(*samples[1].utc, start + std::chrono::milliseconds(500));
    EXPECT_EQ(*samples[4].utc, start + std::chrono::seconds(2));
    // The last payload, with no stamp after it, keeps the step before it.
    EXPECT_EQ(*samples[7].utc, start + std::chrono::milliseconds(3500));
    EXPECT_DOUBLE_EQ(samples[5].movieSeconds, 1.25);
    EXPECT_NEAR(samples[3].latitude, 47.50003, 1e-9);
    EXPECT_NEAR(samples[4].latitude, 47.5, 1e-9);
    ASSERT_EQ(gps.devices.front().gps5Stamps.size(), 2u);
}

TEST(GPMFReaderTest, PayloadWithoutGPSStreamsHasNoCameraGPS) {
    EXPECT_FALSE(readOne(device({nested("STRM", {klv("STNM", 'c', 5, 1, textBytes("Accel"))})})).hasGPS());
}

TEST(GPMFReaderTest, TrailingZeroPaddingIsAccepted) {
    Bytes payload = device({gps5Stream("230501100000.000", 3, 150, 2)});
    payload.insert(payload.end(), 12, 0);
    EXPECT_EQ(readOne(payload).bestSamples().size(), 2u);
}

TEST(GPMFReaderTest, MalformedPayloadsGiveRussianErrors) {
    const Bytes good = device({gps5Stream("230501100000.000", 3, 150, 2)});
    // A stream claiming more bytes than its device container holds.
    Bytes pastEnd = good;
    const std::size_t strm = 8 + 12 + 16;  // DEVC header, DVID, DVNM
    ASSERT_EQ(std::string(pastEnd.begin() + strm, pastEnd.begin() + strm + 4), "STRM");
    pastEnd[strm + 6] = 0x7f;
    Bytes deep = klv("DATA", 'B', 1, 1, {1});
    for (int level = 0; level < 12; ++level) deep = nested(level % 2 ? "AAAA" : "BBBB", {deep});
    using Case = GPMFError::Case;
    const std::tuple<Bytes, Case, const char*> cases[] = {
        {Bytes(good.begin(), good.end() - 10), Case::truncated, "Метаданные камеры обрезаны"},
        {pastEnd, Case::sizePastEnd, "«STRM»"},
        {device({nested("STRM", {klv("SCAL", 'l', 4, 1, int32s({0})), klv("GPS5", 'l', 20, 1, int32s({1, 2, 3, 4, 5}))})}),
         Case::wrongType, ""},  // a zero scale
        {device({nested("STRM", {nested("STRM", {})})}), Case::nestingLoop, "вложен сам в себя"},
        {deep, Case::tooDeep, "слишком глубокая вложенность"},
    };
    for (const auto& [payload, errorCase, text] : cases) {
        const GPMFError error = errorReading(payload);
        EXPECT_EQ(error.errorCase(), errorCase) << text;
        EXPECT_NE(error.errorDescription().find(text), std::string::npos) << error.errorDescription();
    }
}

TEST(GPMFReaderTest, GPSUStampsOutsideTheCalendarAreNotTimes) {
    EXPECT_EQ(GPMFReader::parseGPSU("191118234514.000"), parseISO8601InternetDateTime("2019-11-18T23:45:14Z"));
    EXPECT_FALSE(GPMFReader::parseGPSU("191318234514.000"));
    EXPECT_FALSE(GPMFReader::parseGPSU("19111823451"));
}

}  // namespace
}  // namespace pacemark
