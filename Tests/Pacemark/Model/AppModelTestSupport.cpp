#include "AppModelTestSupport.h"

#include <gtest/gtest.h>

#include <QThreadPool>

#include <cstring>

#include "Telemetry/FITWriter.h"
#include "Telemetry/TelemetryFormatters.h"
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

// Fills a frame with its sample index, so repeated frames are identical.
class SampleIndexRenderer : public ExportFrameRenderer {
public:
    explicit SampleIndexRenderer(std::shared_ptr<const TelemetryActivity> activity) : activity_(std::move(activity)) {}
    void render(double elapsedSeconds, PixelBufferView into) const override {
        const auto index = static_cast<std::uint8_t>(frameKey(elapsedSeconds) & 0xFF);
        for (std::int64_t y = 0; y < into.height; ++y) std::memset(into.row(y), index, static_cast<std::size_t>(into.width * 4));
    }
    std::size_t frameKey(double elapsedSeconds) const override { return activity_->sampleIndex(elapsedSeconds); }

private:
    std::shared_ptr<const TelemetryActivity> activity_;
};

}  // namespace

std::string gpxTrackText(int durationSeconds) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<gpx version=\"1.1\" creator=\"test\" xmlns=\"http://www.topografix.com/GPX/1/1\">"
                       "<trk><trkseg>\n";
    for (int s = 0; s <= durationSeconds; ++s) {
        const int minutes = s / 60 % 60, hours = 9 + s / 3600, seconds = s % 60;
        char time[32];
        std::snprintf(time, sizeof time, "2024-05-01T%02d:%02d:%02dZ", hours, minutes, seconds);
        text += "<trkpt lat=\"45.0\" lon=\"" + TelemetryFormatters::fixed(7.0 + s * 0.0001, 6) + "\"><ele>" +
                std::to_string(200 + s % 7) + "</ele><time>" + time + "</time></trkpt>\n";
    }
    return text + "</trkseg></trk></gpx>\n";
}

std::vector<std::uint8_t> fitActivityBytes(int durationSeconds) {
    FITWriter writer;
    writer.writeRecordDefinition(0, FITWriter::RecordLayout{});
    const auto start = *parseISO8601InternetDateTime("2024-05-01T09:00:00Z");
    for (int s = 0; s <= durationSeconds; ++s) {
        TelemetrySample sample;
        sample.timestamp = start + std::chrono::seconds(s);
        sample.latitude = 45.0;
        sample.longitude = 7.0 + s * 0.0001;
        sample.speedMetersPerSecond = 8.0;
        sample.heartRateBPM = 120 + s % 40;
        sample.powerWatts = 200 + s % 50;
        writer.writeRecord(0, sample);
    }
    return writer.finish();
}

AppModelServices recordingServices(std::shared_ptr<const MovieWriterFactory> writers) {
    return makeAppModelServices(std::move(writers),
                                [](std::shared_ptr<const TelemetryActivity> activity, const PacemarkLayout&,
                                   std::int64_t, std::int64_t) -> std::unique_ptr<const ExportFrameRenderer> {
                                    return std::make_unique<SampleIndexRenderer>(std::move(activity));
                                });
}

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
