// How the window feels, measured on the real window over the real services
// (the same objects main() builds), under a display such as Xvfb:
//
//   1. start: from the process start to the first paint of the editor preview
//      with the sample ride loaded;
//   2. export: while the window exports the sample ride (the model's export
//      path, ProRes 4444 at 1920 × 1080), how long each turn of the event loop
//      keeps the main thread busy, as a histogram with percentiles, and the
//      longest gap between the ticks of a 1 ms timer;
//   3. drag: one drag step of a widget in the editor (a mouse move on the
//      preview, then the event loop until the window is painted again), at
//      1920 × 1080 and 3840 × 2160 output, as a Google Benchmark. It measures
//      whatever the editor preview draws.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/WindowResponsivenessBench
//       [--export-seconds N] [--benchmark_* options]   (on the same line)
//
// Targets: start under 2 s, no turn over 50 ms during the export, a drag step
// under 8 ms at 4K output.

#include <benchmark/benchmark.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "AppModel.h"
#include "AppModelVideoServices.h"
#include "CairoDrawingSurface.h"
#include "ContentView.h"
#include "EditorPreviewView.h"
#include "Export/TelemetryVideoExporter.h"
#include "FFmpegMovieWriterFactory.h"
#include "HEVCAlphaMovieWriter.h"
#include "OverlayInteraction.h"
#include "PreviewPane.h"

namespace {

using namespace pacemark;
using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

// Seconds since this process started, from the kernel's start time (clock
// ticks since boot) and the boot clock; includes loading the shared libraries.
double secondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The fields after the command name (which may hold spaces) start past ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long startTicks = 0;
    for (int index = 3; index <= 22 && fields >> field; ++index) {
        if (index == 22) startTicks = std::stoull(field);
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowSeconds = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    return nowSeconds - static_cast<double>(startTicks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

// The window as main() builds it.
struct Window {
    std::shared_ptr<const CairoDrawingSurfaceFactory> surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
    std::unique_ptr<AppModel> model;
    std::unique_ptr<ContentView> view;

    Window() {
        auto writers =
            std::make_shared<const FFmpegMovieWriterFactory>(std::make_shared<const X265MovieWriterFactory>());
        AppModelServices services =
            makeAppModelServices(writers, TelemetryVideoExporter::layoutFrameRenderers(surfaces));
        addVideoBackgroundServices(services);
        model = std::make_unique<AppModel>(std::move(services));
        view = std::make_unique<ContentView>(*model, surfaces);
        view->resize(1440, 900);
    }

    EditorPreviewView* editor() const { return view->preview()->editor(); }
};

// 1. Start until the editor preview has painted the loaded ride.
void measureStart(Window& window, const std::filesystem::path& ride) {
    double paintedAfter = -1;
    // The paint is over when the event loop next gets to a queued call.
    class PaintWatch : public QObject {
    public:
        std::function<void()> painted;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && painted) {
                QTimer::singleShot(0, this, [this] {
                    if (painted) painted();
                });
            }
            return false;
        }
    } watch;
    watch.painted = [&] {
        if (window.model->activity() && !window.model->isLoading() && paintedAfter < 0) {
            paintedAfter = secondsSinceProcessStart();
        }
    };
    window.editor()->installEventFilter(&watch);
    window.view->show();
    const QStringList arguments{QStringLiteral("pacemark"), QString::fromStdString(ride.string())};
    QTimer::singleShot(0, window.model.get(), [&] { window.model->loadCommandLineArgumentIfNeeded(arguments); });
    if (!waitUntil([&] { return paintedAfter >= 0; }, std::chrono::seconds(60))) {
        std::printf("start: the ride was not shown within 60 s\n");
        return;
    }
    window.editor()->removeEventFilter(&watch);
    std::printf("start: sample ride loaded and the preview painted %.0f ms after the process started\n",
                paintedAfter * 1000);
}

// Busy stretches of the main thread: from the dispatcher's wake-up to its next
// wait, i.e. the length of one turn of the event loop.
class TurnRecorder {
public:
    TurnRecorder() {
        auto* dispatcher = QAbstractEventDispatcher::instance();
        awake_ = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [this] {
            if (!busy_) turnStart_ = Clock::now();
            busy_ = true;
        });
        aboutToBlock_ = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this] {
            if (busy_) turns_.push_back(milliseconds(Clock::now() - turnStart_));
            busy_ = false;
        });
    }
    ~TurnRecorder() {
        QObject::disconnect(awake_);
        QObject::disconnect(aboutToBlock_);
    }
    std::vector<double> turns() const { return turns_; }

private:
    QMetaObject::Connection awake_;
    QMetaObject::Connection aboutToBlock_;
    bool busy_ = false;
    Clock::time_point turnStart_;
    std::vector<double> turns_;
};

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(values.size())))];
}

void printDistribution(const char* title, const std::vector<double>& values) {
    const double bounds[] = {1, 2, 5, 10, 20, 50};
    std::printf("%s: %zu samples, p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, p99.9 %.2f ms, max %.2f ms\n", title,
                values.size(), percentile(values, 0.5), percentile(values, 0.9), percentile(values, 0.99),
                percentile(values, 0.999), values.empty() ? 0 : *std::max_element(values.begin(), values.end()));
    double lower = 0;
    for (double upper : bounds) {
        const auto count = std::count_if(values.begin(), values.end(), [&](double v) { return v >= lower && v < upper; });
        std::printf("  %5.0f - %3.0f ms: %zu\n", lower, upper, static_cast<std::size_t>(count));
        lower = upper;
    }
    const auto over = std::count_if(values.begin(), values.end(), [&](double v) { return v >= lower; });
    std::printf("  %5.0f ms and more: %zu\n", lower, static_cast<std::size_t>(over));
}

// 2. The event loop while the window exports.
void measureExport(Window& window, int exportSeconds) {
    AppModel& model = *window.model;
    model.setWidth(1920);
    model.setHeight(1080);
    model.setExportStartSeconds(0);
    model.setExportEndSeconds(exportSeconds);
    const auto movie = std::filesystem::temp_directory_path() / ("pacemark-window-bench-" + std::to_string(getpid()) + ".mov");

    std::vector<double> tickGaps;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.setInterval(1);
    Clock::time_point lastTick = Clock::now();
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        tickGaps.push_back(milliseconds(now - lastTick));
        lastTick = now;
    });
    int progressReports = 0;
    const auto progressObserver =
        QObject::connect(&model, &AppModel::exportProgressChanged, [&] { ++progressReports; });

    const auto started = Clock::now();
    std::optional<TurnRecorder> recorder;
    recorder.emplace();
    lastTick = Clock::now();
    ticks.start();
    model.exportMovie(movie);
    const bool finished = waitUntil([&] { return !model.isExporting(); }, std::chrono::minutes(30));
    ticks.stop();
    const std::vector<double> turns = recorder->turns();
    recorder.reset();
    QObject::disconnect(progressObserver);
    std::error_code ignored;
    std::filesystem::remove(movie, ignored);

    std::printf("\nexport: %d s of the ride at 1920x1080 %s in %.1f s, %d progress reports, status \"%s\"\n",
                exportSeconds, finished ? "done" : "NOT finished", milliseconds(Clock::now() - started) / 1000,
                progressReports, model.statusText().toStdString().c_str());
    printDistribution("event loop turns (wake-up to next wait)", turns);
    printDistribution("gaps between 1 ms timer ticks", tickGaps);
}

// 3. One drag step: a mouse move of the selected widget, then the event loop
// until the window has repainted.
void dragStep(benchmark::State& state, Window* window) {
    AppModel& model = *window->model;
    const std::int64_t width = state.range(0);
    model.setWidth(width);
    model.setHeight(width * 9 / 16);
    QCoreApplication::processEvents();
    EditorPreviewView* editor = window->editor();
    const PacemarkWidget widget = model.overlayLayout().widgets.front();
    const QRectF canvas = editor->canvasRect();
    const QPointF start = previewRect(widget, canvas).center();
    const auto send = [editor](QEvent::Type type, QPointF point, Qt::MouseButtons buttons) {
        QMouseEvent event(type, point, editor->mapToGlobal(point), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(editor, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    QCoreApplication::processEvents();
    int step = 0;
    for (auto _ : state) {
        // Back and forth across 20 view points, one point per step.
        const double offset = (step / 20 % 2 == 0) ? step % 20 : 20 - step % 20;
        ++step;
        send(QEvent::MouseMove, start + QPointF(offset, offset / 2), Qt::LeftButton);
        QCoreApplication::processEvents();
    }
    send(QEvent::MouseButtonRelease, start, Qt::NoButton);
    QCoreApplication::processEvents();
    state.SetLabel(std::to_string(width) + "x" + std::to_string(width * 9 / 16) + " output, canvas " +
                   std::to_string(static_cast<int>(canvas.width())) + " pt");
}

int argumentValue(int& argc, char** argv, const std::string& name, int fallback) {
    for (int index = 1; index + 1 < argc; ++index) {
        if (argv[index] == name) {
            const int value = std::stoi(argv[index + 1]);
            std::copy(argv + index + 2, argv + argc, argv + index);
            argc -= 2;
            return value;
        }
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const int exportSeconds = argumentValue(argc, argv, "--export-seconds", 60);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    Window window;
    measureStart(window, std::filesystem::path(PACEMARK_SOURCE_DIR) / "samples" / "sample-ride.fit");
    if (!window.model->activity()) return 1;
    measureExport(window, exportSeconds);

    std::printf("\n");
    benchmark::RegisterBenchmark("DragStep", dragStep, &window)
        ->Arg(1920)
        ->Arg(3840)
        ->Unit(benchmark::kMillisecond)
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->MinTime(2.0);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
