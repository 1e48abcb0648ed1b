// SPDX-License-Identifier: GPL-3.0-or-later
#include "GPMFTestPayloads.h"

#include <cmath>

namespace pacemark::testing::gpmf {
namespace {

void appendBigEndian(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

Bytes klv(std::string_view key, char type, std::uint8_t structureSize, std::uint16_t repeat, const Bytes& data) {
    Bytes out(key.begin(), key.end());
    out.push_back(static_cast<std::uint8_t>(type));
    out.push_back(structureSize);
    appendBigEndian(out, repeat, 2);
    out.insert(out.end(), data.begin(), data.end());
    while (out.size() % 4) out.push_back(0);
    return out;
}

Bytes nested(std::string_view key, const std::vector<Bytes>& children) {
    Bytes data;
    for (const auto& child : children) data.insert(data.end(), child.begin(), child.end());
    return klv(key, 0, 1, static_cast<std::uint16_t>(data.size()), data);
}

Bytes int32s(const std::vector<std::int32_t>& values) {
    Bytes out;
    for (const auto v : values) appendBigEndian(out, static_cast<std::uint32_t>(v), 4);
    return out;
}

Bytes textBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes device(const std::vector<Bytes>& streams) {
    std::vector<Bytes> entries{klv("DVID", 'L', 4, 1, int32s({1})), klv("DVNM", 'c', 6, 1, textBytes("Camera"))};
    entries.insert(entries.end(), streams.begin(), streams.end());
    return nested("DEVC", entries);
}

Bytes gps5Stream(std::string_view stamp, int fix, int precision, int count, bool withScale) {
    std::vector<Bytes> entries;
    entries.push_back(klv("GPSF", 'L', 4, 1, int32s({fix})));
    entries.push_back(klv("GPSU", 'U', 16, 1, textBytes(stamp)));
    Bytes p;
    appendBigEndian(p, static_cast<std::uint16_t>(precision), 2);
    entries.push_back(klv("GPSP", 'S', 2, 1, p));
    if (withScale) entries.push_back(klv("SCAL", 'l', 4, 5, int32s({10000000, 10000000, 1000, 1000, 100})));
    Bytes samples;
    for (int i = 0; i < count; ++i) {
        const auto more = int32s({475000000 + i * 100, 85000000, 500250, 5500, 560});
        samples.insert(samples.end(), more.begin(), more.end());
    }
    entries.push_back(klv("GPS5", 'l', 20, static_cast<std::uint16_t>(count), samples));
    return nested("STRM", entries);
}

Bytes gps9Payload(std::span<const TestFix> fixes) {
    const TelemetryTimestamp epoch2000 = *parseISO8601InternetDateTime("2000-01-01T00:00:00Z");
    Bytes samples;
    for (const auto& fix : fixes) {
        const double seconds = secondsBetween(epoch2000, fix.utc);
        const auto days = static_cast<std::int32_t>(std::floor(seconds / 86400));
        const auto millisOfDay = static_cast<std::int32_t>(std::llround((seconds - days * 86400.0) * 1000));
        const auto values = int32s({static_cast<std::int32_t>(std::llround(fix.latitude * 1e7)),
                                    static_cast<std::int32_t>(std::llround(fix.longitude * 1e7)), 400000, 5000, 500,
                                    days, millisOfDay});
        samples.insert(samples.end(), values.begin(), values.end());
        appendBigEndian(samples, 150, 2);  // DOP × 100
        appendBigEndian(samples, 3, 2);    // 3D fix
    }
    return device({nested("STRM", {klv("TYPE", 'c', 9, 1, textBytes("lllllllSS")),
                                   klv("SCAL", 'l', 4, 9, int32s({10000000, 10000000, 1000, 1000, 100, 1, 1000, 100, 1})),
                                   klv("GPS9", '?', 32, static_cast<std::uint16_t>(fixes.size()), samples)})});
}

}  // namespace pacemark::testing::gpmf
