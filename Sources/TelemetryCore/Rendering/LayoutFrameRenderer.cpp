// SPDX-License-Identifier: GPL-3.0-or-later
#include "LayoutFrameRenderer.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>

#include "LayoutStepBuilder.h"
#include "RenderStep.h"
#include "LayoutCanvasSurface.h"

namespace pacemark {

struct LayoutFrameRenderer::Impl {
    std::shared_ptr<const TelemetryActivity> activity;
    PacemarkLayout layout;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::shared_ptr<const DrawingSurfaceFactory> surfaces;
    TelemetryMotion motion;
    LayoutCanvas canvas;
    bool drawsCinematicBackdrop = false;
    std::map<UUID, LayoutRouteProjection> routeProjections;

    // The whole frame as steps in drawing order, and which of them live in
    // the cached layer.
    std::vector<RenderStep> steps;
    std::vector<bool> cached;

    mutable std::once_flag layerOnce;
    mutable std::vector<std::uint8_t> layer;  // width × height BGRA, tightly packed
    mutable bool layerReady = false;

    void buildLayer() const;
    void runSteps(DrawingSurface& surface, const TelemetrySample& sample, bool cachedSteps, bool uncachedSteps) const;
};

void LayoutFrameRenderer::Impl::runSteps(DrawingSurface& picture, const TelemetrySample& sample, bool cachedSteps,
                                         bool uncachedSteps) const {
    // The steps are in layout units; at the layout's own 1080-line size they are pixels.
    std::optional<LayoutCanvasSurface> scaled;
    if (!canvas.isIdentity()) scaled.emplace(picture, canvas);
    DrawingSurface& surface = scaled ? static_cast<DrawingSurface&>(*scaled) : picture;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        if (cached[k] ? !cachedSteps : !uncachedSteps) continue;
        surface.saveState();
        steps[k].draw(surface, sample);
        surface.restoreState();
    }
}

void LayoutFrameRenderer::Impl::buildLayer() const {
    if (!surfaces) return;
    const auto bytesPerRow = width * 4;
    layer.assign(static_cast<std::size_t>(bytesPerRow * height), 0);
    PixelBufferView view{layer.data(), width, height, bytesPerRow};
    auto surface = surfaces->makeSurface(view);
    if (!surface) {
        layer.clear();
        layer.shrink_to_fit();
        return;
    }
    surface->clear({0, 0, static_cast<double>(width), static_cast<double>(height)});
    runSteps(*surface, activity->sample(0), true, false);
    surface.reset();
    layerReady = true;
}

// ---------------------------------------------------------------------------

LayoutFrameRenderer::LayoutFrameRenderer(std::shared_ptr<const TelemetryActivity> activity, PacemarkLayout layout,
                                         std::int64_t width, std::int64_t height,
                                         std::shared_ptr<const DrawingSurfaceFactory> surfaces, TelemetryMotion motion)
    : impl_(std::make_unique<Impl>()) {
    if (!activity) activity = std::make_shared<const TelemetryActivity>();
    impl_->activity = std::move(activity);
    impl_->layout = std::move(layout);
    impl_->width = width;
    impl_->height = height;
    impl_->surfaces = std::move(surfaces);
    impl_->motion = motion;
    impl_->drawsCinematicBackdrop = layoutDrawsCinematicBackdrop(impl_->layout);
    impl_->canvas = LayoutCanvas::fit(impl_->layout.aspect, width, height);
    const LayoutCanvas& canvas = impl_->canvas;
    impl_->routeProjections = buildRouteProjections(*impl_->activity, impl_->layout,
                                                    DrawingRect{0, 0, canvas.designWidth, canvas.designHeight});
    impl_->steps = LayoutStepBuilder(*impl_->activity, canvas, impl_->routeProjections)
                       .build(impl_->layout, impl_->drawsCinematicBackdrop);
    impl_->cached = planStaticLayer(impl_->steps);
}

LayoutFrameRenderer::~LayoutFrameRenderer() = default;

void LayoutFrameRenderer::drawFrame(double elapsed, DrawingSurface& surface) const {
    surface.clear({0, 0, static_cast<double>(impl_->width), static_cast<double>(impl_->height)});
    impl_->runSteps(surface, impl_->motion.sample(*impl_->activity, elapsed), true, true);
}

void LayoutFrameRenderer::renderWithoutCache(double elapsed, PixelBufferView into) const {
    if (!into.isValid() || into.width != impl_->width || into.height != impl_->height || !impl_->surfaces) return;
    auto surface = impl_->surfaces->makeSurface(into);
    if (!surface) return;
    drawFrame(elapsed, *surface);
}

void LayoutFrameRenderer::render(double elapsed, PixelBufferView into) const {
    if (!into.isValid() || into.width != impl_->width || into.height != impl_->height || !impl_->surfaces) return;
    std::call_once(impl_->layerOnce, [this] { impl_->buildLayer(); });
    auto surface = impl_->surfaces->makeSurface(into);
    if (!surface) return;
    if (!impl_->layerReady) {
        drawFrame(elapsed, *surface);
        return;
    }
    const auto rowBytes = static_cast<std::size_t>(impl_->width * 4);
    for (std::int64_t y = 0; y < impl_->height; ++y) {
        std::memcpy(into.row(y), impl_->layer.data() + static_cast<std::size_t>(y) * rowBytes, rowBytes);
    }
    impl_->runSteps(*surface, impl_->motion.sample(*impl_->activity, elapsed), false, true);
}

std::size_t LayoutFrameRenderer::frameKey(double elapsed) const {
    return impl_->motion.frameKey(*impl_->activity, elapsed);
}
const TelemetryMotion& LayoutFrameRenderer::motion() const { return impl_->motion; }

const TelemetryActivity& LayoutFrameRenderer::activity() const { return *impl_->activity; }
const PacemarkLayout& LayoutFrameRenderer::layout() const { return impl_->layout; }
std::int64_t LayoutFrameRenderer::width() const { return impl_->width; }
std::int64_t LayoutFrameRenderer::height() const { return impl_->height; }
const LayoutCanvas& LayoutFrameRenderer::canvas() const { return impl_->canvas; }
bool LayoutFrameRenderer::drawsCinematicBackdrop() const { return impl_->drawsCinematicBackdrop; }
const std::map<UUID, LayoutRouteProjection>& LayoutFrameRenderer::routeProjections() const {
    return impl_->routeProjections;
}

std::size_t LayoutFrameRenderer::cachedStepCount() const {
    return static_cast<std::size_t>(std::count(impl_->cached.begin(), impl_->cached.end(), true));
}
std::size_t LayoutFrameRenderer::perFrameStepCount() const { return impl_->steps.size() - cachedStepCount(); }

}  // namespace pacemark
