// Real GPX recordings from public projects, read and compared sample by sample
// with the expectations that independent readers agreed on.

#include <gtest/gtest.h>

#include "ExpectedSamples.h"
#include "Telemetry/GPXParser.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using testing::ManifestEntry;

TEST(GPXConformanceTest, EveryRecordingReadsAsExpected) {
    const auto folder = testing::sharedTestDataFolder();
    if (!std::filesystem::exists(folder / "MANIFEST.tsv") || !std::filesystem::is_directory(folder / "gpx"))
        GTEST_SKIP() << "the shared recordings are not present at " << folder.string() << "; conformance not checked";

    int checked = 0;
    for (const ManifestEntry& entry : testing::readManifest(folder / "MANIFEST.tsv")) {
        if (entry.kind != "gpx") continue;
        SCOPED_TRACE(entry.file + " (" + entry.features + ")");
        const auto expectation = testing::readExpectation(testing::expectationPath(folder, entry));
        const auto bytes = testing::readFileBytes(folder / "gpx" / entry.file);
        ++checked;

        GPXParser parser;
        if (expectation.errorCase) {
            EXPECT_EQ(*expectation.errorCase, "xml") << "a GPX recording can only fail as XML";
            EXPECT_THROW(parser.parse(bytes), GPXParserError) << entry.file;
            EXPECT_EQ(entry.expectedError(), expectation.errorCase) << "manifest and expectation disagree";
            continue;
        }

        std::vector<TelemetrySample> samples;
        try {
            samples = parser.parse(bytes);
        } catch (const GPXParserError& error) {
            ADD_FAILURE() << entry.file << ": " << error.what();
            continue;
        }
        EXPECT_EQ(entry.expectedCount(), static_cast<std::int64_t>(expectation.samples.size()))
            << "manifest and expectation disagree";
        EXPECT_TRUE(
            testing::samplesMatch(entry.file, samples, expectation.samples, entry.timestampToleranceMilliseconds));
        // The loader streams the file from disk in pieces, with a counting
        // pass first: the same samples as the whole document at once.
        EXPECT_EQ(TelemetryFileLoader::decode(folder / "gpx" / entry.file), samples) << entry.file;
    }
    int recordings = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder / "gpx"))
        if (file.path().extension() == ".gpx") ++recordings;
    EXPECT_EQ(checked, recordings) << "every GPX recording should have a line in the manifest";
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace pacemark
