// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppModelTestSupport.h"

#include <QThreadPool>

#include <algorithm>
#include <cmath>

#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryTime.h"

namespace pacemark::testing {
namespace {

// The model needs an application object for its queued calls; one lives for
// the whole test program. Its destruction drains the worker pool.
class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "PacemarkAppModelTests";
        static char* argv[] = {name, nullptr};
        application_ = new QCoreApplication(argc, argv);
        // Tests hold several workers at gates at once.
        QThreadPool::globalInstance()->setMaxThreadCount(8);
    }
    void TearDown() override { delete application_; }

private:
    QCoreApplication* application_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

const TelemetryTimestamp rideStart = *parseISO8601InternetDateTime("2024-05-01T09:00:00Z");

}  // namespace

TelemetryActivity makeActivity(double seconds, bool positions) {
    std::vector<TelemetrySample> samples;
    for (double t = 0;; t = std::min(t + 1, seconds)) {
        TelemetrySample& sample = samples.emplace_back();
        sample.elapsed = t;
        sample.timestamp = rideStart + std::chrono::microseconds(std::llround(t * 1e6));
        if (positions) {
            sample.latitude = 45.0;
            sample.longitude = 7.0 + t * 0.0001;
        }
        if (t == seconds) break;
    }
    return TelemetryActivity(std::nullopt, std::move(samples));
}

std::vector<std::uint8_t> fitActivityBytes(int durationSeconds) {
    FITWriter writer;
    writer.writeRecordDefinition(0, FITWriter::RecordLayout{});
    for (const TelemetrySample& sample : makeActivity(durationSeconds).samples) writer.writeRecord(0, sample);
    return writer.finish();
}

}  // namespace pacemark::testing
