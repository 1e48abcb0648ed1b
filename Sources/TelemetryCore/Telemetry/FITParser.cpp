// SPDX-License-Identifier: GPL-3.0-or-later
#include "Telemetry/FITParser.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "Telemetry/TelemetryLoadError.h"

namespace pacemark {

FITParserError::FITParserError(Case errorCase, std::int64_t localMessage, const std::string& description)
    : PacemarkError(description), case_(errorCase), localMessage_(localMessage) {}

FITParserError FITParserError::withReadableRecordCount(std::size_t count) const {
    FITParserError error = *this;
    error.readableRecordCount_ = count;
    return error;
}

FITParserError FITParserError::missingDefinition(std::int64_t localMessage) {
    return FITParserError(Case::missingDefinition, localMessage,
                          "У локального FIT-сообщения " + std::to_string(localMessage) + " нет определения.");
}

FITParserError FITParserError::invalidHeader() {
    return FITParserError(Case::invalidHeader, 0, "Файл не похож на корректную FIT-активность.");
}

FITParserError FITParserError::invalidDataSize() {
    return FITParserError(Case::invalidDataSize, 0, "Секция данных FIT-файла обрезана.");
}

namespace {

// Assembles `width` bytes (at most 8) in the given byte order. The caller
// guarantees that they lie inside the buffer.
inline std::uint64_t readUnsigned(const std::uint8_t* p, unsigned width, FITParser::Endian endian) {
    std::uint64_t value = 0;
    if (endian == FITParser::Endian::little) {
        for (unsigned i = width; i-- > 0;) value = (value << 8) | p[i];
    } else {
        for (unsigned i = 0; i < width; ++i) value = (value << 8) | p[i];
    }
    return value;
}

// Sign-extends the low `width` bytes of `raw`.
inline std::int64_t signExtend(std::uint64_t raw, unsigned width) {
    const unsigned shift = 64 - 8 * width;
    return static_cast<std::int64_t>(raw << shift) >> shift;
}

// Rounds a count-like reading (heart rate, cadence, power) to an integer,
// halves away from zero. Zero, negative, non-finite and values beyond the
// 64-bit range (only possible with float or 64-bit fields) are no reading,
// and so is a float below one half, which rounds to zero: a count of zero
// is no reading.
inline std::optional<std::int64_t> countReading(double value) {
    if (!(value > 0) || !std::isfinite(value)) return std::nullopt;
    const double rounded = std::round(value);
    if (rounded < 1 || rounded >= 9.2233720368547758e18) return std::nullopt;
    return static_cast<std::int64_t>(rounded);
}

inline std::optional<double> coordinateDegrees(double raw) {
    const double degrees = raw * 180.0 / 2147483648.0;
    if (!(degrees >= -180.0 && degrees <= 180.0)) return std::nullopt;
    return degrees;
}

inline std::optional<double> positiveScaled(double raw, double scale) {
    if (!(raw > 0) || !std::isfinite(raw)) return std::nullopt;
    return raw / scale;
}

// A reading whose conversion is not a finite number (a float field holding
// NaN or infinity) is treated as missing rather than passed on to drawing
// and statistics.
inline std::optional<double> finiteOrAbsent(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

// An explicit timestamp: seconds since the FIT epoch as an unsigned 32-bit
// count. Negative, fractional-only or wider values are ignored; a fraction
// is dropped.
inline std::optional<std::int64_t> timestampSeconds(double raw) {
    if (!(raw >= 0) || raw > 4294967295.0) return std::nullopt;
    return static_cast<std::int64_t>(raw);
}

}  // namespace

std::uint32_t readUInt32(std::span<const std::uint8_t> bytes, std::size_t at, FITParser::Endian endian) {
    return static_cast<std::uint32_t>(readUnsigned(bytes.data() + at, 4, endian));
}

std::uint64_t readUInt64(std::span<const std::uint8_t> bytes, std::size_t at, FITParser::Endian endian) {
    return readUnsigned(bytes.data() + at, 8, endian);
}

std::optional<double> FITParser::numericValue(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t size,
                                              std::uint8_t baseType, Endian endian) {
    unsigned width = 0;
    const unsigned typeNumber = baseType & 0x1F;
    switch (typeNumber) {
    case 0: case 1: case 2: case 10: case 13: width = 1; break;
    case 3: case 4: case 11: width = 2; break;
    case 5: case 6: case 8: case 12: width = 4; break;
    case 9: case 14: case 15: width = 8; break;
    default: return std::nullopt;  // string, uint64z and unknown types carry no number
    }
    if (size < width || at > bytes.size() || bytes.size() - at < width) return std::nullopt;
    const std::uint64_t raw = readUnsigned(bytes.data() + at, width, endian);
    switch (typeNumber) {
    case 0: case 2: case 10: case 13:
        if (raw == 0xFF) return std::nullopt;
        return static_cast<double>(raw);
    case 1:
        if (raw == 0x7F) return std::nullopt;
        return static_cast<double>(signExtend(raw, 1));
    case 3:
        if (raw == 0x7FFF) return std::nullopt;
        return static_cast<double>(signExtend(raw, 2));
    case 4: case 11:
        if (raw == 0xFFFF) return std::nullopt;
        return static_cast<double>(raw);
    case 5:
        if (raw == 0x7FFFFFFF) return std::nullopt;
        return static_cast<double>(signExtend(raw, 4));
    case 6: case 12:
        if (raw == 0xFFFFFFFF) return std::nullopt;
        return static_cast<double>(raw);
    case 8: return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)));
    case 9: return std::bit_cast<double>(raw);
    case 14:
        if (raw == 0x7FFFFFFFFFFFFFFFull) return std::nullopt;
        return static_cast<double>(static_cast<std::int64_t>(raw));
    case 15:
        if (raw == 0xFFFFFFFFFFFFFFFFull) return std::nullopt;
        return static_cast<double>(raw);
    default: return std::nullopt;
    }
}

namespace {

// The bytes of `data`, handed out as a file would be read.
FITParser::ByteSource reading(std::span<const std::uint8_t> data) {
    return [data, offset = std::size_t{0}](std::uint8_t* into, std::size_t capacity) mutable {
        const std::size_t count = std::min(capacity, data.size() - offset);
        std::copy_n(data.data() + offset, count, into);
        offset += count;
        return count;
    };
}

// Whether the next `count` bytes lie inside the data section, which ends at
// `end` or at the end of the file, whichever comes first; they are then
// contiguous at in.data().
bool available(FITByteStream& in, std::uint64_t end, std::size_t count) {
    return end - in.position() >= count && in.request(count) >= count;
}

// Validates the file header and moves past it: the offset where the data
// section ends by the header's word, or nothing for an unusable header.
std::optional<std::uint64_t> dataSectionEnd(FITByteStream& in) {
    if (in.request(14) < 14) return std::nullopt;
    const std::size_t headerSize = in.data()[0];
    if (headerSize < 12 || in.request(headerSize) < headerSize) return std::nullopt;
    if (std::memcmp(in.data() + 8, ".FIT", 4) != 0) return std::nullopt;
    const std::uint64_t dataSize = readUInt32(std::span(in.data(), headerSize), 4, FITParser::Endian::little);
    in.consume(headerSize);
    return headerSize + dataSize;
}

}  // namespace

std::vector<TelemetrySample> FITParser::parse(std::span<const std::uint8_t> data) {
    return parse(reading(data), countRecordMessages(reading(data)));
}

FITParser::Recovery FITParser::parseRecovering(std::span<const std::uint8_t> data) {
    return parseRecovering(reading(data), countRecordMessages(reading(data)));
}

std::vector<TelemetrySample> FITParser::parse(const ByteSource& read, std::size_t expectedRecords) {
    Recovery recovery = parseRecovering(read, expectedRecords);
    if (recovery.damage) throw recovery.damage->withReadableRecordCount(recovery.samples.size());
    return std::move(recovery.samples);
}

FITParser::Recovery FITParser::parseRecovering(const ByteSource& read, std::size_t expectedRecords) {
    FITByteStream in(read);
    Recovery recovery;
    TelemetrySampleCollector samples;
    samples.reserve(expectedRecords);
    std::uint64_t declaredEnd = 0;
    // The rest of the file is read before a failure is reported, so that a
    // read error takes precedence as it did when files were read whole.
    try {
        declaredEnd = walk(in, recovery, samples);
    } catch (const FITParserError&) {
        in.drain();
        throw;
    } catch (const TelemetryLoadError&) {
        in.drain();
        throw;
    }
    recovery.fileBytes = static_cast<std::size_t>(in.drain());
    recovery.samples = samples.take();
    // A data section declared past the end of the file was cut, even when the
    // file ends on a message boundary; that is the damage to report, whatever
    // the bytes before the cut held.
    if (declaredEnd > recovery.fileBytes) recovery.damage = FITParserError::invalidDataSize();
    return recovery;
}

std::uint64_t FITParser::walk(FITByteStream& in, Recovery& recovery, TelemetrySampleCollector& samples) {
    const std::optional<std::uint64_t> end = dataSectionEnd(in);
    if (!end) throw FITParserError::invalidHeader();
    const std::uint64_t declaredEnd = *end;

    for (auto& definition : definitions_) definition.reset();
    lastTimestampSeconds_.reset();
    localTimeOffsetSeconds_.reset();

    recovery.intactBytes = static_cast<std::size_t>(in.position());
    try {
        while (in.position() < declaredEnd && in.request(1) == 1) {
            const std::uint8_t header = in.data()[0];
            in.consume(1);
            if (header & 0x80) {
                parseDataMessage(in, declaredEnd, (header >> 5) & 0x03, static_cast<std::uint8_t>(header & 0x1F),
                                 samples);
            } else if (header & 0x40) {
                parseDefinitionMessage(in, declaredEnd, header & 0x0F, (header & 0x20) != 0);
            } else {
                parseDataMessage(in, declaredEnd, header & 0x0F, std::nullopt, samples);
            }
            // Samples are appended only for whole messages, so everything up
            // to here is intact.
            recovery.intactBytes = static_cast<std::size_t>(in.position());
        }
    } catch (const FITParserError& error) {
        recovery.damage = error;
    }
    return declaredEnd;
}

std::size_t FITParser::countRecordMessages(const ByteSource& read) {
    FITByteStream in(read);
    const std::optional<std::uint64_t> sectionEnd = dataSectionEnd(in);
    if (!sectionEnd) return 0;
    const std::uint64_t end = *sectionEnd;

    for (auto& definition : definitions_) definition.reset();
    std::size_t count = 0;
    try {
        while (in.position() < end && in.request(1) == 1) {
            const std::uint8_t header = in.data()[0];
            in.consume(1);
            if (!(header & 0x80) && (header & 0x40)) {
                parseDefinitionMessage(in, end, header & 0x0F, (header & 0x20) != 0);
                continue;
            }
            const unsigned localMessage = (header & 0x80) ? (header >> 5) & 0x03 : header & 0x0F;
            const std::optional<DefinitionMessage>& definition = definitions_[localMessage];
            if (!definition || !available(in, end, definition->dataSize)) break;
            if (definition->globalMessageNumber == recordGlobalMessage) ++count;
            in.consume(definition->dataSize);
        }
    } catch (const FITParserError&) {
        // The decoding walk reports the damage; counting stops before it.
    }
    for (auto& definition : definitions_) definition.reset();
    return count;
}

void FITParser::parseDefinitionMessage(FITByteStream& in, std::uint64_t end, unsigned localMessage,
                                       bool hasDeveloperFields) {
    if (!available(in, end, 5)) throw FITParserError::invalidDataSize();
    DefinitionMessage definition;
    definition.endian = in.data()[1] == 0 ? Endian::little : Endian::big;
    definition.globalMessageNumber = static_cast<std::uint16_t>(readUnsigned(in.data() + 2, 2, definition.endian));
    definition.fieldCount = in.data()[4];

    // Each request may move the bytes in the window: they are addressed
    // through in.data() only after the last one.
    std::size_t length = 5 + 3 * std::size_t{definition.fieldCount};
    if (!available(in, end, length)) throw FITParserError::invalidDataSize();
    std::size_t developerCount = 0;
    if (hasDeveloperFields) {
        if (!available(in, end, length + 1)) throw FITParserError::invalidDataSize();
        developerCount = in.data()[length];
        if (!available(in, end, length + 1 + 3 * developerCount)) throw FITParserError::invalidDataSize();
    }
    const std::uint8_t* bytes = in.data();
    std::uint32_t dataSize = 0;
    for (std::size_t i = 0; i < definition.fieldCount; ++i) {
        const std::uint8_t* p = bytes + 5 + 3 * i;
        definition.fields[i] = FieldDefinition{p[0], p[1], p[2]};
        dataSize += p[1];
    }
    if (hasDeveloperFields) {
        // Only the size byte (the middle one) matters: developer data is skipped.
        for (std::size_t i = 0; i < developerCount; ++i) dataSize += bytes[length + 1 + 3 * i + 1];
        length += 1 + 3 * developerCount;
    }
    in.consume(length);
    definition.dataSize = dataSize;
    definitions_[localMessage] = definition;
}

void FITParser::parseDataMessage(FITByteStream& in, std::uint64_t end, unsigned localMessage,
                                 std::optional<std::uint8_t> compressedTimeOffset, TelemetrySampleCollector& samples) {
    const std::optional<DefinitionMessage>& stored = definitions_[localMessage];
    if (!stored) throw FITParserError::missingDefinition(localMessage);
    const DefinitionMessage& definition = *stored;
    // One check for the whole message: a message that does not fit fails the
    // parse whichever of its fields runs past the end.
    if (!available(in, end, definition.dataSize)) throw FITParserError::invalidDataSize();
    const std::span<const std::uint8_t> bytes(in.data(), definition.dataSize);

    const bool isRecord = definition.globalMessageNumber == recordGlobalMessage;
    // The activity message says which local time the recording was made in.
    const bool isActivity = definition.globalMessageNumber == activityGlobalMessage;
    std::optional<std::int64_t> localTimestamp;
    std::optional<std::int64_t> explicitTimestamp;
    TelemetrySample sample;
    bool decodedSomething = false;

    std::size_t position = 0;
    const std::size_t fieldCount = definition.fieldCount;
    for (std::size_t i = 0; i < fieldCount; ++i) {
        const FieldDefinition& field = definition.fields[i];
        // Other messages matter only for their timestamp, which keeps the
        // clock running for records that carry compressed timestamps.
        if (isActivity && field.fieldNumber == activityLocalTimestampField) {
            if (const auto local = numericValue(bytes, position, field.size, field.baseType, definition.endian)) {
                localTimestamp = static_cast<std::int64_t>(*local);
            }
        }
        if (!isRecord && field.fieldNumber != timestampFieldNumber) {
            position += field.size;
            continue;
        }
        const std::optional<double> value =
            numericValue(bytes, position, field.size, field.baseType, definition.endian);
        position += field.size;
        if (!value) continue;
        const double raw = *value;
        switch (field.fieldNumber) {
        case 0:
            decodedSomething = true;
            sample.latitude = coordinateDegrees(raw);
            break;
        case 1:
            decodedSomething = true;
            sample.longitude = coordinateDegrees(raw);
            break;
        case 2:
        case 78:
            decodedSomething = true;
            sample.altitudeMeters = finiteOrAbsent(raw / 5.0 - 500.0);
            break;
        case 3:
            decodedSomething = true;
            sample.heartRateBPM = countReading(raw);
            break;
        case 4:
            decodedSomething = true;
            sample.cadenceRPM = countReading(raw);
            break;
        case 5:
            decodedSomething = true;
            sample.distanceMeters = positiveScaled(raw, 100.0);
            break;
        case 6:
        case 73:
            decodedSomething = true;
            sample.speedMetersPerSecond = positiveScaled(raw, 1000.0);
            break;
        case 7:
            decodedSomething = true;
            sample.powerWatts = countReading(raw);
            break;
        case 9:
            decodedSomething = true;
            sample.gradePercent = finiteOrAbsent(raw / 100.0);
            break;
        case timestampFieldNumber:
            if (const auto seconds = timestampSeconds(raw)) explicitTimestamp = seconds;
            break;
        default: break;
        }
    }
    in.consume(definition.dataSize);
    if (isActivity && localTimestamp && explicitTimestamp) {
        const std::int64_t offset = *localTimestamp - *explicitTimestamp;
        if (offset >= -14 * 3600 && offset <= 14 * 3600) localTimeOffsetSeconds_ = offset;
    }

    std::optional<std::int64_t> t;
    if (compressedTimeOffset) {
        // The 5-bit offset replaces the low bits of the latest timestamp and
        // rolls over to the next 32-second window when it would go back.
        if (lastTimestampSeconds_) {
            const std::int64_t last = *lastTimestampSeconds_;
            std::int64_t candidate = (last & ~std::int64_t{0x1F}) + *compressedTimeOffset;
            if (candidate < last) candidate += 32;
            t = candidate;
        }
    } else {
        t = explicitTimestamp;
    }
    if (t) {
        lastTimestampSeconds_ = t;
        sample.timestamp = fitEpoch + std::chrono::seconds{*t};
    }

    if (isRecord && decodedSomething) samples.append(sample);
}

}  // namespace pacemark
