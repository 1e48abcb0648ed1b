#include <gtest/gtest.h>

#include <cmath>

#include "Rendering/LayoutFrameRenderer.h"
#include "Rendering/PanelStyleTable.h"
#include "Export/TelemetryRenderConfig.h"

using namespace pacemark;

namespace {

PacemarkWidget widget(TelemetryWidgetKind kind, TelemetryWidgetFrame frame,
                      TelemetryWidgetPanelStyle style = TelemetryWidgetPanelStyle::glass, bool visible = true) {
    PacemarkWidget w(UUID::random(), kind, frame, "", 0x35D05B, 0xA8A8A8, 0xFFFFFF, style, visible);
    w.frame = frame;  // bypass the constructor's clamping: rect() must clamp on its own
    return w;
}

TelemetryActivity routeActivity(std::vector<std::pair<double, double>> points) {
    std::vector<TelemetrySample> samples;
    for (auto [lat, lon] : points) {
        TelemetrySample s;
        s.latitude = lat;
        s.longitude = lon;
        samples.push_back(s);
    }
    return TelemetryActivity(std::nullopt, samples);
}

}  // namespace

TEST(LayoutGeometryTest, WidgetRectangleClampsThenScales) {
    const auto rect = [](TelemetryWidgetFrame frame, std::int64_t width, std::int64_t height) {
        return LayoutFrameRenderer::rect(widget(TelemetryWidgetKind::speed, frame), width, height);
    };
    EXPECT_EQ(rect({0.9, 0.9, 0.5, 0.5}, 1920, 1080), (DrawingRect{960, 540, 960, 540}));
    EXPECT_EQ(rect({0.1, 0.1, 0.01, 0.9}, 1000, 1000), (DrawingRect{100, 100, 40, 500}));
    EXPECT_EQ(rect({0.04, 0.68, 0.15, 0.15}, 1920, 1080),
              (DrawingRect{0.04 * 1920, 0.68 * 1080, 0.15 * 1920, 0.15 * 1080}));
}

TEST(LayoutGeometryTest, RouteProjection) {
    const std::vector<TelemetryTrackPoint> two = {{45, 7}, {46, 8}};
    EXPECT_FALSE(LayoutRouteProjection::make(two, {0, 0, 100, 50}));

    const std::vector<TelemetryTrackPoint> same = {{45, 7}, {45, 7}, {45, 7}};
    const auto degenerate = LayoutRouteProjection::make(same, {10, 20, 100, 50});
    ASSERT_TRUE(degenerate);  // a point: at the rectangle's lower left, not divided by zero
    for (const auto& element : degenerate->path().elements()) EXPECT_EQ(element.point, (DrawingPoint{10, 70}));

    const std::vector<TelemetryTrackPoint> northSouth = {{45.0, 7}, {45.5, 7}, {46.0, 7}};
    const auto line = LayoutRouteProjection::make(northSouth, {10, 20, 100, 50});
    ASSERT_TRUE(line);
    const auto& elements = line->path().elements();
    ASSERT_EQ(elements.size(), 3u);
    EXPECT_EQ(elements[0].type, DrawingPath::ElementType::moveTo);
    EXPECT_EQ(elements[1].type, DrawingPath::ElementType::lineTo);
    EXPECT_EQ(elements[0].point, (DrawingPoint{10, 70}));  // south at the bottom
    EXPECT_EQ(elements[1].point, (DrawingPoint{10, 45}));
    EXPECT_EQ(elements[2].point, (DrawingPoint{10, 20}));  // north at the top
    EXPECT_EQ(line->project(45.25, 7), (DrawingPoint{10, 57.5}));
}

TEST(LayoutGeometryTest, RendererKeepsProjectionsOfVisibleRouteWidgetsWithTheirInsets) {
    const auto activity = routeActivity({{45.0, 7.0}, {45.1, 7.2}, {45.2, 7.1}});
    PacemarkLayout layout;
    layout.widgets.push_back(widget(TelemetryWidgetKind::route, {0.1, 0.1, 0.2, 0.2}));
    layout.widgets.push_back(widget(TelemetryWidgetKind::route, {0.5, 0.5, 0.2, 0.2}, TelemetryWidgetPanelStyle::cinematic));
    layout.widgets.push_back(widget(TelemetryWidgetKind::route, {0.1, 0.5, 0.2, 0.2}, TelemetryWidgetPanelStyle::glass, false));
    layout.widgets.push_back(widget(TelemetryWidgetKind::speed, {0.1, 0.5, 0.2, 0.2}));
    const auto projections = LayoutFrameRenderer::buildRouteProjections(activity, layout, 1000, 500);
    ASSERT_EQ(projections.size(), 2u);
    // Each inset by its style's route margin.
    for (std::size_t k : {0u, 1u}) {
        const PacemarkWidget& w = layout.widgets[k];
        const DrawingRect inset = panelStyleRow(w.panelStyle).routeInset.apply(LayoutFrameRenderer::rect(w, 1000, 500));
        EXPECT_EQ(projections.at(w.id).rect(), inset);
    }
    EXPECT_NE(projections.at(layout.widgets[0].id).rect(), LayoutFrameRenderer::rect(layout.widgets[0], 1000, 500));

    // A later widget with the same id and no usable route removes the entry.
    auto twin = layout.widgets[0];
    PacemarkLayout withTwin = layout;
    withTwin.widgets.push_back(twin);
    const auto noRoute = routeActivity({{45.0, 7.0}, {45.1, 7.2}});
    EXPECT_TRUE(LayoutFrameRenderer::buildRouteProjections(noRoute, withTwin, 1000, 500).empty());
}

TEST(TelemetryRenderConfigTest, StartOffsetIsNeverNegativeOrNaN) {
    const auto make = [](double start) {
        return TelemetryRenderConfig("/tmp/out.mov", 1920, 1080, 30, TelemetryVideoCodec::hevcWithAlpha, start,
                                     std::nullopt, PacemarkLayout{});
    };
    EXPECT_EQ(make(-3).startOffsetSeconds, 0);
    EXPECT_EQ(make(std::nan("")).startOffsetSeconds, 0);
    EXPECT_EQ(make(12.5).startOffsetSeconds, 12.5);
}
