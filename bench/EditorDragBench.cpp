// SPDX-License-Identifier: GPL-3.0-or-later
// One drag step of the editor: the layout changes (a widget moved), so the
// overlay is drawn anew for a 1000 × 563 canvas. "OutputFrame" is the former
// way (the whole frame at the output size, then scaled down to the canvas);
// "Preview" draws the widget previews straight at the canvas's size in view
// points, which does not depend on the output size (the argument only labels
// the row). Compare the two rows of one output size as a ratio.
//
//   build-release/bench/EditorDragBench --benchmark_counters_tabular=true

#include <benchmark/benchmark.h>

#include <QImage>

#include "CairoDrawingSurface.h"
#include "Layout/PacemarkPreset.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "RideFixture.h"
#include "WidgetPreview.h"

namespace {

using namespace pacemark;

constexpr int canvasWidth = 1000;
constexpr int canvasHeight = 563;

std::shared_ptr<const CairoDrawingSurfaceFactory> factory() {
    static const auto shared = std::make_shared<const CairoDrawingSurfaceFactory>();
    return shared;
}

std::shared_ptr<const TelemetryActivity> ride() {
    static const auto shared = testing::makeRide(3600);
    return shared;
}

// The preset layout with its first widget moved a little further on every step.
PacemarkLayout draggedLayout(PacemarkPreset preset, std::int64_t step) {
    PacemarkLayout layout = preset.layout();
    layout.widgets.front().frame.x += 0.0005 * static_cast<double>(step % 100);
    return layout;
}

PixelBufferView viewOf(QImage& image) {
    return {image.bits(), image.width(), image.height(), static_cast<std::int64_t>(image.bytesPerLine())};
}

void OutputFrame(benchmark::State& state) {
    const auto preset = PacemarkPreset::allCases()[static_cast<std::size_t>(state.range(0))];
    const std::int64_t width = state.range(1), height = width * 9 / 16;
    QImage frame(static_cast<int>(width), static_cast<int>(height), QImage::Format_ARGB32_Premultiplied);
    std::int64_t step = 0;
    for (auto _ : state) {
        const LayoutFrameRenderer renderer(ride(), draggedLayout(preset, ++step), width, height, factory());
        renderer.render(600, viewOf(frame));
        const QImage canvas = frame.scaled(canvasWidth, canvasHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(canvas.constBits());
    }
    state.SetLabel(std::string(preset.rawValue()));
}

void Preview(benchmark::State& state) {
    const auto preset = PacemarkPreset::allCases()[static_cast<std::size_t>(state.range(0))];
    QImage canvas(canvasWidth, canvasHeight, QImage::Format_ARGB32_Premultiplied);
    std::int64_t step = 0;
    for (auto _ : state) {
        const PacemarkLayout layout = draggedLayout(preset, ++step);
        canvas.fill(Qt::transparent);
        auto surface = factory()->makeSurface(viewOf(canvas));
        drawOverlayPreview(*surface, *ride(), layout, 600, canvasWidth, canvasHeight);
        surface.reset();
        benchmark::DoNotOptimize(canvas.constBits());
    }
    state.SetLabel(std::string(preset.rawValue()));
}

void sizes(benchmark::internal::Benchmark* b) {
    for (int preset = 0; preset < static_cast<int>(PacemarkPreset::allCases().size()); ++preset) {
        for (int width : {1920, 3840}) b->Args({preset, width});
    }
    b->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
}

}  // namespace

BENCHMARK(OutputFrame)->Apply(sizes);
BENCHMARK(Preview)->Apply(sizes);
BENCHMARK_MAIN();
