// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The bundled sample ride: 45 minutes at one record per second around a
// closed loop with one climb and one descent, written with the project's FIT
// writer. Everything is computed from a fixed seed, so the bytes are the same
// on every run (the committed samples/sample-ride.fit is checked against a
// fresh generation by the tests).
//
// The file exercises the decoder's paths on purpose: little-endian records in
// the first half and big-endian ones (with developer fields) in the second,
// compressed-timestamp headers for a stretch of records, and a pause where
// the rider stands still without cadence or power.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryTime.h"

namespace pacemark::samples {

inline constexpr int sampleRideSeconds = 2700;

namespace detail {

inline constexpr double pi = 3.141592653589793;

// splitmix64: a tiny generator with a fixed, platform-independent sequence
// (the standard distributions are not specified bit for bit).
class SampleRandom {
public:
    explicit SampleRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [-1, 1).
    double symmetric() { return static_cast<double>(next() >> 11) * 0x1.0p-52 - 1.0; }

private:
    std::uint64_t state_;
};

inline double smoothstep(double x) {
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3 - 2 * x);
}

// Altitude along the loop, by fraction of its length: flat valley, a 240 m
// climb, a short summit plateau, the descent, and a few small rollers.
inline double altitudeAt(double fraction) {
    const double climb = fraction < 0.5 ? smoothstep((fraction - 0.12) / 0.33)
                                        : 1.0 - smoothstep((fraction - 0.58) / 0.27);
    return 142.0 + 240.0 * climb + 4.0 * std::sin(2 * pi * 9 * fraction);
}

// The loop as a polyline with cumulative lengths, scaled to `lengthMeters`.
struct Loop {
    std::vector<double> north;  // metres from the centre
    std::vector<double> east;
    std::vector<double> along;  // cumulative metres

    explicit Loop(double lengthMeters) {
        constexpr int points = 3600;
        for (int i = 0; i <= points; ++i) {
            const double theta = 2 * pi * i / points;
            const double radius = 1.0 + 0.22 * std::sin(3 * theta) + 0.08 * std::cos(5 * theta);
            north.push_back(radius * std::sin(theta) * 0.8);
            east.push_back(radius * std::cos(theta));
        }
        along.push_back(0);
        for (int i = 1; i <= points; ++i)
            along.push_back(along.back() + std::hypot(north[i] - north[i - 1], east[i] - east[i - 1]));
        const double scale = lengthMeters / along.back();
        for (int i = 0; i <= points; ++i) {
            north[i] *= scale;
            east[i] *= scale;
            along[i] *= scale;
        }
    }

    // North and east offsets at `meters` along the loop.
    std::array<double, 2> at(double meters) const {
        meters = std::clamp(meters, 0.0, along.back());
        const auto upper = std::upper_bound(along.begin(), along.end(), meters);
        const std::size_t i = std::clamp<std::size_t>(upper - along.begin(), 1, along.size() - 1);
        const double span = along[i] - along[i - 1];
        const double t = span > 0 ? (meters - along[i - 1]) / span : 0;
        return {north[i - 1] + t * (north[i] - north[i - 1]), east[i - 1] + t * (east[i] - east[i - 1])};
    }
};

struct RideSecond {
    TelemetrySample sample;
    std::int8_t temperatureCelsius = 0;
    std::uint16_t windDecimetersPerSecond = 0;
};

// Rides the loop once per call; returns the seconds and the distance covered.
inline std::vector<RideSecond> ride(double loopLengthMeters, double& coveredMeters) {
    constexpr double centreLatitude = 55.7102;
    constexpr double centreLongitude = 37.5531;
    constexpr double metersPerDegree = 111'195.0;
    constexpr int stopStart = 1985;
    constexpr int stopSeconds = 32;
    const Loop loop(loopLengthMeters);
    SampleRandom random(20240615);
    const auto start = TelemetryTimestamp{std::chrono::seconds{daysFromCivil(2024, 6, 15) * 86400 + 7 * 3600 + 30 * 60}};

    std::vector<RideSecond> seconds;
    double distance = 0;
    double speed = 0;
    double heartRate = 92;
    double temperature = 17.0;
    for (int t = 0; t < sampleRideSeconds; ++t) {
        const double fraction = std::min(distance / loopLengthMeters, 1.0);
        const double grade = (altitudeAt(std::min(fraction + 10.0 / loopLengthMeters, 1.0)) -
                              altitudeAt(std::max(fraction - 10.0 / loopLengthMeters, 0.0))) /
                             20.0 * 100.0;
        const bool stopped = t >= stopStart && t < stopStart + stopSeconds;
        // Target speed: about 33 km/h on the flat, slower uphill, faster down.
        double target = grade > 0 ? 9.2 / (1.0 + 0.22 * grade) : std::min(9.2 + 1.1 * -grade, 17.5);
        if (t < 20) target *= t / 20.0;  // rolling off from the start
        if (stopped) {
            speed = 0;
        } else if (t >= stopStart - 8 && t < stopStart) {
            speed = std::max(speed - 1.2, 0.0);  // braking for the stop
        } else {
            speed += 0.15 * (target - speed) + 0.12 * random.symmetric();
            speed = std::max(speed, 0.0);
        }
        distance += speed;

        // Power from gravity, rolling and air resistance for 82 kg; coasting
        // (no pedalling) on the steeper descents and while stopped.
        const double slope = grade / 100.0;
        double power = (82 * 9.81 * (slope + 0.005) * speed + 0.5 * 1.2 * 0.34 * speed * speed * speed) / 0.97;
        power += 12 * random.symmetric();
        const bool pedalling = !stopped && power > 25 && speed > 0.5;
        heartRate += 0.04 * ((pedalling ? 98 + 0.33 * power : 88) - heartRate) + 0.6 * random.symmetric();
        temperature += 0.002 * random.symmetric() + (fraction > 0.4 && fraction < 0.6 ? -0.0015 : 0.0004);

        const auto offset = loop.at(distance);
        RideSecond second;
        TelemetrySample& s = second.sample;
        s.timestamp = start + std::chrono::seconds{t};
        s.latitude = centreLatitude + offset[0] / metersPerDegree;
        s.longitude = centreLongitude + offset[1] / (metersPerDegree * std::cos(centreLatitude * pi / 180));
        s.altitudeMeters = altitudeAt(fraction) + 0.3 * random.symmetric();
        s.distanceMeters = distance;
        s.heartRateBPM = std::lround(heartRate);
        if (!stopped) s.speedMetersPerSecond = speed;
        if (pedalling) {
            s.powerWatts = std::lround(power);
            s.cadenceRPM = std::lround(std::clamp(78 + 0.05 * power + 3 * random.symmetric(), 60.0, 110.0));
        }
        second.temperatureCelsius = static_cast<std::int8_t>(std::lround(temperature));
        second.windDecimetersPerSecond = static_cast<std::uint16_t>(std::lround(10 * speed + 15 + 5 * random.symmetric()));
        seconds.push_back(second);
    }
    coveredMeters = distance;
    return seconds;
}

}  // namespace detail

// The sample ride's FIT bytes.
inline std::vector<std::uint8_t> makeSampleRide() {
    using detail::RideSecond;
    // The loop is as long as the ride, so the rider comes back to the start:
    // a first pass measures the distance, the second rides a loop of it.
    double covered = 0;
    detail::ride(22'000, covered);
    const std::vector<RideSecond> seconds = detail::ride(covered, covered);

    FITWriter writer;
    using Field = FITWriter::FieldSpec;
    const std::uint32_t startSeconds = FITWriter::fitSeconds(*seconds.front().sample.timestamp);

    // file_id: activity file from a development device.
    writer.writeDefinition(0, 0,
                           {Field{0, 1, FITBaseType::enumeration}, Field{1, 2, FITBaseType::uint16},
                            Field{2, 2, FITBaseType::uint16}, Field{3, 4, FITBaseType::uint32z},
                            Field{4, 4, FITBaseType::uint32}});
    const FITValue fileId[] = {4, 255, 1, 20240615u, startSeconds};
    writer.writeData(0, fileId);

    // Two developer fields: air temperature and head wind.
    writer.writeDeveloperDataId(0, 0, {0x50, 0x61, 0x63, 0x65, 0x6D, 0x61, 0x72, 0x6B, 0, 0, 0, 0, 0, 0, 0, 1});
    writer.writeFieldDescription(0, 0, 0, FITBaseType::sint8, "air_temperature", "C");
    writer.writeFieldDescription(0, 0, 1, FITBaseType::uint16, "head_wind", "dm/s");

    // event: timer start / stop (global 21; timestamp, event, event_type).
    writer.writeDefinition(3, 21,
                           {Field{253, 4, FITBaseType::uint32}, Field{0, 1, FITBaseType::enumeration},
                            Field{1, 1, FITBaseType::enumeration}});
    auto event = [&](std::uint32_t at, int type) {
        const FITValue values[] = {at, 0, type};
        writer.writeData(3, values);
    };
    event(startSeconds, 0);

    const FITWriter::RecordLayout full{};
    // Local 0: little-endian records; local 1: the same without timestamp
    // for compressed headers; local 2: big-endian records with developer fields.
    writer.writeRecordDefinition(0, full, FITWriter::Endian::little);
    writer.writeRecordDefinition(1, {.timestamp = false}, FITWriter::Endian::little);
    writer.writeRecordDefinition(2, full, FITWriter::Endian::big,
                                 {{0, 1, 0, FITBaseType::sint8}, {1, 2, 0, FITBaseType::uint16}});

    bool paused = false;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        const TelemetrySample& s = seconds[i].sample;
        const std::uint32_t at = FITWriter::fitSeconds(*s.timestamp);
        const bool moving = s.speedMetersPerSecond.has_value();
        if (!moving && !paused) event(at, 1);
        if (moving && paused) event(at, 0);
        paused = !moving;

        if (i < 600) {
            writer.writeRecord(0, s);
        } else if (i < 1200) {
            writer.writeRecord(1, s, static_cast<std::uint8_t>(at & 0x1F));
        } else {
            const FITValue developer[] = {seconds[i].temperatureCelsius, seconds[i].windDecimetersPerSecond};
            writer.writeRecord(2, s, std::nullopt, developer);
        }
    }
    event(FITWriter::fitSeconds(*seconds.back().sample.timestamp), 4);  // stop all
    return writer.finish();
}

}  // namespace pacemark::samples
