#include <gtest/gtest.h>

#include "Telemetry/TelemetryLoadError.h"
#include "Telemetry/TelemetrySampleCollector.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

TelemetrySample numbered(std::size_t k) {
    TelemetrySample sample;
    sample.powerWatts = static_cast<std::int64_t>(k);
    return sample;
}

// Samples come back in order and complete whether they fit the reserved room,
// overflow it into blocks, or span several blocks; past the budget the file
// is refused with a Russian message.
TEST(TelemetrySampleCollectorTest, KeepsOrderAcrossReservedRoomAndBlocksAndRefusesPastTheBudget) {
    for (const std::size_t reserved : {std::size_t{0}, std::size_t{10}, std::size_t{40'000}}) {
        TelemetrySampleCollector collector(100'000);
        collector.reserve(reserved);
        const std::size_t count = 2 * TelemetrySampleCollector::blockSamples + 7;
        for (std::size_t k = 0; k < count; ++k) collector.append(numbered(k));
        const auto samples = collector.take();
        ASSERT_EQ(samples.size(), count) << reserved;
        for (std::size_t k = 0; k < count; ++k) ASSERT_EQ(samples[k], numbered(k)) << reserved;
        EXPECT_LE(samples.capacity(), count + count / 8) << "no slack kept";
        EXPECT_EQ(collector.size(), 0u);
    }

    TelemetrySampleCollector small(3);
    for (std::size_t k = 0; k < 3; ++k) small.append(numbered(k));
    const auto error = testing::thrownBy<TelemetryLoadError>([&] { small.append(numbered(3)); });
    EXPECT_EQ(error.errorCase(), TelemetryLoadError::Case::tooManySamples);
    EXPECT_EQ(error.errorDescription(),
              "Файл телеметрии слишком велик: в нём больше 3 точек, столько не поместится в памяти.");
}

}  // namespace
}  // namespace pacemark
