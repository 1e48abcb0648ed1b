// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pacemark {

struct TelemetryVideoCodecRow;

// Output codec; the raw value is the title shown to the user. Everything that
// differs between codecs is one row of the codec table (TelemetryVideoCodec.cpp):
// the settings, the command-line tool, the window's picker and the writer
// back-ends read it instead of comparing codecs.
class TelemetryVideoCodec {
public:
    enum Value : std::uint8_t { hevcWithAlpha, proRes4444 };
    // One more than the last case: a new codec goes last and moves this with
    // it. The codec table has exactly this many rows, in this order (checked
    // when it compiles).
    static constexpr std::size_t caseCount = std::size_t{proRes4444} + 1;

    constexpr TelemetryVideoCodec(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static const std::array<TelemetryVideoCodec, caseCount>& allCases();
    // Accepts exactly the titles.
    static std::optional<TelemetryVideoCodec> fromRawValue(std::string_view raw);
    // Accepts exactly the command-line names ("prores", "hevc").
    static std::optional<TelemetryVideoCodec> fromCommandLineName(std::string_view name);

    std::string_view rawValue() const;
    const TelemetryVideoCodecRow& row() const;

private:
    Value value_;
};

// Everything one codec decides. The sizes are what the settings accept and
// what its writer is opened with; the memory lines estimate an export's peak.
struct TelemetryVideoCodecRow {
    TelemetryVideoCodec::Value codec;
    std::string_view title;            // the raw value: the picker's Russian text
    std::string_view commandLineName;  // `pacemark-cli export --codec NAME`
    std::string_view name;             // in Russian texts: "не подходит для HEVC"
    std::string_view container;        // the movie's file extension
    std::int64_t minimumSidePixels;
    std::int64_t maximumSidePixels;
    // Whether a picture of this size can be written; none: every size in range.
    bool (*acceptsSize)(std::int64_t width, std::int64_t height);
    std::string_view sizeLimitReason;  // why acceptsSize refuses, for its Russian error text
    // Peak resident bytes and reserved address space of an export: fixed part
    // plus bytes per pixel of the picture (0 and 0: nothing worth checking).
    double fixedBytes;
    double bytesPerPixel;
    double fixedAddressSpaceBytes;
    double addressSpaceBytesPerPixel;
    // Whether its writer can store a repeated frame once (`--compact`).
    bool compactStorage;
};

}  // namespace pacemark
