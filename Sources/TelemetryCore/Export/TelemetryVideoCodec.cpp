#include "TelemetryVideoCodec.h"

#include <utility>

namespace pacemark {
namespace {

using Codec = TelemetryVideoCodec;

// FFmpeg's ProRes encoder refuses any picture whose (8 × width + 1024) ×
// (height + 128) bytes reach 2^31: 16384 × 16384 is refused while
// 16254 × 16254 and 16384 × 16128 are taken.
constexpr bool proResAcceptsArea(std::int64_t width, std::int64_t height) {
    return (8 * width + 1024) * (height + 128) < (std::int64_t{1} << 31);
}

// HEVC: one whole 64-pixel coding block at least (the encoder refuses
// anything smaller). Its memory is the two encoders (colour and alpha), which
// grow with the picture: the resident line is fitted to the peak RSS of
// `pacemark-cli export --codec hevc` (veryfast, 3 B-frames) at 1920x1080
// (337 MB) and 3840x2160 (1124 MB). The address space reserved is far larger
// (thread stacks, allocator arenas of the encoders' thread pools): the
// smallest RLIMIT_AS that let the same exports finish was 0.92-1.23 GB at
// 1920x1080 and 1.74-2.15 GB at 3840x2160 on a 2-core machine; its line
// passes through the upper ends. ProRes holds a few pictures: not worth a line.
// clang-format off
constexpr std::array<TelemetryVideoCodecRow, Codec::caseCount> kCodecs{{
    {Codec::hevcWithAlpha, "HEVC с альфой (маленький)", "hevc", "HEVC", "mov", 64, 16384,
     nullptr, "",
     75.0e6, 126.0, 0.92e9, 148.0, false},
    {Codec::proRes4444, "ProRes 4444 с альфой (Premiere)", "prores", "ProRes", "mov", 16, 16384,
     proResAcceptsArea, "16254×16254 или 16384×16128",
     0, 0, 0, 0, true},
}};
// clang-format on

// Row k is codec k: a row out of order fails here; a missing one leaves an
// empty row at the end, which fails too.
constexpr bool rowsInCodecOrder() {
    for (std::size_t k = 0; k < kCodecs.size(); ++k) {
        if (static_cast<std::size_t>(kCodecs[k].codec) != k || kCodecs[k].title.empty()) return false;
    }
    return true;
}
static_assert(rowsInCodecOrder(), "one row per codec, in the order of the codec's values");

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
