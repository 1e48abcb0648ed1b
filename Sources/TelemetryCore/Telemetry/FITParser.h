// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "PacemarkError.h"
#include "Telemetry/FITByteStream.h"
#include "Telemetry/TelemetrySample.h"
#include "Telemetry/TelemetrySampleCollector.h"

namespace pacemark {

// Why a FIT file could not be decoded. Only structural damage is an error;
// invalid or missing readings just leave sample fields absent.
class FITParserError : public PacemarkError {
public:
    enum class Case { missingDefinition, invalidHeader, invalidDataSize };

    // "У локального FIT-сообщения N нет определения."
    static FITParserError missingDefinition(std::int64_t localMessage);
    // "Файл не похож на корректную FIT-активность."
    static FITParserError invalidHeader();
    // "Секция данных FIT-файла обрезана."
    static FITParserError invalidDataSize();

    Case errorCase() const { return case_; }
    // The local message number of a missingDefinition error (0 otherwise).
    std::int64_t localMessage() const { return localMessage_; }

    // Records that decoded whole before the damage: what a recovering parse
    // of the same bytes returns. 0 for a bad header, which leaves nothing to
    // recover; a caller may offer recovery when this is above zero.
    std::size_t readableRecordCount() const { return readableRecordCount_; }
    FITParserError withReadableRecordCount(std::size_t count) const;

private:
    FITParserError(Case errorCase, std::int64_t localMessage, const std::string& description);

    Case case_;
    std::int64_t localMessage_;
    std::size_t readableRecordCount_ = 0;
};

// Decodes the bytes of a FIT activity file into raw samples, one per record
// message (global message 20), in stream order. Nothing is normalized: every
// sample has `elapsed` 0 and a timestamp where the file gives one.
//
// The bytes are read once, in order, through a window of fixed size
// (FITByteStream), so a file streamed from disk is never in memory whole;
// the decoding of bytes already in memory goes the same way. Every entry
// reads its source to the end, so that a failing read is reported before
// anything the decoder found, as when a file is read whole first.
//
// One parser serves one parse at a time; it keeps the local definitions and
// the running clock of the stream as state. It never reads outside `data`.
class FITParser {
public:
    // Origin of FIT timestamps: 1989-12-31 00:00:00 UTC.
    static constexpr std::int64_t fitEpochUnixSeconds = 631065600;
    static constexpr TelemetryTimestamp fitEpoch{std::chrono::seconds{fitEpochUnixSeconds}};
    static constexpr std::uint16_t recordGlobalMessage = 20;
    static constexpr std::uint8_t timestampFieldNumber = 253;
    static constexpr std::uint16_t activityGlobalMessage = 34;
    static constexpr std::uint8_t activityLocalTimestampField = 5;
    static constexpr std::size_t localMessageCount = 16;

    enum class Endian { little, big };

    struct FieldDefinition {
        std::uint8_t fieldNumber = 0;
        std::uint8_t size = 0;
        std::uint8_t baseType = 0;
    };

    // The layout of one local message. Developer fields are only skipped, so
    // only their total size is kept.
    struct DefinitionMessage {
        Endian endian = Endian::little;
        std::uint16_t globalMessageNumber = 0;
        std::uint8_t fieldCount = 0;
        std::array<FieldDefinition, 255> fields{};
        // Bytes of one data message: all fields plus all developer fields.
        std::uint32_t dataSize = 0;
    };

    // What a recovering parse could read: the records of every whole message
    // before the first one that does not fit or cannot be decoded.
    struct Recovery {
        std::vector<TelemetrySample> samples;
        // The damage that ended the walk; absent when the data section
        // decoded to its end.
        std::optional<FITParserError> damage;
        // Offset of the first byte after the last whole message (the end of
        // the data section when nothing was damaged).
        std::size_t intactBytes = 0;
        // The length of the whole file.
        std::size_t fileBytes = 0;
    };

    using ByteSource = FITByteStream::ByteSource;

    FITParser() = default;

    // The samples of every record message, or a FITParserError; never a
    // partial result. More records than telemetrySampleBudget fail with
    // TelemetryLoadError::tooManySamples, in both modes. A data section that is cut short or damaged fails
    // whole, and its error tells how many records a recovering parse reads.
    std::vector<TelemetrySample> parse(std::span<const std::uint8_t> data);

    // For files cut short (a device whose battery died, an interrupted copy):
    // the records that precede the damage. A data section declared longer
    // than the file is read up to the file's end. An unusable header still
    // fails with invalidHeader: there is nothing to read then.
    Recovery parseRecovering(std::span<const std::uint8_t> data);

    // The same two, for a file read piece by piece from its start.
    // `expectedRecords` is room made for the samples beforehand: the count
    // of a first pass (countRecordMessages) over the same file, or 0.
    std::vector<TelemetrySample> parse(const ByteSource& read, std::size_t expectedRecords = 0);
    Recovery parseRecovering(const ByteSource& read, std::size_t expectedRecords = 0);

    // The record messages before the end of the data section or the first
    // damage, found from the message headers alone: the most samples a parse
    // of the same file gives, so that they are stored without growing. 0 for
    // a bad header; reads only as far as the data section goes.
    std::size_t countRecordMessages(const ByteSource& read);

    // The value of one field as a number, or nothing when the base type is
    // unknown, the field is narrower than the type, or the value is the
    // type's invalid pattern. An array field yields its first element.
    static std::optional<double> numericValue(std::span<const std::uint8_t> bytes, std::size_t at,
                                              std::size_t size, std::uint8_t baseType, Endian endian);

    // After a parse: the recording's offset of local time from UTC in
    // seconds, from the activity message (local_timestamp − timestamp), when
    // the file gives both and the difference is a time zone's (within ±14 h).
    std::optional<std::int64_t> localTimeOffsetSeconds() const { return localTimeOffsetSeconds_; }

private:
    // Validates the header, resets the stream state and walks the data
    // section (cut at the end of the file), appending samples until the end
    // or the first damaged message, which goes to `recovery`. Returns where
    // the header says the data section ends.
    std::uint64_t walk(FITByteStream& in, Recovery& recovery, TelemetrySampleCollector& samples);
    // Each reads one message whose header byte has been consumed, and moves
    // past it only when it is whole; `end` is where the data section ends.
    void parseDefinitionMessage(FITByteStream& in, std::uint64_t end, unsigned localMessage,
                                bool hasDeveloperFields);
    // Appends a sample to `samples` when the message is a record with at
    // least one usable reading (TelemetryLoadError past the sample budget).
    void parseDataMessage(FITByteStream& in, std::uint64_t end, unsigned localMessage,
                          std::optional<std::uint8_t> compressedTimeOffset, TelemetrySampleCollector& samples);

    std::array<std::optional<DefinitionMessage>, localMessageCount> definitions_;
    // Seconds since the FIT epoch of the latest timestamp in the stream. Kept
    // wider than 32 bits so that compressed offsets after a timestamp near
    // the top of the 32-bit range cannot wrap around.
    std::optional<std::int64_t> lastTimestampSeconds_;
    std::optional<std::int64_t> localTimeOffsetSeconds_;
};

std::uint32_t readUInt32(std::span<const std::uint8_t> bytes, std::size_t at, FITParser::Endian endian);
std::uint64_t readUInt64(std::span<const std::uint8_t> bytes, std::size_t at, FITParser::Endian endian);

}  // namespace pacemark
