// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <vector>

#include "Camera/GPMFReader.h"

namespace pacemark::testing {

// The shared camera recordings (clips/, gpmf/, expected/), if present.
std::filesystem::path sharedCameraFolder();

// Checks decoded GPS against an expectation file of the shared camera folder:
// per stream the count, positions to 1e-7°, altitude and speeds to 1e-3, fix
// and precision exactly, movie times within 0.1 s, GPS9 times within 2 ms and
// GPS5 times within 0.1 s from the second payload on (the first payload's
// stamp is stale on several cameras, which the expectation does not know).
void expectDecodedAsExpected(const CameraGPS& decoded, const std::filesystem::path& expectationFile);

// The payloads of a raw metadata dump (top-level containers one after the
// other), placed one per 1.001 s of movie as the cameras write them.
struct RawPayloads {
    std::vector<std::uint8_t> bytes;
    std::vector<GPMFPayload> payloads;
};
RawPayloads rawPayloads(const std::filesystem::path& file);

}  // namespace pacemark::testing
