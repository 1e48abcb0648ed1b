// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the camera metadata reader, as one payload and as
// the payloads its top-level entries make. Any input must end in GPS samples
// or a GPMFError; the clip clock built from the samples must be a clock.
//
// fuzz-sources: Camera/GPMFReader.cpp Camera/ClipClock.cpp Telemetry/TelemetryTime.cpp
// fuzz-seeds: raw
// The cameras' payloads are a few kilobytes each; whole shared dumps are up
// to 75 kB and hold every stream the cameras write.
// fuzz-options: -max_len=131072

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "Camera/ClipClock.h"
#include "Camera/GPMFReader.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

void check(std::span<const pacemark::GPMFPayload> payloads) {
    using namespace pacemark;
    try {
        const CameraGPS gps = GPMFReader::readGPS(payloads);
        for (const auto& device : gps.devices) {
            for (const auto* samples : {&device.gps5, &device.gps9}) {
                for (const auto& sample : *samples) {
                    require(std::isfinite(sample.movieSeconds));
                    require(sample.payloadIndex < payloads.size());
                    if (sample.hasFix()) require(std::isfinite(sample.latitude) && std::fabs(sample.latitude) <= 90);
                }
            }
        }
        if (const auto clock = ClipClock::fromCameraGPS(gps)) {
            require(std::isfinite(clock->rate()) && clock->rate() > 0);
            require(std::isfinite(clock->uncertaintySeconds()) && clock->uncertaintySeconds() >= 0);
            require(!clock->knots().empty());
            (void)clock->utcAt(0);
            (void)clock->utcAt(1e4);
        }
    } catch (const GPMFError& error) {
        require(!error.errorDescription().empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace pacemark;
    const std::span<const std::uint8_t> bytes(data, size);
    const GPMFPayload whole{bytes, 0, 1.001};
    check(std::span(&whole, 1));
    try {
        std::vector<GPMFPayload> payloads;
        for (const auto& entry : GPMFReader::entries(bytes)) {
            const std::size_t end = std::min(size, entry.offset + 8 + ((entry.data.size() + 3) & ~std::size_t{3}));
            const double start = 1.001 * static_cast<double>(payloads.size());
            payloads.push_back({bytes.subspan(entry.offset, end - entry.offset), start, 1.001});
        }
        check(payloads);
    } catch (const GPMFError& error) {
        require(!error.errorDescription().empty());
    }
    return 0;
}
