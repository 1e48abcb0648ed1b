#pragma once

#include <cstdint>
#include <map>

#include "DrawingGeometry.h"
#include "Layout/PacemarkWidget.h"
#include "LayoutRouteProjection.h"
#include "Telemetry/TelemetryActivity.h"

namespace pacemark {

// Draws one layout over one activity at one instant. (Geometry shared by
// every renderer lives here as static functions.)
class LayoutFrameRenderer {
public:
    // The widget's pixel rectangle: the clamped frame scaled to the picture, unrounded.
    static DrawingRect rect(const PacemarkWidget& widget, std::int64_t width, std::int64_t height);

    // The route projections of the visible route widgets, keyed by widget id,
    // fitted into each widget's rectangle inset by its style's margin.
    static std::map<UUID, LayoutRouteProjection> buildRouteProjections(const TelemetryActivity& activity,
                                                                       const PacemarkLayout& layout,
                                                                       std::int64_t width, std::int64_t height);
};

}  // namespace pacemark
