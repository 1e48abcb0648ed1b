// SPDX-License-Identifier: GPL-3.0-or-later
// How the window feels, measured on the real window over the real services
// (the same objects main() builds), under a display such as Xvfb:
//
//   1. start: from the process start to the first paint of the editor preview
//      with the sample ride loaded;
//   2. export: while the window exports the sample ride through the model
//      (1920 × 1080, the window's codec unless --hevc says), the turns of the
//      event loop as the gaps between the ticks of a 1 ms timer, with the main
//      thread's own CPU time within each gap (work on the main thread, as
//      against waiting for a core on a busy machine), the longest event and
//      what the window painted; first the same ticks for 3 s without an export;
//   3. drag: one drag step of a widget on the editor preview at 1920 × 1080
//      and 3840 × 2160 output, as a Google Benchmark: "Window" is the mouse
//      move and the event loop until the window has repainted and handed its
//      picture to the display server; "Drawing" is the move and the editor
//      preview drawn into an image. It measures whatever the preview draws.
//
//   xvfb-run -a -s "-screen 0 1920x1080x24" build/bench/WindowResponsivenessBench
//       [--export-seconds N] [--hevc 1|0] [--benchmark_* options]   (on the same line)
//
// Targets: start under 2 s, no turn over 50 ms during the export, a drag step
// under 8 ms at 4K output.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
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
#include "PlatformMovieWriters.h"
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

// The window as main() builds it.
struct Window {
    std::shared_ptr<const CairoDrawingSurfaceFactory> surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
    std::unique_ptr<AppModel> model;
    std::unique_ptr<ContentView> view;

    Window() {
        auto writers = platformMovieWriters();
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
    QEventLoop loop;
    // A paint of the preview with the ride loaded; it is over when the event
    // loop next gets to a queued call.
    class PaintWatch : public QObject {
    public:
        std::function<bool()> showsRide;
        std::function<void()> painted;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && showsRide()) QTimer::singleShot(0, this, painted);
            return false;
        }
    } watch;
    watch.showsRide = [&] { return window.model->loadedActivity().activity() && !window.model->loadedActivity().isLoading(); };
    watch.painted = [&] {
        if (paintedAfter < 0) paintedAfter = secondsSinceProcessStart();
        loop.quit();
    };
    window.editor()->installEventFilter(&watch);
    window.view->show();
    // As main() opens its command-line file.
    const QStringList arguments{QStringLiteral("pacemark"), QString::fromStdString(ride.string())};
    QTimer::singleShot(0, window.model.get(), [&] { window.model->loadCommandLineArgumentIfNeeded(arguments); });
    QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
    loop.exec();
    window.editor()->removeEventFilter(&watch);
    if (paintedAfter < 0) {
        std::printf("start: the ride was not shown within 60 s\n");
        return;
    }
    std::printf("start: sample ride loaded and the preview painted %.0f ms after the process started\n",
                paintedAfter * 1000);
}

double threadCPUMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// Times every event the main thread handles (the outermost delivery only):
// wall and CPU time of the longest, and what it was.
class MeasuredApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool recording = false;
    std::vector<double> handlingMilliseconds;
    double longestMilliseconds = 0;
    double longestCPUMilliseconds = 0;
    std::string longestEvent;

    // Paints by widget class: how many and their wall time, nested ones too
    // (a window's update request paints its dirty widgets inside it).
    std::map<std::string, std::pair<int, double>> paints;

    bool notify(QObject* receiver, QEvent* event) override {
        if (recording && event->type() == QEvent::Paint) {
            const auto start = Clock::now();
            const bool result = QApplication::notify(receiver, event);
            auto& [count, total] = paints[receiver->metaObject()->className()];
            ++count;
            total += milliseconds(Clock::now() - start);
            return result;
        }
        if (!recording || depth_ > 0) return QApplication::notify(receiver, event);
        const auto start = Clock::now();
        const double cpuStart = threadCPUMilliseconds();
        ++depth_;
        const bool result = QApplication::notify(receiver, event);
        --depth_;
        const double wall = milliseconds(Clock::now() - start);
        handlingMilliseconds.push_back(wall);
        if (wall > longestMilliseconds) {
            longestMilliseconds = wall;
            longestCPUMilliseconds = threadCPUMilliseconds() - cpuStart;
            longestEvent = "event type " + std::to_string(static_cast<int>(event->type())) + " to " +
                           receiver->metaObject()->className();
        }
        return result;
    }

private:
    int depth_ = 0;
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

// 2. The event loop while the window exports: the gaps between the ticks of
// a 1 ms timer are the turns of the loop as the user feels them; the main
// thread's CPU time over the same gaps tells work on the main thread from the
// scheduler running other processes (the machine may be shared).
void measureExport(Window& window, MeasuredApplication& application, int exportSeconds, TelemetryVideoCodec codec) {
    AppModel& model = *window.model;
    model.exportSession().setWidth(1920);
    model.exportSession().setHeight(1080);
    model.exportSession().setCodec(codec);
    model.exportSession().setStartOffsetSeconds(0);
    model.exportSession().setExportEndSeconds(exportSeconds);
    const auto movie =
        std::filesystem::temp_directory_path() / ("pacemark-window-bench-" + std::to_string(getpid()) + ".mov");

    std::vector<double> tickGaps, tickCPU;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    ticks.setInterval(1);
    Clock::time_point lastTick;
    double lastCPU = 0;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        const double cpu = threadCPUMilliseconds();
        tickGaps.push_back(milliseconds(now - lastTick));
        tickCPU.push_back(cpu - lastCPU);
        lastTick = now;
        lastCPU = cpu;
    });
    int progressReports = 0;
    const auto progressObserver =
        QObject::connect(&model.exportSession(), &ExportSessionModel::exportProgressChanged, [&] { ++progressReports; });
    QEventLoop loop;
    const auto endObserver = QObject::connect(&model.exportSession(), &ExportSessionModel::isExportingChanged, &loop, [&] {
        if (!model.exportSession().isExporting()) loop.quit();
    });

    // The settings above repaint the preview; that belongs to changing them,
    // not to the export. Then the same ticks for 3 s without an export: what
    // the machine alone does to the loop.
    const auto idleFor = [&](int milliseconds) {
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        loop.exec();
    };
    idleFor(300);
    lastTick = Clock::now();
    lastCPU = threadCPUMilliseconds();
    ticks.start();
    idleFor(3000);
    std::vector<double> idleGaps, idleCPU;
    std::swap(idleGaps, tickGaps);
    std::swap(idleCPU, tickCPU);

    const auto started = Clock::now();
    application.recording = true;
    model.exportSession().exportMovie(movie);
    if (model.exportSession().isExporting()) loop.exec();
    ticks.stop();
    application.recording = false;
    QObject::disconnect(progressObserver);
    QObject::disconnect(endObserver);
    std::error_code ignored;
    std::filesystem::remove(movie, ignored);

    std::printf("\nexport: %d s of the ride, %s 1920x1080, in %.1f s, %d progress reports, status \"%s\"\n",
                exportSeconds, std::string(codec.rawValue()).c_str(), milliseconds(Clock::now() - started) / 1000, progressReports,
                model.status().statusText().toStdString().c_str());
    printDistribution("idle, no export: gaps between 1 ms timer ticks (wall)", idleGaps);
    std::printf("  main thread CPU within them: max %.2f ms\n",
                idleCPU.empty() ? 0 : *std::max_element(idleCPU.begin(), idleCPU.end()));
    printDistribution("exporting: gaps between 1 ms timer ticks (wall)", tickGaps);
    printDistribution("main thread CPU time within those gaps", tickCPU);
    printDistribution("handling of one event (wall)", application.handlingMilliseconds);
    std::printf("longest event: %.2f ms wall, %.2f ms CPU (%s)\n", application.longestMilliseconds,
                application.longestCPUMilliseconds, application.longestEvent.c_str());
    for (const auto& [name, tally] : application.paints) {
        std::printf("  painted %s %d times, %.1f ms in all\n", name.c_str(), tally.first, tally.second);
    }
}

// 3. One drag step: a mouse move of the first widget on the editor preview.
// "Window": then the event loop until the window has repainted and handed
// its picture to the display server (which runs in another process).
// "Drawing": the editor preview drawn into an image instead, without the
// display server; the rest of the window's updates are left queued.
void dragStep(benchmark::State& state, Window* window, bool throughWindow) {
    AppModel& model = *window->model;
    const std::int64_t width = state.range(0);
    model.exportSession().setWidth(width);
    model.exportSession().setHeight(width * 9 / 16);
    QCoreApplication::processEvents();
    EditorPreviewView* editor = window->editor();
    const PacemarkWidget widget = model.layoutEditor().overlayLayout().widgets.front();
    const QRectF canvas = editor->canvasRect();
    const QPointF start = previewRect(widget, canvas).center();
    const auto send = [editor](QEvent::Type type, QPointF point, Qt::MouseButtons buttons) {
        QMouseEvent event(type, point, editor->mapToGlobal(point), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(editor, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    QCoreApplication::processEvents();
    QImage drawn(editor->size() * editor->devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
    drawn.setDevicePixelRatio(editor->devicePixelRatioF());
    int step = 0;
    // The main thread's CPU time in the move itself (the model and every
    // view that follows it) and in the drawing after it.
    double moveCPU = 0, drawCPU = 0;
    for (auto _ : state) {
        // Back and forth across 20 view points, one point per step.
        const double offset = (step / 20 % 2 == 0) ? step % 20 : 20 - step % 20;
        ++step;
        const double before = threadCPUMilliseconds();
        send(QEvent::MouseMove, start + QPointF(offset, offset / 2), Qt::LeftButton);
        const double moved = threadCPUMilliseconds();
        if (throughWindow) {
            QCoreApplication::processEvents();
        } else {
            editor->render(&drawn);
        }
        moveCPU += moved - before;
        drawCPU += threadCPUMilliseconds() - moved;
    }
    state.counters["move_cpu_ms"] = benchmark::Counter(moveCPU, benchmark::Counter::kAvgIterations);
    state.counters["draw_cpu_ms"] = benchmark::Counter(drawCPU, benchmark::Counter::kAvgIterations);
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
    const int hevc = argumentValue(argc, argv, "--hevc", -1);  // 1: HEVC with alpha, 0: ProRes 4444
    MeasuredApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);

    Window window;
    measureStart(window, std::filesystem::path(PACEMARK_SOURCE_DIR) / "samples" / "sample-ride.fit");
    if (!window.model->loadedActivity().activity()) return 1;
    // The window's own codec unless told otherwise.
    measureExport(window, application, exportSeconds,
                  hevc < 0 ? window.model->exportSession().settings().codec
                           : TelemetryVideoCodec(hevc ? TelemetryVideoCodec::hevcWithAlpha : TelemetryVideoCodec::proRes4444));

    std::printf("\n");
    for (const bool throughWindow : {true, false}) {
        benchmark::RegisterBenchmark(throughWindow ? "DragStep/Window" : "DragStep/Drawing", dragStep, &window,
                                     throughWindow)
            ->Arg(1920)
            ->Arg(3840)
            ->Unit(benchmark::kMillisecond)
            ->MeasureProcessCPUTime()
            ->UseRealTime()
            ->MinTime(2.0);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
