// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRectF>

#include <cstdint>

#include "Layout/PacemarkWidget.h"
#include "Rendering/DrawingSurface.h"
#include "Telemetry/TelemetryActivity.h"
#include "Telemetry/TelemetryMotion.h"

class QPainter;

namespace pacemark {

// One widget as the editor shows it. It is drawn by the export's own routines
// (LayoutStepBuilder: the same dispatch by kind and style, the same texts,
// gauge fractions, route projection and fonts) with the preview's numbers
// (DrawingTarget::preview in PanelStyleTable and WidgetSizeTable), in view
// points of the canvas rather than output pixels: small widgets keep legible
// minimum text sizes, corner radii are fixed, shadows fall downwards and the
// dial card is a circle.
class WidgetPreview {
public:
    // All three must outlive the preview.
    WidgetPreview(const TelemetryActivity& activity, const TelemetrySample& sample, const PacemarkWidget& widget,
                  bool isSelected)
        : activity_(activity), sample_(sample), widget_(widget), isSelected_(isSelected) {}

    // Draws the widget onto `surface`, whose coordinates are view points of a
    // canvas of canvasWidth × canvasHeight with its origin at the canvas's
    // top-left corner. Draws even a hidden widget (the caller skips those).
    void draw(DrawingSurface& surface, std::int64_t canvasWidth, std::int64_t canvasHeight) const;

    // When selected: the dashed green outline (corner radius 10, 2 wide, 6 on,
    // 4 off) around `rect`, the widget's rectangle in the painter's coordinates.
    void paintSelection(QPainter& painter, const QRectF& rect) const;

private:
    const TelemetryActivity& activity_;
    const TelemetrySample& sample_;
    const PacemarkWidget& widget_;
    bool isSelected_;
};

// The cinematic backdrop: the export's three gradient bands over a whole
// canvas, drawn once behind every widget.
struct CinematicBackdrop {
    static void draw(DrawingSurface& surface, std::int64_t canvasWidth, std::int64_t canvasHeight);
};

// The overlay of the editor: the cinematic backdrop when a visible widget has
// the cinematic style, then every visible widget's preview in layout order,
// for the readings `motion` shows at `elapsed` (the sample in force unless
// smooth). `surface` starts transparent.
void drawOverlayPreview(DrawingSurface& surface, const TelemetryActivity& activity, const PacemarkLayout& layout,
                        double elapsed, std::int64_t canvasWidth, std::int64_t canvasHeight,
                        const TelemetryMotion& motion = {});

}  // namespace pacemark
