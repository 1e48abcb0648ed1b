// A real recording cut short, as a device whose battery died leaves it: the
// recovering decoder gives exactly the records of the whole messages before
// the cut, while strict decoding still refuses the file.

#include <gtest/gtest.h>

#include "Telemetry/FITParser.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

// The prefix of `bytes` of `length` bytes, with the header's data size
// rewritten to end there: a file that is whole if `length` falls on a
// message boundary.
std::vector<std::uint8_t> sealedPrefix(const std::vector<std::uint8_t>& bytes, std::size_t length) {
    std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    const auto dataSize = static_cast<std::uint32_t>(length - bytes[0]);
    for (int k = 0; k < 4; ++k) prefix[4 + k] = static_cast<std::uint8_t>(dataSize >> (8 * k));
    return prefix;
}

// What should survive a cut at `cut`, found with the strict decoder alone:
// the longest prefix that decodes as a whole file ends at the last message
// boundary before the cut.
std::pair<std::size_t, std::vector<TelemetrySample>> strictlyDecodablePrefix(const std::vector<std::uint8_t>& bytes,
                                                                             std::size_t cut) {
    for (std::size_t length = cut; length > bytes[0]; --length) {
        try {
            return {length, FITParser().parse(sealedPrefix(bytes, length))};
        } catch (const FITParserError&) {
        }
    }
    return {bytes[0], {}};
}

TEST(FITRecoveryTest, RecordingCutAtTenOffsetsGivesTheRecordsBeforeEachCut) {
    const auto file = testing::sharedTestDataFolder() / "fit" / "pf__sample-activity.fit";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << file.string() << " is not present; recovery not checked";
    const auto bytes = testing::readFileBytes(file);
    const auto whole = FITParser().parse(bytes);
    ASSERT_GT(whole.size(), 1000u);

    // A whole file recovers to itself, with no damage.
    const auto intact = FITParser().parseRecovering(bytes);
    EXPECT_EQ(intact.samples, whole);
    EXPECT_FALSE(intact.damage);

    const std::size_t headerSize = bytes[0];
    const std::size_t dataEnd = headerSize + (bytes[4] | bytes[5] << 8 | bytes[6] << 16 | std::size_t{bytes[7]} << 24);
    testing::TemporaryFolder folder;
    std::size_t previousCount = 0;
    for (int k = 1; k <= 10; ++k) {
        // Spread over the data section, off any regular stride (the last cut
        // drops a single byte).
        const std::size_t cut = k == 10 ? dataEnd - 1 : headerSize + (dataEnd - headerSize) * k / 10 + 7 * k;
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const std::vector<std::uint8_t> damaged(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        const auto [boundary, expected] = strictlyDecodablePrefix(bytes, cut);
        EXPECT_GE(expected.size(), previousCount);
        previousCount = expected.size();

        const auto recovery = FITParser().parseRecovering(damaged);
        EXPECT_EQ(recovery.samples, expected);
        EXPECT_EQ(recovery.intactBytes, boundary);
        ASSERT_TRUE(recovery.damage);
        EXPECT_EQ(recovery.damage->errorCase(), FITParserError::Case::invalidDataSize);

        // Strict decoding refuses the file as before, and says how much a
        // recovering load would give.
        try {
            FITParser().parse(damaged);
            ADD_FAILURE() << "strict decoding accepted a cut file";
        } catch (const FITParserError& error) {
            EXPECT_EQ(error.errorDescription(), "Секция данных FIT-файла обрезана.");
            EXPECT_EQ(error.readableRecordCount(), expected.size());
        }

        // Through the loader: strict by default, recovering on request with
        // a note of what was skipped.
        const auto path = folder / ("cut-" + std::to_string(k) + ".fit");
        testing::writeFileBytes(path, damaged);
        EXPECT_THROW(TelemetryFileLoader::load(path), FITParserError);
        std::optional<TelemetryDamage> damage;
        const TelemetryActivity activity = TelemetryFileLoader::load(path, TelemetryDecoding::recover, &damage);
        EXPECT_EQ(activity.samples.size(), expected.size());
        ASSERT_TRUE(damage);
        EXPECT_EQ(damage->noteText(), "Файл повреждён с байта " + std::to_string(boundary) + " из " +
                                          std::to_string(cut) +
                                          " (Секция данных FIT-файла обрезана.): прочитано точек до повреждения: " +
                                          std::to_string(expected.size()) + ".");
    }
    // One byte off the end costs at most the last message.
    EXPECT_GE(previousCount + 1, whole.size());
}

TEST(FITRecoveryTest, NothingBeforeTheDamageFailsWithTheStrictError) {
    testing::TemporaryFolder folder;
    // A header and a data message for an undefined local message: nothing is
    // readable, so recovery reports the damage itself.
    std::vector<std::uint8_t> bytes = {14, 0x10, 0, 0, 2, 0, 0, 0, '.', 'F', 'I', 'T', 0, 0, 0x05, 0x00};
    testing::writeFileBytes(folder / "broken.fit", bytes);
    try {
        TelemetryFileLoader::load(folder / "broken.fit", TelemetryDecoding::recover);
        ADD_FAILURE() << "a file without readable records loaded";
    } catch (const FITParserError& error) {
        EXPECT_EQ(error.errorCase(), FITParserError::Case::missingDefinition);
        EXPECT_EQ(error.readableRecordCount(), 0u);
    }
    // A bad header leaves nothing to recover.
    bytes[9] = 'f';
    EXPECT_THROW(FITParser().parseRecovering(bytes), FITParserError);
}

}  // namespace
}  // namespace pacemark
