// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <string_view>
#include <utility>

#include "DrawingSurface.h"
#include "Telemetry/TelemetryActivity.h"

// The small drawing vocabulary the overlay's routines share: fonts by role,
// path makers, and fills and strokes that set the state they need (the
// caller saves and restores).
namespace pacemark::painting {

constexpr double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

inline DrawingFont medium(double size) { return {size, DrawingFontWeight::medium, false}; }
inline DrawingFont semibold(double size) { return {size, DrawingFontWeight::semibold, false}; }
inline DrawingFont bold(double size) { return {size, DrawingFontWeight::bold, false}; }
inline DrawingFont digitsSemibold(double size) { return {size, DrawingFontWeight::semibold, true}; }
inline DrawingFont digitsBold(double size) { return {size, DrawingFontWeight::bold, true}; }
inline DrawingFont digitsHeavy(double size) { return {size, DrawingFontWeight::heavy, true}; }

// Where the overlay font's baseline and capital tops lie under the top of a
// line box, as fractions of the font size.
constexpr double kBaselineBelowTop = 0.969;
constexpr double kCapTopBelowTop = kBaselineBelowTop - 0.727;

// Values and units carry the data: where a narrow widget cannot hold them at
// full size they are drawn smaller rather than cut to "1…".
constexpr double kDataTextMinimumScale = 0.5;
inline DrawingFont shrinkable(DrawingFont font) {
    font.minimumScaleFactor = kDataTextMinimumScale;
    return font;
}
// The font drawn smaller down to `minimumScale` of its size before it is cut.
inline DrawingFont shrinking(DrawingFont font, double minimumScale) {
    font.minimumScaleFactor = minimumScale;
    return font;
}

inline const DrawingColor white = DrawingColor::white();
inline const DrawingColor black = DrawingColor::black();

inline DrawingPath roundedRectPath(const DrawingRect& rect, double radius) {
    DrawingPath path;
    path.addRoundedRect(rect, std::max(radius, 0.0));
    return path;
}

inline DrawingPath linePath(DrawingPoint from, DrawingPoint to) {
    DrawingPath path;
    path.moveTo(from);
    path.lineTo(to);
    return path;
}

inline DrawingPath arcPath(DrawingPoint center, double radius, double startAngle, double endAngle) {
    DrawingPath path;
    path.addArc(center, radius, startAngle, endAngle);
    return path;
}

inline void fill(DrawingSurface& s, const DrawingPath& path, DrawingColor color) {
    s.setFillColor(color);
    s.addPath(path);
    s.fillPath();
}

inline void stroke(DrawingSurface& s, const DrawingPath& path, DrawingColor color, double lineWidth,
                   DrawingLineCap cap = DrawingLineCap::butt, DrawingLineJoin join = DrawingLineJoin::miter) {
    s.setStrokeColor(color);
    s.setLineWidth(lineWidth);
    s.setLineCap(cap);
    s.setLineJoin(join);
    s.addPath(path);
    s.strokePath();
}

inline void fillCircle(DrawingSurface& s, const DrawingRect& rect, DrawingColor color) {
    s.setFillColor(color);
    s.fillEllipse(rect);
}

inline double clamp01(double value) {
    if (!(value > 0)) return 0;  // also NaN
    return std::min(value, 1.0);
}

// Share of the ride covered by the sample in force; 0 without a duration.
inline double rideFraction(const TelemetrySample& sample, const TelemetryActivity& activity) {
    const double duration = activity.durationSeconds();
    if (!(duration > 0)) return 0;
    return clamp01(sample.elapsed / duration);
}

// The sample's finite latitude and longitude, if it has both.
inline std::optional<std::pair<double, double>> position(const TelemetrySample& sample) {
    if (!sample.latitude || !sample.longitude) return std::nullopt;
    if (!std::isfinite(*sample.latitude) || !std::isfinite(*sample.longitude)) return std::nullopt;
    return std::pair{*sample.latitude, *sample.longitude};
}

}  // namespace pacemark::painting
