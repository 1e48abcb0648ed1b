// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "TelemetryActivity.h"
#include "TelemetryLoadError.h"
#include "TelemetrySample.h"

namespace pacemark {

// How strictly a file is decoded.
enum class TelemetryDecoding {
    // Any structural damage fails the load. The default everywhere.
    strict,
    // A file cut short or damaged inside its data gives the points before
    // the damage: the records of the whole messages of a FIT file
    // (FITParser::parseRecovering), every complete track point of a GPX
    // file (GPXParser::parseRecovering).
    recover,
};

// What a recovering load stepped over, for telling the user.
struct TelemetryDamage {
    // The error a strict load reports for the same file.
    std::string strictDescription;
    std::size_t readableRecordCount = 0;
    std::size_t intactBytes = 0;
    std::size_t fileBytes = 0;

    // "Файл повреждён с байта X из Y (…): прочитано точек до повреждения: N."
    std::string noteText() const;
};

// Turns a telemetry file into an activity. Stateless; safe on any thread.
// The decoder is chosen by the file name's extension alone ("fit", "gpx"),
// never by sniffing the content.
class TelemetryFileLoader {
public:
    // Files larger than this are refused before anything is read.
    static constexpr std::uintmax_t maxFileSizeBytes = std::uintmax_t{2} << 30;

    // Reads, decodes and normalizes the file. Fails with FileReadError,
    // FITParserError, GPXParserError or TelemetryLoadError. Anything but a
    // regular file (a named pipe, a device, a socket, a folder) is refused
    // with FileReadError before it is opened for reading.
    //
    // A strict FITParserError with readableRecordCount() above zero, or a
    // GPXParserError with readablePointCount() above zero, means the file is
    // damaged but that many points survive: offer them, and load again with
    // TelemetryDecoding::recover to open them. A recovering load that skipped
    // damage describes it in `damage` (left empty otherwise); when nothing
    // precedes the damage it fails with the strict error.
    //
    // Once `stop` is requested the load ends within milliseconds with
    // TelemetryLoadCancelled, wherever it is in the file.
    static TelemetryActivity load(const std::filesystem::path& path,
                                  TelemetryDecoding decoding = TelemetryDecoding::strict,
                                  std::optional<TelemetryDamage>* damage = nullptr, std::stop_token stop = {});

    // The decoder's raw samples, before any normalization. The same errors as
    // load(), except that an empty result is not an error here.
    static std::vector<TelemetrySample> decode(const std::filesystem::path& path,
                                               TelemetryDecoding decoding = TelemetryDecoding::strict,
                                               std::optional<TelemetryDamage>* damage = nullptr,
                                               std::stop_token stop = {});

    // The text after the last dot of the file name, lower-cased (ASCII
    // letters only); empty when the name has no dot.
    static std::string fileExtension(const std::filesystem::path& path);

    // The whole file, or FileReadError (missing, no permission, not a
    // regular file, an I/O error, or larger than `maxBytes`: EFBIG).
    static std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path,
                                                   std::uintmax_t maxBytes = maxFileSizeBytes);
};

}  // namespace pacemark
