// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PacemarkError.h"
#include "Telemetry/TelemetryTime.h"

// The camera's timed metadata ("GPMF"): key-length-value entries, each an
// 8-byte header (four-character key, type letter, structure size, repeat
// count, big-endian) followed by structure size × repeat bytes of data padded
// to 32 bits. Type 0 nests further entries: a payload is a list of device
// containers (DEVC), each holding stream containers (STRM) whose leading
// entries (scale, complex type, GPS fix…) describe the data entry after them.
//
// Everything here reads untrusted bytes: every size is checked against the
// bytes that hold it, nesting is limited, and a malformed payload ends the
// reading with a GPMFError rather than a partial answer.
namespace pacemark {

class GPMFError : public PacemarkError {
public:
    enum class Case {
        truncated,    // an entry's header or data runs past the payload's end
        sizePastEnd,  // a nested entry claims more bytes than its container holds
        wrongType,    // a known entry has a type or size it cannot have
        nestingLoop,  // a container holds a container of its own kind
        tooDeep,      // containers nested deeper than any camera writes
    };
    GPMFError(Case errorCase, std::string_view key, std::size_t payloadIndex, std::size_t offset);
    Case errorCase() const { return case_; }

private:
    Case case_;
};

// One payload of the metadata track and the stretch of the movie it covers.
struct GPMFPayload {
    std::span<const std::uint8_t> bytes;
    double movieSeconds = 0;
    double durationSeconds = 0;
};

// One GPS fix as the camera recorded it.
struct CameraGPSSample {
    double latitude = 0;   // degrees
    double longitude = 0;  // degrees
    double altitudeMeters = 0;
    double speed2DMetersPerSecond = 0;
    double speed3DMetersPerSecond = 0;
    int fix = 0;           // 0 none, 2 two-dimensional, 3 three-dimensional
    int precision = 9999;  // dilution of precision × 100
    // GPS9: the receiver's time of this fix. GPS5: the payload's stamp spread
    // over its samples (the receiver's times when the payload also has GPS9).
    std::optional<TelemetryTimestamp> utc;
    double movieSeconds = 0;  // the sample's time in the movie
    std::size_t payloadIndex = 0;

    // Below this dilution (× 100) a position is good enough to place a clip.
    static constexpr int goodPrecisionLimit = 500;
    bool hasFix() const { return fix >= 2; }
    bool isUsable() const { return hasFix() && precision < goodPrecisionLimit; }
};

// A GPS5 payload's time stamp (GPSU) as the camera wrote it, with the movie
// time of the payload's first sample. Several cameras write a stale stamp, so
// no single one of these is trustworthy on its own.
struct CameraGPSStamp {
    std::size_t payloadIndex = 0;
    double movieSeconds = 0;
    TelemetryTimestamp utc;
    int fix = 0;
    int precision = 9999;
};

struct CameraGPSDevice {
    std::uint32_t id = 0;
    std::string name;
    std::vector<CameraGPSSample> gps5;
    std::vector<CameraGPSSample> gps9;
    std::vector<CameraGPSStamp> gps5Stamps;
};

struct CameraGPS {
    std::vector<CameraGPSDevice> devices;

    // The first device that recorded GPS, if any.
    const CameraGPSDevice* gpsDevice() const;
    bool hasGPS() const { return gpsDevice() != nullptr; }
    // The device's best samples: GPS9 where it was recorded, else GPS5.
    std::span<const CameraGPSSample> bestSamples() const;
};

namespace GPMFReader {

inline constexpr int maximumNestingDepth = 8;

// One entry of a container, with its data (unpadded) inside the payload.
struct Entry {
    std::string_view key;  // four characters
    char type = 0;         // 0 for a container
    std::uint8_t structureSize = 0;
    std::uint16_t repeat = 0;
    std::span<const std::uint8_t> data;
    std::size_t offset = 0;  // of the header, from the payload's start
};

// The entries of one container level in order; throws GPMFError. A run of
// zero bytes where the next header would start ends the level (cameras pad
// payloads with zeros). Every nested container below is checked as well.
std::vector<Entry> entries(std::span<const std::uint8_t> payload, std::size_t payloadIndex = 0);
// The entries inside a container entry (already checked by entries()).
std::vector<Entry> children(const Entry& container, std::span<const std::uint8_t> payload,
                            std::size_t payloadIndex = 0);

// Bytes of one value of a simple type letter; 0 for complex, container or
// unknown letters.
std::size_t typeSize(char type);

// Every device's GPS streams in the payloads, in payload order; throws
// GPMFError for a malformed payload. Sample times in the movie are spread
// between successive payloads (by the stream's STMP times where the camera
// writes them), GPS5 times between successive GPSU stamps.
CameraGPS readGPS(std::span<const GPMFPayload> payloads);

// A GPSU text "yymmddhhmmss.sss" (UTC, years 2000–2099); absent when malformed.
std::optional<TelemetryTimestamp> parseGPSU(std::string_view text);

}  // namespace GPMFReader
}  // namespace pacemark
