// SPDX-License-Identifier: GPL-3.0-or-later
#include "CameraExpectations.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <fstream>

#include "TestSupport.h"

namespace pacemark::testing {

std::filesystem::path sharedCameraFolder() { return sharedTestDataFolder() / "cameras"; }

namespace {

void expectStream(const std::vector<CameraGPSSample>& decoded, const nlohmann::json& stream, bool nine,
                  const std::string& label) {
    const auto& samples = stream.at("samples");
    ASSERT_EQ(decoded.size(), samples.size()) << label;
    const std::size_t firstPayload = decoded.empty() ? 0 : decoded.front().payloadIndex;
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        const auto& expected = samples[i];
        const auto& value = expected.at("value");
        const CameraGPSSample& sample = decoded[i];
        const std::string where = label + " sample " + std::to_string(i);
        EXPECT_NEAR(sample.latitude, value[0].get<double>(), 1e-7) << where;
        EXPECT_NEAR(sample.longitude, value[1].get<double>(), 1e-7) << where;
        EXPECT_NEAR(sample.altitudeMeters, value[2].get<double>(), 1e-3) << where;
        EXPECT_NEAR(sample.speed2DMetersPerSecond, value[3].get<double>(), 1e-3) << where;
        EXPECT_NEAR(sample.speed3DMetersPerSecond, value[4].get<double>(), 1e-3) << where;
        if (nine) {
            EXPECT_EQ(sample.fix, value[8].get<int>()) << where;
            EXPECT_EQ(sample.precision, std::lround(value[7].get<double>() * 100)) << where;
        } else {
            EXPECT_EQ(sample.fix, expected.at("fix").get<int>()) << where;
            EXPECT_EQ(sample.precision, expected.at("precision").get<int>()) << where;
        }
        EXPECT_NEAR(sample.movieSeconds, expected.at("ctsMilliseconds").get<double>() / 1000, 0.1) << where;
        const auto utc = parseISO8601InternetDateTime(expected.at("utc").get<std::string>());
        ASSERT_TRUE(utc.has_value()) << where;
        ASSERT_TRUE(sample.utc.has_value()) << where;
        if (nine) {
            EXPECT_NEAR(secondsBetween(*utc, *sample.utc), 0, 0.002) << where;
        } else if (sample.payloadIndex != firstPayload) {
            EXPECT_NEAR(secondsBetween(*utc, *sample.utc), 0, 0.1) << where;
        }
    }
}

}  // namespace

void expectDecodedAsExpected(const CameraGPS& decoded, const std::filesystem::path& expectationFile) {
    std::ifstream input(expectationFile);
    ASSERT_TRUE(input) << expectationFile;
    const auto expectation = nlohmann::json::parse(input);
    std::size_t expectedStreams = 0;
    for (const auto& device : expectation.at("devices")) {
        if (device.at("streams").empty()) continue;
        const auto& idValue = device.at("deviceId");
        const auto id = idValue.is_string() ? static_cast<std::uint32_t>(std::stoul(idValue.get<std::string>()))
                                            : idValue.get<std::uint32_t>();
        const auto found = std::find_if(decoded.devices.begin(), decoded.devices.end(),
                                        [&](const CameraGPSDevice& d) { return d.id == id; });
        for (const auto& stream : device.at("streams")) {
            ++expectedStreams;
            ASSERT_NE(found, decoded.devices.end()) << "device " << id << " missing";
            const bool nine = stream.at("key") == "GPS9";
            expectStream(nine ? found->gps9 : found->gps5, stream, nine,
                         expectationFile.filename().string() + " " + stream.at("key").get<std::string>());
        }
    }
    EXPECT_EQ(decoded.hasGPS(), expectedStreams > 0) << expectationFile;
}

RawPayloads rawPayloads(const std::filesystem::path& file) {
    RawPayloads raw;
    raw.bytes = readFileBytes(file);
    const std::span<const std::uint8_t> bytes(raw.bytes);
    for (const auto& entry : GPMFReader::entries(bytes)) {
        const std::size_t size = (entry.data.size() + 3) & ~std::size_t{3};
        const double start = 1.001 * static_cast<double>(raw.payloads.size());
        raw.payloads.push_back({bytes.subspan(entry.offset, std::min(8 + size, bytes.size() - entry.offset)), start,
                                1.001});
    }
    return raw;
}

}  // namespace pacemark::testing
