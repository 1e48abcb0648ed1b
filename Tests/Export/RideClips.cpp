// SPDX-License-Identifier: GPL-3.0-or-later
#include "RideClips.h"

#include <cmath>

#include "CameraTestClips.h"
#include "GPMFTestPayloads.h"
#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryTime.h"
#include "TestSupport.h"

namespace pacemark::testing {

namespace fs = std::filesystem;

namespace {

TelemetryTimestamp rideInstant(double rideSecond) {
    static const TelemetryTimestamp start = *parseISO8601InternetDateTime("2023-05-01T10:00:00Z");
    return start + std::chrono::microseconds(std::llround(rideSecond * 1e6));
}

double latitudeAt(double rideSecond) { return 47.5 + rideSecond * 5 / 111'320.0; }

}  // namespace

fs::path writeNorthboundRide(const fs::path& path, int seconds) {
    FITWriter writer;
    FITWriter::RecordLayout layout;
    layout.altitude = layout.cadence = layout.distance = false;
    writer.writeRecordDefinition(0, layout);
    for (int s = 0; s <= seconds; ++s) {
        TelemetrySample sample;
        sample.timestamp = rideInstant(s);
        sample.latitude = latitudeAt(s);
        sample.longitude = 8.5;
        sample.speedMetersPerSecond = 4 + (s * 7) % 11;
        sample.powerWatts = 100 + (s * 37) % 300;
        sample.heartRateBPM = 100 + s % 60;
        writer.writeRecord(0, sample);
    }
    writeFileBytes(path, writer.finish());
    return path;
}

void writeClipOnRide(const fs::path& path, const GPSClip& clip) {
    std::vector<TimedPayload> payloads;
    const int payloadCount = static_cast<int>(std::lround(clip.seconds / clip.payloadSeconds));
    for (int p = 0; clip.start && p < payloadCount; ++p) {
        std::vector<gpmf::TestFix> fixes;
        for (int k = 0; k < 10; ++k) {
            const double ride = *clip.start + clip.rate * clip.payloadSeconds * (p + 0.1 * k);
            fixes.push_back({latitudeAt(ride), 8.5, rideInstant(ride)});
        }
        payloads.push_back({gpmf::gps9Payload(fixes), clip.payloadSeconds * p, clip.payloadSeconds});
    }
    writeCameraClip(path, clip.seconds, payloads, {}, clip.frameRate, clip.size);
}

}  // namespace pacemark::testing
