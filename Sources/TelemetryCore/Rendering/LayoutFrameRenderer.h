// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "DrawingGeometry.h"
#include "DrawingSurface.h"
#include "LayoutCanvas.h"
#include "Layout/PacemarkWidget.h"
#include "LayoutRouteProjection.h"
#include "PixelBuffer.h"
#include "Telemetry/TelemetryActivity.h"
#include "Telemetry/TelemetryMotion.h"
#include "WidgetSizeTable.h"

namespace pacemark {

// Draws one layout over one activity into transparent frames of one size.
//
// The layout keeps its arrangement and proportions on a picture of any size
// and shape: it is drawn in layout units, fitted and scaled by its
// LayoutCanvas (1920 × 1080 units for a 16:9 layout; at exactly that size
// nothing is mapped).
//
// A renderer is built once per export (or preview size) and is immutable
// afterwards apart from its private cache of static pixels. A frame depends
// only on the layout, the size and the readings the motion gives for the
// instant (the sample in force by default, interpolated readings in smooth
// motion), so two instants with equal frameKey() give identical bytes.
//
// What never changes during an export (panel fills, borders and shadows, the
// route line, fixed captions, the cinematic backdrop) is drawn once, on the
// first render(), into a cached layer; each frame starts from a copy of it
// and draws only the rest. Only content that nothing dynamic lies under in
// the drawing order is cached, so the bytes equal drawing everything afresh.
//
// Threads: render() may be called from several threads at once (the cache is
// built under a lock; each call makes its own surface).
class LayoutFrameRenderer {
public:
    LayoutFrameRenderer(std::shared_ptr<const TelemetryActivity> activity, PacemarkLayout layout, std::int64_t width,
                        std::int64_t height, std::shared_ptr<const DrawingSurfaceFactory> surfaces,
                        TelemetryMotion motion = {});
    ~LayoutFrameRenderer();
    LayoutFrameRenderer(const LayoutFrameRenderer&) = delete;
    LayoutFrameRenderer& operator=(const LayoutFrameRenderer&) = delete;

    // Draws the frame for the activity time `elapsed` (seconds) into `into`,
    // replacing all of its pixels. A view that is invalid or of another size
    // than the renderer's, or over which no surface can be made, is left untouched.
    void render(double elapsed, PixelBufferView into) const;
    // The same frame drawn entirely afresh, without the static-layer cache.
    void renderWithoutCache(double elapsed, PixelBufferView into) const;
    // Draws the whole frame (clear, backdrop, every visible widget) onto any
    // surface of the renderer's size.
    void drawFrame(double elapsed, DrawingSurface& surface) const;

    // Frames with equal keys are identical (TelemetryMotion::frameKey: in
    // steps, the index of the sample in force).
    std::size_t frameKey(double elapsed) const;
    const TelemetryMotion& motion() const;

    const TelemetryActivity& activity() const;
    const PacemarkLayout& layout() const;
    std::int64_t width() const;
    std::int64_t height() const;
    // True when at least one visible widget has the cinematic style.
    bool drawsCinematicBackdrop() const;
    const std::map<UUID, LayoutRouteProjection>& routeProjections() const;
    // How many drawing steps the cache holds and how many are drawn per frame
    // (for tests and benchmarks; builds the cache plan, not its pixels).
    std::size_t cachedStepCount() const;
    std::size_t perFrameStepCount() const;

    // Where the layout lands on the picture and its scale (LayoutCanvas::fit
    // of the layout's aspect). Frames are drawn in its layout units; the
    // route projections are in those units too.
    const LayoutCanvas& canvas() const;

    // The clamped frame scaled to a width × height picture of the layout's own
    // shape, unrounded. On a picture of another shape, canvas().widgetRect().
    static DrawingRect rect(const PacemarkWidget& widget, std::int64_t width, std::int64_t height);

    // Whether `layout` gets the cinematic backdrop: at least one visible widget
    // has the cinematic style. The movie and the editor's preview both ask this.
    static bool layoutDrawsCinematicBackdrop(const PacemarkLayout& layout);

    // The route of a route widget (visible or not), fitted into the widget's
    // frame in `area` inset by its style's margin for `target`; none when the
    // activity has no route to draw or the widget is of another kind.
    static std::optional<LayoutRouteProjection> routeProjection(const TelemetryActivity& activity,
                                                                const PacemarkWidget& widget, DrawingRect area,
                                                                DrawingTarget target = DrawingTarget::movie);
    // The route projections of the visible route widgets, keyed by widget id.
    static std::map<UUID, LayoutRouteProjection> buildRouteProjections(
        const TelemetryActivity& activity, const PacemarkLayout& layout, std::int64_t width, std::int64_t height,
        DrawingTarget target = DrawingTarget::movie);
    // The same with the widgets' frames spanning `area` (layout units of a LayoutCanvas).
    static std::map<UUID, LayoutRouteProjection> buildRouteProjections(const TelemetryActivity& activity,
                                                                       const PacemarkLayout& layout, DrawingRect area,
                                                                       DrawingTarget target = DrawingTarget::movie);

    // The altitude sparkline's points inside `rect`: the samples with a finite
    // altitude, thinned to about 72 by an integer step, in sample order.
    static std::vector<DrawingPoint> altitudeSparklinePoints(const TelemetryActivity& activity, DrawingRect rect);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pacemark
