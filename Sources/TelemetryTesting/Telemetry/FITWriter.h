// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Telemetry/FITParser.h"
#include "Telemetry/TelemetrySample.h"

namespace pacemark {

// Base type bytes of the FIT protocol (endian-capable types carry bit 7).
namespace FITBaseType {
inline constexpr std::uint8_t enumeration = 0x00;
inline constexpr std::uint8_t sint8 = 0x01;
inline constexpr std::uint8_t uint8 = 0x02;
inline constexpr std::uint8_t sint16 = 0x83;
inline constexpr std::uint8_t uint16 = 0x84;
inline constexpr std::uint8_t sint32 = 0x85;
inline constexpr std::uint8_t uint32 = 0x86;
inline constexpr std::uint8_t string = 0x07;
inline constexpr std::uint8_t float32 = 0x88;
inline constexpr std::uint8_t float64 = 0x89;
inline constexpr std::uint8_t uint8z = 0x0A;
inline constexpr std::uint8_t uint16z = 0x8B;
inline constexpr std::uint8_t uint32z = 0x8C;
inline constexpr std::uint8_t byte = 0x0D;
inline constexpr std::uint8_t sint64 = 0x8E;
inline constexpr std::uint8_t uint64 = 0x8F;
inline constexpr std::uint8_t uint64z = 0x90;
}  // namespace FITBaseType

// One field value to encode. Integers are written in the field's base type
// (truncated to its width), reals as float32/float64 or rounded for integer
// types, text padded with zeros; an invalid value writes the type's invalid
// pattern. A field wider than its type (an array) gets the value first and
// invalid patterns after it.
class FITValue {
public:
    enum class Kind { invalid, integer, real, text };

    FITValue() = default;
    template <typename T>
        requires std::is_integral_v<T>
    FITValue(T value) : kind_(Kind::integer), bits_(static_cast<std::uint64_t>(value)) {}
    FITValue(double value) : kind_(Kind::real), real_(value) {}
    static FITValue invalid() { return {}; }
    static FITValue text(std::string value);

    Kind kind() const { return kind_; }
    std::uint64_t bits() const { return bits_; }
    double real() const { return real_; }
    const std::string& textValue() const { return text_; }

private:
    Kind kind_ = Kind::invalid;
    std::uint64_t bits_ = 0;
    double real_ = 0;
    std::string text_;
};

// Writes FIT files: the project's own encoder for test fixtures, benchmarks
// and the bundled sample ride. Messages are appended in call order; finish()
// puts the header in front and the file CRC behind. Misuse (an undefined
// local message, a wrong number of values) throws std::logic_error.
class FITWriter {
public:
    using Endian = FITParser::Endian;

    struct FieldSpec {
        std::uint8_t fieldNumber = 0;
        std::uint8_t size = 0;
        std::uint8_t baseType = 0;
    };

    // The base type is not part of a definition message; it is kept to encode
    // values (it comes from the matching field description message).
    struct DeveloperFieldSpec {
        std::uint8_t fieldNumber = 0;
        std::uint8_t size = 0;
        std::uint8_t developerDataIndex = 0;
        std::uint8_t baseType = FITBaseType::byte;
    };

    struct Options {
        std::uint8_t headerSize = 14;  // 14 (with header CRC) or 12
        std::uint8_t protocolVersion = 0x20;
        std::uint16_t profileVersion = 2132;
    };

    // Which record fields writeRecordDefinition declares.
    struct RecordLayout {
        bool timestamp = true;
        bool position = true;
        bool altitude = true;
        bool heartRate = true;
        bool cadence = true;
        bool distance = true;
        bool speed = true;
        bool power = true;
        bool grade = false;
        // enhanced_altitude (78, uint32) and enhanced_speed (73, uint32)
        // instead of altitude (2, uint16) and speed (6, uint16).
        bool enhanced = false;
    };

    FITWriter() : FITWriter(Options{}) {}
    explicit FITWriter(Options options);

    void writeDefinition(unsigned localMessage, std::uint16_t globalMessage, std::vector<FieldSpec> fields,
                         Endian endian = Endian::little, std::vector<DeveloperFieldSpec> developerFields = {});
    // A data message with one value per defined field (and per developer field).
    void writeData(unsigned localMessage, std::span<const FITValue> values,
                   std::span<const FITValue> developerValues = {});
    // The same with a compressed-timestamp header: local message 0 to 3,
    // time offset 0 to 31.
    void writeCompressedData(unsigned localMessage, std::uint8_t timeOffset, std::span<const FITValue> values,
                             std::span<const FITValue> developerValues = {});
    // Arbitrary bytes in the data section (for damaged or unusual streams).
    void writeRawBytes(std::span<const std::uint8_t> bytes);

    // A record definition (global message 20) with the fields of `layout`.
    void writeRecordDefinition(unsigned localMessage, const RecordLayout& layout, Endian endian = Endian::little,
                               std::vector<DeveloperFieldSpec> developerFields = {});
    // A record message whose values come from `sample` through the FIT scales
    // (semicircles, altitude ×5 +500 m, speed ×1000, distance ×100, grade
    // ×100); absent readings are written as invalid. With a time offset the
    // message uses a compressed-timestamp header and its timestamp field
    // (if defined) is written as invalid.
    void writeRecord(unsigned localMessage, const TelemetrySample& sample,
                     std::optional<std::uint8_t> compressedTimeOffset = std::nullopt,
                     std::span<const FITValue> developerValues = {});

    // developer_data_id (207) and field_description (206) messages, each
    // with its own definition on `localMessage`.
    void writeDeveloperDataId(unsigned localMessage, std::uint8_t developerDataIndex,
                              const std::array<std::uint8_t, 16>& applicationId);
    void writeFieldDescription(unsigned localMessage, std::uint8_t developerDataIndex, std::uint8_t fieldNumber,
                               std::uint8_t baseType, const std::string& name, const std::string& units);

    std::size_t dataSize() const { return data_.size(); }

    // Header + data section + file CRC.
    std::vector<std::uint8_t> finish() const;

    // Several FIT files one after another in one byte stream.
    static std::vector<std::uint8_t> chain(std::span<const std::vector<std::uint8_t>> files);

    // The FIT CRC-16 of `bytes`, continuing from `crc`.
    static std::uint16_t crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0);

    // Seconds since the FIT epoch of an instant (must not be before it).
    static std::uint32_t fitSeconds(TelemetryTimestamp timestamp);

private:
    struct Definition {
        std::uint16_t globalMessage = 0;
        Endian endian = Endian::little;
        std::vector<FieldSpec> fields;
        std::vector<DeveloperFieldSpec> developerFields;
    };

    void appendData(unsigned localMessage, std::span<const FITValue> values, std::span<const FITValue> developerValues);
    void appendValue(const FITValue& value, std::uint8_t size, std::uint8_t baseType, Endian endian);
    const Definition& definition(unsigned localMessage) const;

    Options options_;
    std::array<std::optional<Definition>, 16> definitions_;
    std::vector<std::uint8_t> data_;
};

}  // namespace pacemark
