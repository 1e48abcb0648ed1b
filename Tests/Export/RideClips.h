// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>


// Rides and camera clips that the synchronization places on them, written
// for the tests of the clip exports and the burn-in.
namespace pacemark::testing {

// `seconds` of a ride that starts at 2023-05-01T10:00:00Z and goes north at
// 5 m/s from 47.5° N 8.5° E, as a FIT file, one sample a second, with speed,
// power and heart rate changing every second so that every second's overlay
// looks different.
std::filesystem::path writeNorthboundRide(const std::filesystem::path& path, int seconds);

// A clip of `seconds` (`size` "WxH" at `frameRate`) with one camera GPS
// payload every `payloadSeconds` of movie, ten fixes each, putting the first
// frame at ride second `start` and moving `rate` ride seconds per movie
// second; without `start`, a clip without camera GPS.
struct GPSClip {
    std::optional<double> start;
    double rate = 1;
    int seconds = 2;
    std::string frameRate = "10";
    std::string size = "160x90";
    double payloadSeconds = 1;
};
void writeClipOnRide(const std::filesystem::path& path, const GPSClip& clip);

}  // namespace pacemark::testing
