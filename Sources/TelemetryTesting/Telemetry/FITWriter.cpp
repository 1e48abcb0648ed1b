// SPDX-License-Identifier: GPL-3.0-or-later
#include "Telemetry/FITWriter.h"

#include <bit>
#include <cmath>
#include <stdexcept>

namespace pacemark {
namespace {

constexpr std::uint16_t fieldDescriptionGlobalMessage = 206;
constexpr std::uint16_t developerDataIdGlobalMessage = 207;

struct TypeTraits {
    unsigned width;
    std::uint64_t invalidPattern;
    bool isFloat;
};

// Width and invalid pattern of a base type. Strings and unknown types are
// treated as bytes; the "z" types use zero as invalid, as the protocol does.
TypeTraits traitsOf(std::uint8_t baseType) {
    switch (baseType & 0x1F) {
    case 0: case 2: case 13: return {1, 0xFF, false};
    case 1: return {1, 0x7F, false};
    case 3: return {2, 0x7FFF, false};
    case 4: return {2, 0xFFFF, false};
    case 5: return {4, 0x7FFFFFFF, false};
    case 6: return {4, 0xFFFFFFFF, false};
    case 8: return {4, 0xFFFFFFFF, true};
    case 9: return {8, ~std::uint64_t{0}, true};
    case 10: return {1, 0, false};
    case 11: return {2, 0, false};
    case 12: return {4, 0, false};
    case 14: return {8, 0x7FFFFFFFFFFFFFFFull, false};
    case 15: return {8, ~std::uint64_t{0}, false};
    case 16: return {8, 0, false};
    default: return {1, 0, false};  // string and unknown: bytes, zero filled
    }
}

void appendUnsigned(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned width, FITWriter::Endian endian) {
    for (unsigned i = 0; i < width; ++i) {
        const unsigned shift = endian == FITWriter::Endian::little ? 8 * i : 8 * (width - 1 - i);
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

std::int64_t scaled(double value, double scale, double offset = 0) {
    return std::llround((value + offset) * scale);
}

}  // namespace

FITValue FITValue::text(std::string value) {
    FITValue result;
    result.kind_ = Kind::text;
    result.text_ = std::move(value);
    return result;
}

FITWriter::FITWriter(Options options) : options_(options) {
    if (options_.headerSize != 12 && options_.headerSize != 14)
        throw std::logic_error("a FIT header has 12 or 14 bytes");
}

const FITWriter::Definition& FITWriter::definition(unsigned localMessage) const {
    if (localMessage >= definitions_.size() || !definitions_[localMessage])
        throw std::logic_error("FIT local message " + std::to_string(localMessage) + " has no definition");
    return *definitions_[localMessage];
}

void FITWriter::writeDefinition(unsigned localMessage, std::uint16_t globalMessage, std::vector<FieldSpec> fields,
                                Endian endian, std::vector<DeveloperFieldSpec> developerFields) {
    if (localMessage > 15) throw std::logic_error("FIT local message numbers are 0 to 15");
    if (fields.size() > 255 || developerFields.size() > 255) throw std::logic_error("too many FIT fields");
    const bool withDeveloperFields = !developerFields.empty();
    data_.push_back(static_cast<std::uint8_t>(0x40 | (withDeveloperFields ? 0x20 : 0) | localMessage));
    data_.push_back(0);  // reserved
    data_.push_back(endian == Endian::little ? 0 : 1);
    appendUnsigned(data_, globalMessage, 2, endian);
    data_.push_back(static_cast<std::uint8_t>(fields.size()));
    for (const FieldSpec& field : fields) {
        data_.push_back(field.fieldNumber);
        data_.push_back(field.size);
        data_.push_back(field.baseType);
    }
    if (withDeveloperFields) {
        data_.push_back(static_cast<std::uint8_t>(developerFields.size()));
        for (const DeveloperFieldSpec& field : developerFields) {
            data_.push_back(field.fieldNumber);
            data_.push_back(field.size);
            data_.push_back(field.developerDataIndex);
        }
    }
    definitions_[localMessage] = Definition{globalMessage, endian, std::move(fields), std::move(developerFields)};
}

void FITWriter::appendValue(const FITValue& value, std::uint8_t size, std::uint8_t baseType, Endian endian) {
    const TypeTraits traits = traitsOf(baseType);
    if (value.kind() == FITValue::Kind::text) {
        const std::string& text = value.textValue();
        for (std::size_t i = 0; i < size; ++i)
            data_.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
        return;
    }
    std::uint64_t first = traits.invalidPattern;
    if (value.kind() == FITValue::Kind::integer) {
        first = value.bits();
    } else if (value.kind() == FITValue::Kind::real) {
        if (traits.isFloat && traits.width == 4)
            first = std::bit_cast<std::uint32_t>(static_cast<float>(value.real()));
        else if (traits.isFloat)
            first = std::bit_cast<std::uint64_t>(value.real());
        else
            first = static_cast<std::uint64_t>(std::llround(value.real()));
    }
    // First element, then invalid elements; a field narrower than its type or
    // a ragged tail gets the leading bytes of the element it cuts.
    std::vector<std::uint8_t> element;
    std::size_t written = 0;
    for (bool isFirst = true; written < size; isFirst = false) {
        element.clear();
        appendUnsigned(element, isFirst ? first : traits.invalidPattern, traits.width, endian);
        for (std::size_t i = 0; i < element.size() && written < size; ++i, ++written) data_.push_back(element[i]);
    }
}

void FITWriter::appendData(unsigned localMessage, std::span<const FITValue> values,
                           std::span<const FITValue> developerValues) {
    const Definition& def = definition(localMessage);
    if (values.size() != def.fields.size())
        throw std::logic_error("FIT data message needs one value per field");
    if (!developerValues.empty() && developerValues.size() != def.developerFields.size())
        throw std::logic_error("FIT data message needs one value per developer field");
    for (std::size_t i = 0; i < values.size(); ++i)
        appendValue(values[i], def.fields[i].size, def.fields[i].baseType, def.endian);
    for (std::size_t i = 0; i < def.developerFields.size(); ++i) {
        const DeveloperFieldSpec& field = def.developerFields[i];
        appendValue(developerValues.empty() ? FITValue::invalid() : developerValues[i], field.size, field.baseType,
                    def.endian);
    }
}

void FITWriter::writeData(unsigned localMessage, std::span<const FITValue> values,
                          std::span<const FITValue> developerValues) {
    definition(localMessage);
    data_.push_back(static_cast<std::uint8_t>(localMessage));
    appendData(localMessage, values, developerValues);
}

void FITWriter::writeCompressedData(unsigned localMessage, std::uint8_t timeOffset, std::span<const FITValue> values,
                                    std::span<const FITValue> developerValues) {
    if (localMessage > 3) throw std::logic_error("compressed FIT headers address local messages 0 to 3");
    if (timeOffset > 31) throw std::logic_error("compressed FIT time offsets are 0 to 31");
    definition(localMessage);
    data_.push_back(static_cast<std::uint8_t>(0x80 | (localMessage << 5) | timeOffset));
    appendData(localMessage, values, developerValues);
}

void FITWriter::writeRawBytes(std::span<const std::uint8_t> bytes) { data_.insert(data_.end(), bytes.begin(), bytes.end()); }

void FITWriter::writeRecordDefinition(unsigned localMessage, const RecordLayout& layout, Endian endian,
                                      std::vector<DeveloperFieldSpec> developerFields) {
    std::vector<FieldSpec> fields;
    if (layout.timestamp) fields.push_back({253, 4, FITBaseType::uint32});
    if (layout.position) {
        fields.push_back({0, 4, FITBaseType::sint32});
        fields.push_back({1, 4, FITBaseType::sint32});
    }
    if (layout.altitude)
        fields.push_back(layout.enhanced ? FieldSpec{78, 4, FITBaseType::uint32} : FieldSpec{2, 2, FITBaseType::uint16});
    if (layout.heartRate) fields.push_back({3, 1, FITBaseType::uint8});
    if (layout.cadence) fields.push_back({4, 1, FITBaseType::uint8});
    if (layout.distance) fields.push_back({5, 4, FITBaseType::uint32});
    if (layout.speed)
        fields.push_back(layout.enhanced ? FieldSpec{73, 4, FITBaseType::uint32} : FieldSpec{6, 2, FITBaseType::uint16});
    if (layout.power) fields.push_back({7, 2, FITBaseType::uint16});
    if (layout.grade) fields.push_back({9, 2, FITBaseType::sint16});
    writeDefinition(localMessage, FITParser::recordGlobalMessage, std::move(fields), endian,
                    std::move(developerFields));
}

void FITWriter::writeRecord(unsigned localMessage, const TelemetrySample& sample,
                            std::optional<std::uint8_t> compressedTimeOffset,
                            std::span<const FITValue> developerValues) {
    const Definition& def = definition(localMessage);
    auto optionalValue = [](const auto& reading, auto convert) {
        return reading ? FITValue(convert(*reading)) : FITValue::invalid();
    };
    auto semicircles = [](double degrees) { return scaled(degrees, 2147483648.0 / 180.0); };
    std::vector<FITValue> values;
    values.reserve(def.fields.size());
    for (const FieldSpec& field : def.fields) {
        switch (field.fieldNumber) {
        case 253:
            values.push_back(!compressedTimeOffset && sample.timestamp ? FITValue(fitSeconds(*sample.timestamp))
                                                                      : FITValue::invalid());
            break;
        case 0: values.push_back(optionalValue(sample.latitude, semicircles)); break;
        case 1: values.push_back(optionalValue(sample.longitude, semicircles)); break;
        case 2:
        case 78:
            values.push_back(optionalValue(sample.altitudeMeters, [](double m) { return scaled(m, 5, 500); }));
            break;
        case 3: values.push_back(optionalValue(sample.heartRateBPM, [](std::int64_t v) { return v; })); break;
        case 4: values.push_back(optionalValue(sample.cadenceRPM, [](std::int64_t v) { return v; })); break;
        case 5:
            values.push_back(optionalValue(sample.distanceMeters, [](double m) { return scaled(m, 100); }));
            break;
        case 6:
        case 73:
            values.push_back(optionalValue(sample.speedMetersPerSecond, [](double v) { return scaled(v, 1000); }));
            break;
        case 7: values.push_back(optionalValue(sample.powerWatts, [](std::int64_t v) { return v; })); break;
        case 9:
            values.push_back(optionalValue(sample.gradePercent, [](double g) { return scaled(g, 100); }));
            break;
        default: values.push_back(FITValue::invalid()); break;
        }
    }
    if (compressedTimeOffset)
        writeCompressedData(localMessage, *compressedTimeOffset, values, developerValues);
    else
        writeData(localMessage, values, developerValues);
}

void FITWriter::writeDeveloperDataId(unsigned localMessage, std::uint8_t developerDataIndex,
                                     const std::array<std::uint8_t, 16>& applicationId) {
    writeDefinition(localMessage, developerDataIdGlobalMessage,
                    {{1, 16, FITBaseType::byte}, {3, 1, FITBaseType::uint8}});
    const FITValue values[] = {FITValue::text(std::string(applicationId.begin(), applicationId.end())),
                               FITValue(developerDataIndex)};
    writeData(localMessage, values);
}

void FITWriter::writeFieldDescription(unsigned localMessage, std::uint8_t developerDataIndex,
                                      std::uint8_t fieldNumber, std::uint8_t baseType, const std::string& name,
                                      const std::string& units) {
    // Strings are stored with their terminating zero.
    auto textSize = [](const std::string& text) {
        if (text.size() > 254) throw std::logic_error("FIT string too long");
        return static_cast<std::uint8_t>(text.size() + 1);
    };
    writeDefinition(localMessage, fieldDescriptionGlobalMessage,
                    {{0, 1, FITBaseType::uint8},
                     {1, 1, FITBaseType::uint8},
                     {2, 1, FITBaseType::uint8},
                     {3, textSize(name), FITBaseType::string},
                     {8, textSize(units), FITBaseType::string}});
    const FITValue values[] = {FITValue(developerDataIndex), FITValue(fieldNumber), FITValue(baseType),
                               FITValue::text(name), FITValue::text(units)};
    writeData(localMessage, values);
}

std::vector<std::uint8_t> FITWriter::finish() const {
    if (data_.size() > 0xFFFFFFFFu) throw std::logic_error("FIT data section too large");
    std::vector<std::uint8_t> file;
    file.reserve(options_.headerSize + data_.size() + 2);
    file.push_back(options_.headerSize);
    file.push_back(options_.protocolVersion);
    appendUnsigned(file, options_.profileVersion, 2, Endian::little);
    appendUnsigned(file, data_.size(), 4, Endian::little);
    for (char c : {'.', 'F', 'I', 'T'}) file.push_back(static_cast<std::uint8_t>(c));
    if (options_.headerSize == 14) appendUnsigned(file, crc16(file), 2, Endian::little);
    file.insert(file.end(), data_.begin(), data_.end());
    appendUnsigned(file, crc16(file), 2, Endian::little);
    return file;
}

std::vector<std::uint8_t> FITWriter::chain(std::span<const std::vector<std::uint8_t>> files) {
    std::vector<std::uint8_t> out;
    for (const auto& file : files) out.insert(out.end(), file.begin(), file.end());
    return out;
}

std::uint16_t FITWriter::crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc) {
    // Nibble-wise CRC-16 (polynomial 0x8005, reflected), as FIT files use.
    static constexpr std::uint16_t table[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
                                                0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4400};
    for (std::uint8_t byte : bytes) {
        std::uint16_t tmp = table[crc & 0xF];
        crc = static_cast<std::uint16_t>(((crc >> 4) & 0x0FFF) ^ tmp ^ table[byte & 0xF]);
        tmp = table[crc & 0xF];
        crc = static_cast<std::uint16_t>(((crc >> 4) & 0x0FFF) ^ tmp ^ table[(byte >> 4) & 0xF]);
    }
    return crc;
}

std::uint32_t FITWriter::fitSeconds(TelemetryTimestamp timestamp) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(timestamp - FITParser::fitEpoch).count();
    if (seconds < 0 || seconds > 0xFFFFFFFFll) throw std::logic_error("instant outside the FIT time range");
    return static_cast<std::uint32_t>(seconds);
}

}  // namespace pacemark
