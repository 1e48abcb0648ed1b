// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetryVideoCodec.h"

#include <utility>

#include "Export/TelemetryExportSettings.h"

namespace pacemark {
namespace {

using Codec = TelemetryVideoCodec;

// HEVC: one whole 64-pixel coding block at least (the encoder refuses
// anything smaller). Its memory is the two encoders (colour and alpha), which
// grow with the picture: the resident line is fitted to the peak RSS of
// `pacemark-cli export --codec hevc` (veryfast, 3 B-frames) at 1920x1080
// (337 MB) and 3840x2160 (1124 MB). The address space reserved is far larger
// (thread stacks, allocator arenas of the encoders' thread pools): the
// smallest RLIMIT_AS that let the same exports finish was 0.92-1.23 GB at
// 1920x1080 and 1.74-2.15 GB at 3840x2160 on a 2-core machine; its line
// passes through the upper ends.
// ProRes: the limits of the system's encoder (TelemetryExportSettings::
// proResAcceptsSize: 65535 slices, 2 GB of rows). Its memory is fitted the
// same way at 2048x2048 (189 MB) and 4096x4096 (643 MB): 37 bytes a pixel for
// the writer's three pictures (4 each), the encoder's 10-bit picture (8), the
// previous picture of the slice reuse (4), the renderer and the coded frames;
// coded frames of busier pictures are larger (up to about 8 bytes a pixel
// each, and three are held), hence the margin. Its address space is half a
// gigabyte more for the threads' stacks and arenas: exports at 2048x2048 and
// 4096x4096 finished under an RLIMIT_AS of this estimate (0.70 and 1.31 GB).
// clang-format off
constexpr std::array<TelemetryVideoCodecRow, Codec::caseCount> kCodecs{{
    {Codec::hevcWithAlpha, "HEVC с альфой (маленький)", "hevc", "HEVC", "mov", 64, 16384,
     nullptr, "",
     75.0e6, 126.0, 0.92e9, 148.0, false},
    {Codec::proRes4444, "ProRes 4444 с альфой (Premiere)", "prores", "ProRes", "mov", 16, 16384,
     TelemetryExportSettings::proResAcceptsSize,
     "в кадре больше 65535 срезов (16 строк по 128 пикселей) или больше 2 ГБ строк",
     40.0e6, 48.0, 0.5e9, 48.0, true},
}};
// clang-format on

// Row k is codec k: a row out of order fails here; a missing one leaves an
// empty row at the end, which fails too. Each row's names are its own (the
// lookups by title and by command-line name find exactly one codec), and its
// sides lie within the settings' overall bounds, which the command line's size
// parser and the settings' texts assume; a size rule comes with its reason.
constexpr bool rowsAreSound() {
    for (std::size_t k = 0; k < kCodecs.size(); ++k) {
        const TelemetryVideoCodecRow& row = kCodecs[k];
        if (static_cast<std::size_t>(row.codec) != k || row.title.empty() || row.commandLineName.empty() ||
            row.name.empty() || row.minimumSidePixels < TelemetryExportSettings::smallestSidePixels ||
            row.maximumSidePixels > TelemetryExportSettings::largestSidePixels || row.minimumSidePixels % 2 != 0 ||
            (row.acceptsSize != nullptr) == row.sizeLimitReason.empty()) {
            return false;
        }
        for (std::size_t other = 0; other < k; ++other) {
            if (kCodecs[other].title == row.title || kCodecs[other].commandLineName == row.commandLineName) return false;
        }
    }
    return true;
}
static_assert(rowsAreSound(), "one sound row per codec, in the order of the codec's values");

template <std::size_t... k>
constexpr std::array<Codec, sizeof...(k)> codecsInOrder(std::index_sequence<k...>) {
    return {Codec(static_cast<Codec::Value>(k))...};
}

}  // namespace

const std::array<TelemetryVideoCodec, TelemetryVideoCodec::caseCount>& TelemetryVideoCodec::allCases() {
    static constexpr auto cases = codecsInOrder(std::make_index_sequence<caseCount>());
    return cases;
}

std::optional<TelemetryVideoCodec> TelemetryVideoCodec::fromRawValue(std::string_view raw) {
    for (const auto& row : kCodecs) {
        if (row.title == raw) return row.codec;
    }
    return std::nullopt;
}

std::optional<TelemetryVideoCodec> TelemetryVideoCodec::fromCommandLineName(std::string_view name) {
    for (const auto& row : kCodecs) {
        if (row.commandLineName == name) return row.codec;
    }
    return std::nullopt;
}

std::string_view TelemetryVideoCodec::rawValue() const { return row().title; }

const TelemetryVideoCodecRow& TelemetryVideoCodec::row() const { return kCodecs[value_]; }

}  // namespace pacemark
