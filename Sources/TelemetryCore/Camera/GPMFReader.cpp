// SPDX-License-Identifier: GPL-3.0-or-later
#include "Camera/GPMFReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace pacemark {
namespace {

std::string printableKey(std::string_view key) {
    std::string result;
    for (const char c : key) result += c >= 0x20 && c < 0x7f ? c : '?';
    return result;
}

std::string describe(GPMFError::Case errorCase, std::string_view key, std::size_t payloadIndex, std::size_t offset) {
    const std::string where = " (блок метаданных " + std::to_string(payloadIndex + 1) + ", байт " +
                              std::to_string(offset) + (key.empty() ? "" : ", запись «" + printableKey(key) + "»") +
                              ")";
    switch (errorCase) {
    case GPMFError::Case::truncated: return "Метаданные камеры обрезаны: запись не помещается в блок" + where + ".";
    case GPMFError::Case::sizePastEnd:
        return "Метаданные камеры повреждены: размер записи выходит за конец контейнера" + where + ".";
    case GPMFError::Case::wrongType:
        return "Метаданные камеры повреждены: у записи неверный тип или размер" + where + ".";
    case GPMFError::Case::nestingLoop:
        return "Метаданные камеры повреждены: контейнер вложен сам в себя" + where + ".";
    case GPMFError::Case::tooDeep:
        return "Метаданные камеры повреждены: слишком глубокая вложенность контейнеров" + where + ".";
    }
    return "Метаданные камеры повреждены" + where + ".";
}

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

std::uint64_t bigEndian64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(bigEndian32(p)) << 32 | bigEndian32(p + 4);
}

using GPMFReader::Entry;

// Parses one container level of `bytes`, which start at `base` in the payload.
void parseLevel(std::span<const std::uint8_t> payload, std::size_t base, std::size_t end, std::size_t payloadIndex,
                int depth, std::string_view enclosingKey, std::vector<Entry>* out) {
    if (depth > GPMFReader::maximumNestingDepth) {
        throw GPMFError(GPMFError::Case::tooDeep, enclosingKey, payloadIndex, base);
    }
    std::size_t pos = base;
    while (pos < end) {
        const std::size_t left = end - pos;
        // Zero padding to the end of the level is allowed (an all-zero header
        // starts it); anything else must be a whole header.
        const std::size_t headerBytes = std::min<std::size_t>(left, 8);
        const auto here = payload.begin() + static_cast<std::ptrdiff_t>(pos);
        if (std::all_of(here, here + static_cast<std::ptrdiff_t>(headerBytes), [](std::uint8_t b) { return b == 0; })) {
            const auto last = payload.begin() + static_cast<std::ptrdiff_t>(end);
            if (std::all_of(here, last, [](std::uint8_t b) { return b == 0; })) return;
            throw GPMFError(GPMFError::Case::truncated, {}, payloadIndex, pos);
        }
        if (left < 8) throw GPMFError(GPMFError::Case::truncated, {}, payloadIndex, pos);
        Entry entry;
        entry.key = std::string_view(reinterpret_cast<const char*>(payload.data() + pos), 4);
        entry.type = static_cast<char>(payload[pos + 4]);
        entry.structureSize = payload[pos + 5];
        entry.repeat = static_cast<std::uint16_t>(payload[pos + 6] << 8 | payload[pos + 7]);
        entry.offset = pos;
        const std::size_t size = static_cast<std::size_t>(entry.structureSize) * entry.repeat;
        const std::size_t padded = (size + 3) & ~std::size_t{3};
        if (size > left - 8) {
            // Inside a container the container's own size is what was exceeded.
            throw GPMFError(depth > 0 ? GPMFError::Case::sizePastEnd : GPMFError::Case::truncated, entry.key,
                            payloadIndex, pos);
        }
        entry.data = payload.subspan(pos + 8, size);
        if (entry.type == 0) {
            if (entry.key == enclosingKey) throw GPMFError(GPMFError::Case::nestingLoop, entry.key, payloadIndex, pos);
            parseLevel(payload, pos + 8, pos + 8 + size, payloadIndex, depth + 1, entry.key, nullptr);
        }
        if (out) out->push_back(entry);
        // The last entry of a level may leave out its padding.
        pos += std::min(8 + padded, left);
    }
}

// One value of a simple numeric type at `p`.
std::optional<double> readNumber(char type, const std::uint8_t* p) {
    switch (type) {
    case 'b': return static_cast<double>(static_cast<std::int8_t>(p[0]));
    case 'B': return static_cast<double>(p[0]);
    case 's': return static_cast<double>(static_cast<std::int16_t>(p[0] << 8 | p[1]));
    case 'S': return static_cast<double>(static_cast<std::uint16_t>(p[0] << 8 | p[1]));
    case 'l': return static_cast<double>(static_cast<std::int32_t>(bigEndian32(p)));
    case 'L': return static_cast<double>(bigEndian32(p));
    case 'j': return static_cast<double>(static_cast<std::int64_t>(bigEndian64(p)));
    case 'J': return static_cast<double>(bigEndian64(p));
    case 'q': return static_cast<double>(static_cast<std::int32_t>(bigEndian32(p))) / 65536.0;
    case 'Q': return static_cast<double>(static_cast<std::int64_t>(bigEndian64(p))) / 4294967296.0;
    case 'f': {
        const std::uint32_t bits = bigEndian32(p);
        float value = 0;
        static_assert(sizeof(value) == sizeof(bits));
        std::memcpy(&value, &bits, sizeof(value));
        return static_cast<double>(value);
    }
    case 'd': {
        const std::uint64_t bits = bigEndian64(p);
        double value = 0;
        std::memcpy(&value, &bits, sizeof(value));
        return value;
    }
    default: return std::nullopt;
    }
}

bool isNumericType(char type) { return std::string_view("bBsSlLjJqQfd").find(type) != std::string_view::npos && type; }

// All values of a numeric entry, structure by structure; throws for other types.
std::vector<double> numbers(const Entry& entry, std::size_t payloadIndex) {
    const std::size_t size = GPMFReader::typeSize(entry.type);
    if (!isNumericType(entry.type) || entry.structureSize % size != 0) {
        throw GPMFError(GPMFError::Case::wrongType, entry.key, payloadIndex, entry.offset);
    }
    std::vector<double> values;
    values.reserve(entry.data.size() / size);
    for (std::size_t at = 0; at + size <= entry.data.size(); at += size) {
        values.push_back(*readNumber(entry.type, entry.data.data() + at));
    }
    return values;
}

// The first value of a numeric entry that holds exactly one structure of one value.
double singleNumber(const Entry& entry, std::size_t payloadIndex) {
    const auto values = numbers(entry, payloadIndex);
    if (values.empty()) throw GPMFError(GPMFError::Case::wrongType, entry.key, payloadIndex, entry.offset);
    return values.front();
}

std::string_view text(const Entry& entry) {
    std::string_view value(reinterpret_cast<const char*>(entry.data.data()), entry.data.size());
    const auto end = value.find('\0');
    return end == std::string_view::npos ? value : value.substr(0, end);
}

// The description of a stream that the entries before its data gave, and
// what stays in force for the next payload's stream of the same key.
struct StreamState {
    std::vector<double> scale;
    std::string complexType;
    std::optional<int> fix;
    std::optional<int> precision;
};

// The GPS samples of one stream in one payload, before their times are known.
struct GPSChunk {
    std::size_t payloadIndex = 0;
    std::optional<std::uint64_t> stmp;  // microseconds, the first sample's
    std::optional<TelemetryTimestamp> stamp;
    int fix = 0;
    int precision = 9999;
    std::vector<CameraGPSSample> samples;
};

struct DeviceChunks {
    std::uint32_t id = 0;
    std::string name;
    std::vector<GPSChunk> gps5;
    std::vector<GPSChunk> gps9;
    std::map<std::string, StreamState, std::less<>> sticky;
};

// The element types of one structure: the complex TYPE letters, or the
// simple type repeated. Nothing when they do not fill the structure exactly.
std::optional<std::string> elementTypes(const Entry& entry, const StreamState& state) {
    if (entry.type == '?') {
        std::size_t total = 0;
        for (const char letter : state.complexType) {
            if (!isNumericType(letter)) return std::nullopt;
            total += GPMFReader::typeSize(letter);
        }
        if (total != entry.structureSize || state.complexType.empty()) return std::nullopt;
        return state.complexType;
    }
    const std::size_t size = GPMFReader::typeSize(entry.type);
    if (!isNumericType(entry.type) || entry.structureSize % size != 0) return std::nullopt;
    return std::string(entry.structureSize / size, entry.type);
}

// The structures of a data entry as scaled values, `count` elements each.
std::vector<std::vector<double>> scaledStructures(const Entry& entry, const StreamState& state, std::size_t count,
                                                  std::size_t payloadIndex) {
    const auto types = elementTypes(entry, state);
    if (!types || types->size() != count) {
        throw GPMFError(GPMFError::Case::wrongType, entry.key, payloadIndex, entry.offset);
    }
    if (!state.scale.empty() && state.scale.size() != 1 && state.scale.size() != count) {
        throw GPMFError(GPMFError::Case::wrongType, "SCAL", payloadIndex, entry.offset);
    }
    std::vector<std::vector<double>> result;
    result.reserve(entry.repeat);
    for (std::size_t s = 0; s < entry.repeat; ++s) {
        const std::uint8_t* p = entry.data.data() + s * entry.structureSize;
        std::vector<double> values;
        values.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const char letter = (*types)[i];
            double value = *readNumber(letter, p);
            p += GPMFReader::typeSize(letter);
            if (!state.scale.empty()) value /= state.scale.size() == 1 ? state.scale[0] : state.scale[i];
            values.push_back(value);
        }
        result.push_back(std::move(values));
    }
    return result;
}

// A number read from the file as an integer within the bounds (NaN as the lower).
int boundedInt(double value, int lowest, int highest) {
    if (!(value >= lowest)) return lowest;
    if (value >= highest) return highest;
    return static_cast<int>(std::lround(value));
}

TelemetryTimestamp timestampFromSeconds(double seconds) {
    return TelemetryTimestamp(std::chrono::microseconds(std::llround(seconds * 1e6)));
}

// Days since 2000-01-01 as seconds since 1970.
constexpr double secondsFrom1970To2000 = 946684800.0;

void readStream(const Entry& stream, std::span<const std::uint8_t> payload, std::size_t payloadIndex,
                DeviceChunks& device) {
    StreamState local;
    std::optional<std::uint64_t> stmp;
    std::optional<TelemetryTimestamp> stamp;
    bool hasScale = false, hasType = false;
    for (const Entry& entry : GPMFReader::children(stream, payload, payloadIndex)) {
        const std::string_view key = entry.key;
        if (key == "STMP") {
            // Microseconds; a value beyond a few years of recording is no time.
            const double value = singleNumber(entry, payloadIndex);
            if (value >= 0 && value < 1e14) stmp = static_cast<std::uint64_t>(value);
        } else if (key == "SCAL") {
            local.scale = numbers(entry, payloadIndex);
            if (std::any_of(local.scale.begin(), local.scale.end(),
                            [](double v) { return v == 0 || !std::isfinite(v); })) {
                throw GPMFError(GPMFError::Case::wrongType, key, payloadIndex, entry.offset);
            }
            hasScale = true;
        } else if (key == "TYPE") {
            if (entry.type != 'c') throw GPMFError(GPMFError::Case::wrongType, key, payloadIndex, entry.offset);
            local.complexType = std::string(text(entry));
            hasType = true;
        } else if (key == "GPSF") {
            local.fix = boundedInt(singleNumber(entry, payloadIndex), 0, 255);
        } else if (key == "GPSP") {
            local.precision = boundedInt(singleNumber(entry, payloadIndex), 0, 1'000'000);
        } else if (key == "GPSU") {
            if (entry.type != 'U' && entry.type != 'c') {
                throw GPMFError(GPMFError::Case::wrongType, key, payloadIndex, entry.offset);
            }
            stamp = GPMFReader::parseGPSU(text(entry));
        } else if (key == "GPS5" || key == "GPS9") {
            // Descriptions not repeated in this payload stay as the last payload gave them.
            StreamState& sticky = device.sticky[std::string(key)];
            if (hasScale) sticky.scale = local.scale;
            if (hasType) sticky.complexType = local.complexType;
            if (local.fix) sticky.fix = local.fix;
            if (local.precision) sticky.precision = local.precision;
            const bool nine = key == "GPS9";
            const auto structures = scaledStructures(entry, sticky, nine ? 9 : 5, payloadIndex);
            GPSChunk chunk;
            chunk.payloadIndex = payloadIndex;
            chunk.stmp = stmp;
            chunk.stamp = stamp;
            chunk.fix = sticky.fix.value_or(0);
            chunk.precision = sticky.precision.value_or(9999);
            for (const auto& v : structures) {
                CameraGPSSample sample;
                sample.latitude = v[0];
                sample.longitude = v[1];
                sample.altitudeMeters = v[2];
                sample.speed2DMetersPerSecond = v[3];
                sample.speed3DMetersPerSecond = v[4];
                sample.payloadIndex = payloadIndex;
                if (nine) {
                    // Days since 2000, seconds of the day, dilution, fix.
                    sample.precision = boundedInt(v[7] * 100, 0, 1'000'000);
                    sample.fix = boundedInt(v[8], 0, 255);
                    const double seconds = secondsFrom1970To2000 + v[5] * 86400.0 + v[6];
                    if (std::isfinite(seconds) && std::fabs(seconds) < 1e11 && v[5] > 0) {
                        sample.utc = timestampFromSeconds(seconds);
                    }
                } else {
                    sample.fix = chunk.fix;
                    sample.precision = chunk.precision;
                }
                // A position that is not a number is no position.
                if (!std::isfinite(sample.latitude) || !std::isfinite(sample.longitude) ||
                    !std::isfinite(sample.altitudeMeters) || std::fabs(sample.latitude) > 90 ||
                    std::fabs(sample.longitude) > 180) {
                    sample.fix = 0;
                }
                chunk.samples.push_back(sample);
            }
            (nine ? device.gps9 : device.gps5).push_back(std::move(chunk));
        }
    }
}

// Movie times of every chunk's samples: each chunk's first sample at its
// STMP or its payload's time, the others spread evenly to the next chunk's.
void assignMovieTimes(std::vector<GPSChunk>& chunks, std::span<const GPMFPayload> payloads) {
    if (chunks.empty()) return;
    // Cameras count STMP from the start of the recording: in the first file
    // of a recording it is the movie's own time (the first sample lies inside
    // the first payload), and then it places every payload's first sample. In
    // a later chapter file it is not the movie's time, and the payloads' own
    // times are used.
    const GPMFPayload& first = payloads[chunks.front().payloadIndex];
    const bool stmpIsMovieTime =
        std::all_of(chunks.begin(), chunks.end(), [](const GPSChunk& c) { return c.stmp.has_value(); }) &&
        static_cast<double>(*chunks.front().stmp) / 1e6 >= first.movieSeconds &&
        static_cast<double>(*chunks.front().stmp) / 1e6 < first.movieSeconds + first.durationSeconds;
    std::vector<double> starts(chunks.size());
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        starts[i] = stmpIsMovieTime ? static_cast<double>(*chunks[i].stmp) / 1e6
                                    : payloads[chunks[i].payloadIndex].movieSeconds;
    }
    // The last chunk (often a shorter payload) keeps the sampling rate of the
    // one before it.
    double previousStep = 0;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        auto& samples = chunks[i].samples;
        if (samples.empty()) continue;
        const GPMFPayload& payload = payloads[chunks[i].payloadIndex];
        double step = 0;
        if (i + 1 < chunks.size() && starts[i + 1] > starts[i]) {
            step = (starts[i + 1] - starts[i]) / static_cast<double>(samples.size());
        } else if (previousStep > 0) {
            step = previousStep;
        } else {
            const double payloadEnd = payload.movieSeconds + payload.durationSeconds;
            const double span = payloadEnd > starts[i] ? payloadEnd - starts[i] : std::max(payload.durationSeconds, 0.0);
            step = span / static_cast<double>(samples.size());
        }
        previousStep = step;
        for (std::size_t s = 0; s < samples.size(); ++s) samples[s].movieSeconds = starts[i] + step * s;
    }
}

// GPS5 times: the receiver's own where the payload also has GPS9 samples of
// the same count, else the payload's stamp spread evenly up to the next
// payload's stamp (the last payload at the step of the one before it, or at
// its samples' movie spacing).
void assignGPS5Times(std::vector<GPSChunk>& gps5, const std::vector<GPSChunk>& gps9) {
    double previousStep = 0;
    for (std::size_t i = 0; i < gps5.size(); ++i) {
        auto& samples = gps5[i].samples;
        const auto twin = std::find_if(gps9.begin(), gps9.end(), [&](const GPSChunk& c) {
            return c.payloadIndex == gps5[i].payloadIndex && c.samples.size() == samples.size();
        });
        if (twin != gps9.end()) {
            for (std::size_t s = 0; s < samples.size(); ++s) samples[s].utc = twin->samples[s].utc;
            continue;
        }
        if (!gps5[i].stamp || samples.empty()) continue;
        double step = 0;
        if (i + 1 < gps5.size() && gps5[i + 1].stamp && *gps5[i + 1].stamp > *gps5[i].stamp) {
            step = secondsBetween(*gps5[i].stamp, *gps5[i + 1].stamp) / static_cast<double>(samples.size());
        } else if (previousStep > 0) {
            step = previousStep;
        } else if (samples.size() > 1) {
            step = (samples.back().movieSeconds - samples.front().movieSeconds) /
                   static_cast<double>(samples.size() - 1);
        }
        previousStep = step;
        for (std::size_t s = 0; s < samples.size(); ++s) {
            samples[s].utc = *gps5[i].stamp + std::chrono::microseconds(std::llround(step * 1e6 * s));
        }
    }
}

}  // namespace

GPMFError::GPMFError(Case errorCase, std::string_view key, std::size_t payloadIndex, std::size_t offset)
    : PacemarkError(describe(errorCase, key, payloadIndex, offset)), case_(errorCase) {}

const CameraGPSDevice* CameraGPS::gpsDevice() const {
    for (const auto& device : devices) {
        if (!device.gps5.empty() || !device.gps9.empty() || !device.gps5Stamps.empty()) return &device;
    }
    return nullptr;
}

std::span<const CameraGPSSample> CameraGPS::bestSamples() const {
    const CameraGPSDevice* device = gpsDevice();
    if (!device) return {};
    return device->gps9.empty() ? std::span<const CameraGPSSample>(device->gps5) : device->gps9;
}

namespace GPMFReader {

std::size_t typeSize(char type) {
    switch (type) {
    case 'b': case 'B': case 'c': return 1;
    case 's': case 'S': return 2;
    case 'l': case 'L': case 'f': case 'F': case 'q': return 4;
    case 'd': case 'j': case 'J': case 'Q': return 8;
    case 'G': case 'U': return 16;
    default: return 0;
    }
}

std::vector<Entry> entries(std::span<const std::uint8_t> payload, std::size_t payloadIndex) {
    std::vector<Entry> result;
    parseLevel(payload, 0, payload.size(), payloadIndex, 0, {}, &result);
    return result;
}

std::vector<Entry> children(const Entry& container, std::span<const std::uint8_t> payload, std::size_t payloadIndex) {
    std::vector<Entry> result;
    if (container.type != 0) return result;
    const auto base = static_cast<std::size_t>(container.data.data() - payload.data());
    // Depth was checked when the payload was parsed; 0 here only counts anew.
    parseLevel(payload, base, base + container.data.size(), payloadIndex, 1, container.key, &result);
    return result;
}

std::optional<TelemetryTimestamp> parseGPSU(std::string_view value) {
    // "yymmddhhmmss.sss"
    if (value.size() < 16 || value[12] != '.') return std::nullopt;
    int yy = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millis = 0;
    std::size_t pos = 0;
    if (!readFixedDigits(value, pos, 2, yy) || !readFixedDigits(value, pos, 2, month) ||
        !readFixedDigits(value, pos, 2, day) || !readFixedDigits(value, pos, 2, hour) ||
        !readFixedDigits(value, pos, 2, minute) || !readFixedDigits(value, pos, 2, second)) {
        return std::nullopt;
    }
    ++pos;
    if (!readFixedDigits(value, pos, 3, millis)) return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    const std::int64_t days = daysFromCivil(2000 + yy, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const std::int64_t micros =
        ((days * 86400 + hour * 3600 + minute * 60 + second) * 1000 + millis) * std::int64_t{1000};
    return TelemetryTimestamp(std::chrono::microseconds(micros));
}

CameraGPS readGPS(std::span<const GPMFPayload> payloads) {
    std::vector<DeviceChunks> devices;
    for (std::size_t p = 0; p < payloads.size(); ++p) {
        const auto bytes = payloads[p].bytes;
        for (const Entry& top : entries(bytes, p)) {
            if (top.key != "DEVC" || top.type != 0) continue;
            const auto inside = children(top, bytes, p);
            std::uint32_t id = 0;
            std::string name;
            for (const Entry& entry : inside) {
                if (entry.key == "DVID" && entry.data.size() >= 4) id = bigEndian32(entry.data.data());
                if (entry.key == "DVNM" && entry.type == 'c') name = std::string(text(entry));
            }
            auto device = std::find_if(devices.begin(), devices.end(), [&](const DeviceChunks& d) { return d.id == id; });
            if (device == devices.end()) {
                devices.push_back({});
                device = devices.end() - 1;
                device->id = id;
            }
            if (device->name.empty()) device->name = name;
            for (const Entry& entry : inside) {
                if (entry.key == "STRM" && entry.type == 0) readStream(entry, bytes, p, *device);
            }
        }
    }

    CameraGPS result;
    for (auto& device : devices) {
        assignMovieTimes(device.gps5, payloads);
        assignMovieTimes(device.gps9, payloads);
        assignGPS5Times(device.gps5, device.gps9);
        CameraGPSDevice out;
        out.id = device.id;
        out.name = device.name;
        for (const auto& chunk : device.gps5) {
            if (chunk.stamp && !chunk.samples.empty()) {
                out.gps5Stamps.push_back({chunk.payloadIndex, chunk.samples.front().movieSeconds, *chunk.stamp,
                                          chunk.fix, chunk.precision});
            }
            out.gps5.insert(out.gps5.end(), chunk.samples.begin(), chunk.samples.end());
        }
        for (const auto& chunk : device.gps9) out.gps9.insert(out.gps9.end(), chunk.samples.begin(), chunk.samples.end());
        result.devices.push_back(std::move(out));
    }
    return result;
}

}  // namespace GPMFReader
}  // namespace pacemark
