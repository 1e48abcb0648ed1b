#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "PacemarkError.h"
#include "TelemetryActivity.h"
#include "TelemetrySample.h"

namespace pacemark {

// Why a readable file gave no activity. Decoder and read errors are not
// wrapped: they reach the user with their own descriptions.
class TelemetryLoadError : public PacemarkError {
public:
    enum class Case { unsupportedExtension, emptyActivity };

    // "Неподдерживаемое расширение файла телеметрии: .<extension>"
    static TelemetryLoadError unsupportedExtension(std::string extension);
    // "В файле телеметрии нет пригодных точек."
    static TelemetryLoadError emptyActivity();

    Case errorCase() const { return case_; }
    // The lower-cased extension of an unsupportedExtension error (empty otherwise).
    const std::string& extension() const { return extension_; }

private:
    TelemetryLoadError(Case errorCase, std::string extension, const std::string& description);

    Case case_;
    std::string extension_;
};

// Turns a telemetry file into an activity. Stateless; safe on any thread.
// The decoder is chosen by the file name's extension alone ("fit", "gpx"),
// never by sniffing the content.
class TelemetryFileLoader {
public:
    // Files larger than this are refused before anything is read.
    static constexpr std::uintmax_t maxFileSizeBytes = std::uintmax_t{2} << 30;

    // Reads, decodes and normalizes the file. Fails with FileReadError,
    // FITParserError, GPXParserError or TelemetryLoadError.
    static TelemetryActivity load(const std::filesystem::path& path);

    // The decoder's raw samples, before any normalization. The same errors as
    // load(), except that an empty result is not an error here.
    static std::vector<TelemetrySample> decode(const std::filesystem::path& path);

    // The text after the last dot of the file name, lower-cased (ASCII
    // letters only); empty when the name has no dot.
    static std::string fileExtension(const std::filesystem::path& path);

    // The whole file, or FileReadError (missing, no permission, a folder, an
    // I/O error, or larger than `maxBytes`: EFBIG).
    static std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path,
                                                   std::uintmax_t maxBytes = maxFileSizeBytes);
};

}  // namespace pacemark
