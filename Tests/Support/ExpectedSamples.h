#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Telemetry/TelemetrySample.h"

namespace pacemark::testing {

// One value of a flat JSON object: its source text, and what it reads as.
struct ExpectedValue {
    enum class Kind { number, string };
    Kind kind = Kind::number;
    std::string text;   // the string's characters, or the number as written
    double number = 0;  // for numbers
    bool isInteger = false;
    std::int64_t integer = 0;  // for numbers written without fraction or exponent
};

using ExpectedObject = std::map<std::string, ExpectedValue>;

// What a decoder must return for one recording: either samples or an error.
struct ExpectedOutcome {
    std::vector<ExpectedObject> samples;
    // "invalidHeader", "invalidDataSize", "missingDefinition", "xml", ...
    std::optional<std::string> errorCase;
    std::optional<std::int64_t> errorLocalMessage;
};

// One line of MANIFEST.tsv.
struct ManifestEntry {
    std::string file;      // "pf__sample-activity.fit"
    std::string kind;      // "fit" or "gpx"
    std::string expected;  // a sample count, or "error:<case>"
    std::int64_t timestampToleranceMilliseconds = 0;
    std::string features;

    std::optional<std::int64_t> expectedCount() const;
    std::optional<std::string> expectedError() const;
};

// Parses one line of an expectation file; throws std::runtime_error with the
// reason when the line is not a flat object of strings and numbers.
ExpectedObject parseExpectedObject(const std::string& line);

// Reads an expectation file (one JSON object per line; blank lines ignored).
ExpectedOutcome readExpectation(const std::filesystem::path& path);

// Reads MANIFEST.tsv (tab-separated, first line is the column header).
std::vector<ManifestEntry> readManifest(const std::filesystem::path& path);

// The expectation file of a recording: <folder>/expected/<kind>/<file>.jsonl.
std::filesystem::path expectationPath(const std::filesystem::path& testDataFolder, const ManifestEntry& entry);

// Compares decoded samples with an expected sample list: same count, same set
// of present fields, integers exact, doubles within 1e-9 relative, timestamps
// equal to the millisecond or within the tolerance. The failure message names
// the file, the sample index and the field; it lists at most a few mismatches.
::testing::AssertionResult samplesMatch(const std::string& fileName, const std::vector<TelemetrySample>& actual,
                                        const std::vector<ExpectedObject>& expected,
                                        std::int64_t timestampToleranceMilliseconds = 0);

// A sample as a one-line JSON object in the expectation format (for messages).
std::string describeSample(const TelemetrySample& sample);

}  // namespace pacemark::testing
