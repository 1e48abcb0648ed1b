// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "Telemetry/TelemetryTime.h"

// Camera metadata payloads built entry by entry, for tests.
namespace pacemark::testing::gpmf {

using Bytes = std::vector<std::uint8_t>;

// One entry: header, data, zero padding to 32 bits.
Bytes klv(std::string_view key, char type, std::uint8_t structureSize, std::uint16_t repeat, const Bytes& data);
// A container of the given entries.
Bytes nested(std::string_view key, const std::vector<Bytes>& children);
Bytes int32s(const std::vector<std::int32_t>& values);
Bytes textBytes(std::string_view text);
// A device container (DVID 1, DVNM "Camera") around the streams.
Bytes device(const std::vector<Bytes>& streams);

// A GPS5 stream of `count` samples moving north by 1e-5° per sample.
Bytes gps5Stream(std::string_view stamp, int fix, int precision, int count, bool withScale = true);

// One fix of a test track.
struct TestFix {
    double latitude = 0;
    double longitude = 0;
    TelemetryTimestamp utc;
};
// A whole payload with one GPS9 stream of the fixes (3D fix, DOP 1.5).
Bytes gps9Payload(std::span<const TestFix> fixes);

}  // namespace pacemark::testing::gpmf
