#include "AppModelTestSupport.h"

#include <gtest/gtest.h>

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
    }
    void TearDown() override { delete application_; }

private:
    QCoreApplication* application_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

TelemetryActivity makeActivity(double durationSeconds, std::optional<std::filesystem::path> source) {
    std::vector<TelemetrySample> samples;
    for (double t = 0; t < durationSeconds; t += 1.0) {
        TelemetrySample sample;
        sample.elapsed = t;
        sample.speedMetersPerSecond = 8.0;
        samples.push_back(sample);
    }
    TelemetrySample last;
    last.elapsed = durationSeconds;
    last.speedMetersPerSecond = 8.0;
    samples.push_back(last);
    return TelemetryActivity(std::move(source), std::move(samples));
}

void Gate::open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
}

void Gate::waitOpen() {
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_ = true;
    changed_.wait(lock, [&] { return open_; });
    waiting_ = false;
}

bool Gate::isWaiting() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return waiting_;
}

}  // namespace pacemark::testing
