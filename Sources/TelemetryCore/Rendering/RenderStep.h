// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <vector>

#include "DrawingSurface.h"
#include "Telemetry/TelemetrySample.h"

namespace pacemark {

// One unit of drawing. A static step draws the same pixels in every frame; a
// dynamic one depends on the sample. `bounds` covers every pixel it may touch.
struct RenderStep {
    bool isStatic = true;
    DrawingRect bounds;
    std::function<void(DrawingSurface&, const TelemetrySample&)> draw;
};

// Which steps may be drawn once into the cached static layer, in step order.
//
// A static step joins the layer when no step that stays per-frame and comes
// before it can touch the same pixels: steps on disjoint pixels commute
// exactly, so drawing the cached steps first gives the same bytes.
std::vector<bool> planStaticLayer(const std::vector<RenderStep>& steps);

}  // namespace pacemark
