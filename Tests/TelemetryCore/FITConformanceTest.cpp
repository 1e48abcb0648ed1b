// Real recordings from public projects, decoded and compared sample by sample
// with the expectations that independent decoders agreed on.

#include <gtest/gtest.h>

#include "ExpectedSamples.h"
#include "Telemetry/FITParser.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using testing::ManifestEntry;

std::string caseName(FITParserError::Case errorCase) {
    switch (errorCase) {
    case FITParserError::Case::missingDefinition: return "missingDefinition";
    case FITParserError::Case::invalidHeader: return "invalidHeader";
    case FITParserError::Case::invalidDataSize: return "invalidDataSize";
    }
    return "?";
}

TEST(FITConformanceTest, EveryRecordingDecodesAsExpected) {
    const auto folder = testing::sharedTestDataFolder();
    if (!std::filesystem::exists(folder / "MANIFEST.tsv"))
        GTEST_SKIP() << "the shared recordings are not present at " << folder.string() << "; conformance not checked";

    int checked = 0;
    for (const ManifestEntry& entry : testing::readManifest(folder / "MANIFEST.tsv")) {
        if (entry.kind != "fit") continue;
        SCOPED_TRACE(entry.file + " (" + entry.features + ")");
        const auto expectation = testing::readExpectation(testing::expectationPath(folder, entry));
        const auto bytes = testing::readFileBytes(folder / "fit" / entry.file);
        ++checked;

        FITParser parser;
        if (expectation.errorCase) {
            // The bytes in memory and the file streamed from disk fail alike.
            for (const bool streamed : {false, true}) {
                try {
                    const auto samples = streamed ? TelemetryFileLoader::decode(folder / "fit" / entry.file)
                                                  : parser.parse(bytes);
                    ADD_FAILURE() << entry.file << ": decoded " << samples.size() << " samples, expected error "
                                  << *expectation.errorCase;
                } catch (const FITParserError& error) {
                    EXPECT_EQ(caseName(error.errorCase()), *expectation.errorCase) << entry.file;
                    if (expectation.errorLocalMessage) {
                        EXPECT_EQ(error.localMessage(), *expectation.errorLocalMessage) << entry.file;
                    }
                }
            }
            EXPECT_EQ(entry.expectedError(), expectation.errorCase) << "manifest and expectation disagree";
            continue;
        }

        std::vector<TelemetrySample> samples;
        try {
            samples = parser.parse(bytes);
        } catch (const FITParserError& error) {
            ADD_FAILURE() << entry.file << ": " << caseName(error.errorCase()) << " — " << error.what();
            continue;
        }
        EXPECT_EQ(entry.expectedCount(), static_cast<std::int64_t>(expectation.samples.size()))
            << "manifest and expectation disagree";
        EXPECT_TRUE(testing::samplesMatch(entry.file, samples, expectation.samples,
                                          entry.timestampToleranceMilliseconds));
        // The loader streams the file through a window smaller than most
        // recordings, and must decode exactly the same.
        EXPECT_EQ(TelemetryFileLoader::decode(folder / "fit" / entry.file), samples) << entry.file;
    }
    int recordings = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder / "fit"))
        if (file.path().extension() == ".fit") ++recordings;
    EXPECT_EQ(checked, recordings) << "every FIT recording should have a line in the manifest";
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace pacemark
