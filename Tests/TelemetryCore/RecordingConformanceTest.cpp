// SPDX-License-Identifier: GPL-3.0-or-later
// Real FIT and GPX recordings from public projects, decoded and compared
// sample by sample with the expectations that independent decoders agreed on.
// The folder's README describes MANIFEST.tsv and the expectation files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "Telemetry/FITParser.h"
#include "Telemetry/GPXParser.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using nlohmann::json;

// The expectation of a recording: the samples in order, or a single
// {"error": ...} object.
std::vector<json> expectationOf(const std::filesystem::path& folder, const std::string& kind, const std::string& file) {
    std::ifstream expectation(folder / "expected" / kind / (file + ".jsonl"));
    std::vector<json> expected;
    for (std::string text; std::getline(expectation, text);) {
        if (!text.empty()) expected.push_back(json::parse(text));
    }
    return expected;
}

// A decoded sample in the expectation format: a key for each present field.
json asExpectation(const TelemetrySample& s) {
    json out = json::object();
    const auto put = [&](const char* key, const auto& reading) {
        if (reading) out[key] = *reading;
    };
    if (s.elapsed != 0) out["elapsed"] = s.elapsed;  // decoders leave it 0
    if (s.timestamp) out["timestamp"] = formatISO8601Milliseconds(*s.timestamp);
    put("latitude", s.latitude);
    put("longitude", s.longitude);
    put("altitudeMeters", s.altitudeMeters);
    put("distanceMeters", s.distanceMeters);
    put("gradePercent", s.gradePercent);
    put("speedMetersPerSecond", s.speedMetersPerSecond);
    put("heartRateBPM", s.heartRateBPM);
    put("cadenceRPM", s.cadenceRPM);
    put("powerWatts", s.powerWatts);
    return out;
}

// How a decode ended, in the expectation format of a failure.
json outcomeOf(const std::function<std::vector<TelemetrySample>()>& decode) {
    try {
        return {{"decoded", decode().size()}};
    } catch (const FITParserError& error) {
        const char* const names[] = {"missingDefinition", "invalidHeader", "invalidDataSize"};  // in Case order
        json out = {{"error", names[static_cast<int>(error.errorCase())]}};
        if (error.errorCase() == FITParserError::Case::missingDefinition) out["localMessage"] = error.localMessage();
        return out;
    } catch (const GPXParserError&) {
        return {{"error", "xml"}};
    }
}

std::int64_t millisecondsOf(const json& timestamp) {
    const auto parsed = parseISO8601InternetDateTime(timestamp.get<std::string>()).value();
    return std::chrono::floor<std::chrono::milliseconds>(parsed).time_since_epoch().count();
}

// Whether a decoded sample matches its expectation: the same keys, integers
// exact, doubles within 1e-9 relative, timestamps within the tolerance.
bool matches(const json& decoded, const json& expected, std::int64_t toleranceMilliseconds) {
    if (decoded.size() != expected.size()) return false;
    for (const auto& [key, got] : decoded.items()) {
        const auto want = expected.find(key);
        if (want == expected.end()) return false;
        if (key == "timestamp") {
            if (std::llabs(millisecondsOf(got) - millisecondsOf(*want)) > toleranceMilliseconds) return false;
        } else if (got.is_number_integer()) {
            if (!want->is_number_integer() || got != *want) return false;
        } else {
            const double wanted = want->get<double>();
            if (std::fabs(got.get<double>() - wanted) > 1e-9 * std::max(1.0, std::fabs(wanted))) return false;
        }
    }
    return true;
}

// Decodes every recording `folder`'s MANIFEST.tsv lists and compares it with
// its expectation; every FIT and GPX file of the folder must be listed.
void checkEveryRecordingIn(const std::filesystem::path& folder) {
    std::ifstream manifest(folder / "MANIFEST.tsv");
    std::string line;
    std::getline(manifest, line);  // the column header
    std::map<std::string, std::ptrdiff_t> listed;
    while (std::getline(manifest, line)) {
        // file, kind, expected count or error, timestamp tolerance, features
        std::istringstream columns(line);
        std::string file, kind, expectedSummary, features;
        std::int64_t toleranceMilliseconds = 0;
        columns >> file >> kind >> expectedSummary >> toleranceMilliseconds;
        std::getline(columns >> std::ws, features);
        ++listed[kind];
        SCOPED_TRACE(file + " (" + features + ")");
        const auto path = folder / kind / file;
        const auto expected = expectationOf(folder, kind, file);
        const auto bytes = testing::readFileBytes(path);
        const auto decodeBytes = [&] { return kind == "fit" ? FITParser().parse(bytes) : GPXParser().parse(bytes); };
        if (expected.size() == 1 && expected[0].contains("error")) {
            // The bytes in memory and the file streamed from disk fail alike.
            EXPECT_EQ(outcomeOf(decodeBytes), expected[0]);
            EXPECT_EQ(outcomeOf([&] { return TelemetryFileLoader::decode(path); }), expected[0]);
            continue;
        }
        std::vector<TelemetrySample> samples;
        try {
            samples = decodeBytes();
        } catch (const PacemarkError& error) {
            ADD_FAILURE() << error.what();
            continue;
        }
        EXPECT_EQ(samples.size(), expected.size());
        int reported = 0;  // the first few differing samples
        for (std::size_t i = 0; i < std::min(samples.size(), expected.size()) && reported < 5; ++i) {
            const json decoded = asExpectation(samples[i]);
            if (matches(decoded, expected[i], toleranceMilliseconds)) continue;
            ADD_FAILURE() << "sample " << i << ": " << decoded << "\n  expected " << expected[i];
            ++reported;
        }
        // The loader streams the file from disk in pieces smaller than most
        // recordings (GPX with a counting pass first): the same samples.
        EXPECT_EQ(TelemetryFileLoader::decode(path), samples);
    }
    for (const std::string kind : {"fit", "gpx"}) {
        const auto files = std::count_if(std::filesystem::directory_iterator(folder / kind), {},
                                         [&](const auto& file) { return file.path().extension() == "." + kind; });
        EXPECT_EQ(listed[kind], files) << kind << " files missing in the manifest";
    }
}

TEST(RecordingConformanceTest, EveryRecordingDecodesAsExpected) {
    const auto folder = testing::sharedTestDataFolder();
    if (!std::filesystem::exists(folder / "MANIFEST.tsv"))
        GTEST_SKIP() << "the shared recordings are not present at " << folder.string() << "; conformance not checked";
    checkEveryRecordingIn(folder);
}

// The few recordings committed with the tests (Tests/data/SOURCES.md): GPX
// tracks and segments in document order, waypoints left out, big-endian FIT
// definitions. Checked on every clone.
TEST(RecordingConformanceTest, CommittedRecordingsDecodeAsExpected) {
    const auto folder = testing::committedRecordingsFolder();
    ASSERT_TRUE(std::filesystem::exists(folder / "MANIFEST.tsv")) << folder.string();
    checkEveryRecordingIn(folder);
}

}  // namespace
}  // namespace pacemark
