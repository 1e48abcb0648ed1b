#include "LayoutFrameRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <mutex>
#include <numbers>
#include <string>

namespace pacemark {

namespace {

using Style = TelemetryWidgetPanelStyle;
using Kind = TelemetryWidgetKind;

constexpr double radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

// Fonts of the overlay, by role.
DrawingFont medium(double size) { return {size, DrawingFontWeight::medium, false}; }
DrawingFont semibold(double size) { return {size, DrawingFontWeight::semibold, false}; }
DrawingFont bold(double size) { return {size, DrawingFontWeight::bold, false}; }
DrawingFont digitsSemibold(double size) { return {size, DrawingFontWeight::semibold, true}; }
DrawingFont digitsBold(double size) { return {size, DrawingFontWeight::bold, true}; }
DrawingFont digitsHeavy(double size) { return {size, DrawingFontWeight::heavy, true}; }

// Values and units carry the data: where a narrow widget cannot hold them at
// full size they are drawn smaller rather than cut to "1…".
constexpr double kDataTextMinimumScale = 0.5;
DrawingFont shrinkable(DrawingFont font) {
    font.minimumScaleFactor = kDataTextMinimumScale;
    return font;
}

const DrawingColor white = DrawingColor::white();
const DrawingColor black = DrawingColor::black();

// ---------------------------------------------------------------------------
// Conservative pixel bounds of drawing steps. They decide which static steps
// may be drawn ahead into the cached layer, so they must cover every pixel a
// step can change (anti-aliasing, line caps, shadows, glyph overhang).

bool isEmpty(const DrawingRect& r) { return !(r.width > 0) || !(r.height > 0); }

DrawingRect unite(const DrawingRect& a, const DrawingRect& b) {
    if (isEmpty(a)) return b;
    if (isEmpty(b)) return a;
    const double x0 = std::min(a.minX(), b.minX());
    const double y0 = std::min(a.minY(), b.minY());
    return {x0, y0, std::max(a.maxX(), b.maxX()) - x0, std::max(a.maxY(), b.maxY()) - y0};
}

DrawingRect outset(const DrawingRect& r, double d) { return {r.x - d, r.y - d, r.width + 2 * d, r.height + 2 * d}; }

bool intersects(const DrawingRect& a, const DrawingRect& b) {
    if (isEmpty(a) || isEmpty(b)) return false;
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

constexpr double antialiasMargin = 2;

DrawingRect pathBounds(const DrawingPath& path) {
    DrawingRect bounds;
    bool first = true;
    auto add = [&](const DrawingRect& r) {
        bounds = first ? r : unite(bounds, r);
        first = false;
    };
    for (const auto& e : path.elements()) {
        switch (e.type) {
            case DrawingPath::ElementType::moveTo:
            case DrawingPath::ElementType::lineTo:
                // A zero-size rectangle still widens the union through its corner.
                if (first) {
                    bounds = {e.point.x, e.point.y, 0, 0};
                    first = false;
                } else {
                    const double x0 = std::min(bounds.minX(), e.point.x);
                    const double y0 = std::min(bounds.minY(), e.point.y);
                    bounds = {x0, y0, std::max(bounds.maxX(), e.point.x) - x0, std::max(bounds.maxY(), e.point.y) - y0};
                }
                break;
            case DrawingPath::ElementType::arc:
                add({e.point.x - e.radius, e.point.y - e.radius, 2 * e.radius, 2 * e.radius});
                break;
            case DrawingPath::ElementType::rect:
            case DrawingPath::ElementType::roundedRect:
            case DrawingPath::ElementType::ellipse:
                add(e.rect);
                break;
            case DrawingPath::ElementType::closeSubpath:
                break;
        }
    }
    return bounds;
}

DrawingRect fillBounds(const DrawingRect& shape) { return outset(shape, antialiasMargin); }
DrawingRect strokeBounds(const DrawingRect& shape, double lineWidth) {
    return outset(shape, lineWidth + antialiasMargin);
}
DrawingRect shadowBounds(const DrawingRect& shape, const DrawingShadow& shadow) {
    DrawingRect moved = shape;
    moved.x += shadow.offset.x;
    moved.y -= shadow.offset.y;  // a positive offset moves the shadow up the picture
    return unite(fillBounds(shape), outset(moved, 1.5 * std::max(shadow.blur, 0.0) + 4 + antialiasMargin));
}
// One line of text: the line box (about 1.21 × size for Inter) starts at the
// rectangle's top; glyphs may overhang it a little, and an ellipsis may be
// wider than a rectangle narrower than the font size.
DrawingRect textBounds(const DrawingRect& rect, const DrawingFont& font) {
    const double size = font.size;
    const double pad = (rect.width >= size ? size * 0.15 : size) + antialiasMargin;
    const double top = size * 0.15 + antialiasMargin;
    return {rect.x - pad, rect.y - top, rect.width + 2 * pad, top + size * 1.4 + antialiasMargin};
}
// Value texts hold digits, ".", ":", "-", "%", "," and capital Latin letters
// only: nothing reaches below the baseline (about 0.97 × size under the top).
DrawingRect valueTextBounds(const DrawingRect& rect, const DrawingFont& font) {
    DrawingRect bounds = textBounds(rect, font);
    bounds.height = rect.y + font.size * 1.06 + antialiasMargin - bounds.y;
    return bounds;
}

// ---------------------------------------------------------------------------
// Painting helpers: each sets the state it needs (the caller saves and restores).

DrawingPath roundedRectPath(const DrawingRect& rect, double radius) {
    DrawingPath path;
    path.addRoundedRect(rect, std::max(radius, 0.0));
    return path;
}

DrawingPath linePath(DrawingPoint from, DrawingPoint to) {
    DrawingPath path;
    path.moveTo(from);
    path.lineTo(to);
    return path;
}

DrawingPath arcPath(DrawingPoint center, double radius, double startAngle, double endAngle) {
    DrawingPath path;
    path.addArc(center, radius, startAngle, endAngle);
    return path;
}

void fill(DrawingSurface& s, const DrawingPath& path, DrawingColor color) {
    s.setFillColor(color);
    s.addPath(path);
    s.fillPath();
}

void stroke(DrawingSurface& s, const DrawingPath& path, DrawingColor color, double lineWidth,
            DrawingLineCap cap = DrawingLineCap::butt, DrawingLineJoin join = DrawingLineJoin::miter) {
    s.setStrokeColor(color);
    s.setLineWidth(lineWidth);
    s.setLineCap(cap);
    s.setLineJoin(join);
    s.addPath(path);
    s.strokePath();
}

void fillCircle(DrawingSurface& s, const DrawingRect& rect, DrawingColor color) {
    s.setFillColor(color);
    s.fillEllipse(rect);
}

// drawText: single line at the rectangle's top, truncated at the tail.
void text(DrawingSurface& s, std::string_view string, const DrawingRect& rect, DrawingFont font, DrawingColor color,
          DrawingTextAlignment alignment = DrawingTextAlignment::left) {
    s.drawText(string, rect, font, color, alignment);
}

// ---------------------------------------------------------------------------
// Panel styles.

struct PanelLook {
    double cornerRadius = 0;
    DrawingColor fill = DrawingColor::clear();
    DrawingColor border = DrawingColor::clear();
    double borderWidth = 0;
    DrawingShadow shadow;
};

double panelCornerRadius(Style style, const DrawingRect& r) {
    const double w = r.width, h = r.height;
    switch (style) {
        case Style::glass: return std::min(std::max(h * 0.14, 8.0), 18.0);
        case Style::broadcast: return std::min(std::max(h * 0.10, 6.0), 10.0);
        case Style::pill: return h / 2;
        case Style::sticker: return std::min(std::max(h * 0.18, 10.0), 22.0);
        case Style::outline: return std::min(std::max(h * 0.12, 6.0), 14.0);
        case Style::dial: return std::min(w, h) / 2;
        case Style::clean:
        case Style::cinematic: return 0;
    }
    return 0;
}

DrawingColor panelFillColor(Style style) {
    switch (style) {
        case Style::glass: return black.withAlpha(0.58);
        case Style::broadcast: return black.withAlpha(0.72);
        case Style::pill: return black.withAlpha(0.50);
        case Style::sticker: return black.withAlpha(0.46);
        case Style::outline: return black.withAlpha(0.28);
        case Style::dial: return black.withAlpha(0.54);
        case Style::clean:
        case Style::cinematic: return DrawingColor::clear();
    }
    return DrawingColor::clear();
}

DrawingColor panelStrokeColor(Style style, DrawingColor accent) {
    switch (style) {
        case Style::glass: return white.withAlpha(0.16);
        case Style::broadcast: return white.withAlpha(0.12);
        case Style::pill: return accent.withAlpha(0.58);
        case Style::sticker: return accent.withAlpha(0.62);
        case Style::outline: return accent.withAlpha(0.46);
        case Style::dial: return accent.withAlpha(0.72);
        case Style::clean:
        case Style::cinematic: return DrawingColor::clear();
    }
    return DrawingColor::clear();
}

PanelLook panelLook(Style style, const DrawingRect& r, DrawingColor accent) {
    PanelLook look;
    look.cornerRadius = panelCornerRadius(style, r);
    look.fill = panelFillColor(style);
    look.border = panelStrokeColor(style, accent);
    auto shadow = [](double alpha, double blur, double shift) {
        return DrawingShadow{{0, shift}, blur, black.withAlpha(alpha)};
    };
    switch (style) {
        case Style::glass: look.borderWidth = 1; look.shadow = shadow(0.24, 20, 10); break;
        case Style::broadcast: look.borderWidth = 1; look.shadow = shadow(0.30, 16, 8); break;
        case Style::pill: look.borderWidth = 1.5; look.shadow = shadow(0.30, 18, 9); break;
        case Style::sticker: look.borderWidth = 1.5; look.shadow = shadow(0.28, 18, 8); break;
        case Style::outline: look.borderWidth = 1; look.shadow = shadow(0.18, 12, 6); break;
        case Style::dial: look.borderWidth = 1; look.shadow = shadow(0.30, 18, 10); break;
        case Style::clean:
        case Style::cinematic: break;
    }
    return look;
}

double clamp01(double value) {
    if (!(value > 0)) return 0;  // also NaN
    return std::min(value, 1.0);
}

// Share of the ride covered by the sample in force; 0 without a duration.
double rideFraction(const TelemetrySample& sample, const TelemetryActivity& activity) {
    const double duration = activity.durationSeconds();
    if (!(duration > 0)) return 0;
    return clamp01(sample.elapsed / duration);
}

std::optional<std::pair<double, double>> position(const TelemetrySample& sample) {
    if (!sample.latitude || !sample.longitude) return std::nullopt;
    if (!std::isfinite(*sample.latitude) || !std::isfinite(*sample.longitude)) return std::nullopt;
    return std::pair{*sample.latitude, *sample.longitude};
}

}  // namespace

// ---------------------------------------------------------------------------

// One unit of drawing. A static step draws the same pixels in every frame; a
// dynamic one depends on the sample. `bounds` covers every pixel it may touch.
struct RenderStep {
    bool isStatic = true;
    DrawingRect bounds;
    std::function<void(DrawingSurface&, const TelemetrySample&)> draw;
};

struct LayoutFrameRenderer::Impl {
    std::shared_ptr<const TelemetryActivity> activity;
    PacemarkLayout layout;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::shared_ptr<const DrawingSurfaceFactory> surfaces;
    bool drawsCinematicBackdrop = false;
    std::map<UUID, LayoutRouteProjection> routeProjections;

    // The whole frame as steps in drawing order, and which of them live in
    // the cached layer.
    std::vector<RenderStep> steps;
    std::vector<bool> cached;

    mutable std::once_flag layerOnce;
    mutable std::vector<std::uint8_t> layer;  // width × height BGRA, tightly packed
    mutable bool layerReady = false;

    void buildSteps();
    void planCache();
    void buildLayer() const;
    void runSteps(DrawingSurface& surface, const TelemetrySample& sample, bool cachedSteps, bool uncachedSteps) const;

    // Step makers.
    void addStatic(DrawingRect bounds, std::function<void(DrawingSurface&)> draw) {
        steps.push_back({true, bounds, [draw = std::move(draw)](DrawingSurface& s, const TelemetrySample&) { draw(s); }});
    }
    void addDynamic(DrawingRect bounds, std::function<void(DrawingSurface&, const TelemetrySample&)> draw) {
        steps.push_back({false, bounds, std::move(draw)});
    }
    void addText(bool isStatic, std::function<std::string(const TelemetrySample&)> value, DrawingRect rect,
                 DrawingFont font, DrawingColor color, DrawingTextAlignment alignment, bool isValue = false);
    void addStaticText(std::string string, DrawingRect rect, DrawingFont font, DrawingColor color,
                       DrawingTextAlignment alignment = DrawingTextAlignment::left);
    void addValueText(const PacemarkWidget& widget, DrawingRect rect, DrawingFont font, DrawingColor color,
                      DrawingTextAlignment alignment = DrawingTextAlignment::left);

    // Drawing routines, one per concept, shared by all kinds.
    void addWidget(const PacemarkWidget& widget);
    void addPanel(const DrawingRect& r, DrawingColor accent, Style style);
    void addCleanAccent(const DrawingRect& r, DrawingColor accent);
    void addMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addPillMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCoordinateMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addDialMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addRoute(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent, bool cinematic);
    void addProgress(const DrawingRect& r, DrawingColor accent);
    void addCinematicBackdrop();
    void addLinearGradient(DrawingRect clip, DrawingColor from, DrawingColor to, DrawingPoint start, DrawingPoint end);
    void addCinematicMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCinematicArc(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCinematicTimer(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCinematicGrade(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent);
    void addCinematicAltitudeSparkline(const DrawingRect& p, DrawingColor accent);
    void addCinematicProgress(const DrawingRect& r, DrawingColor accent);
};

void LayoutFrameRenderer::Impl::addText(bool isStatic, std::function<std::string(const TelemetrySample&)> value,
                                        DrawingRect rect, DrawingFont font, DrawingColor color,
                                        DrawingTextAlignment alignment, bool isValue) {
    steps.push_back({isStatic, isValue ? valueTextBounds(rect, font) : textBounds(rect, font),
                     [value = std::move(value), rect, font, color, alignment](DrawingSurface& s,
                                                                             const TelemetrySample& sample) {
                         text(s, value(sample), rect, font, color, alignment);
                     }});
}

void LayoutFrameRenderer::Impl::addStaticText(std::string string, DrawingRect rect, DrawingFont font,
                                              DrawingColor color, DrawingTextAlignment alignment) {
    addText(true, [string = std::move(string)](const TelemetrySample&) { return string; }, rect, font, color,
            alignment);
}

void LayoutFrameRenderer::Impl::addValueText(const PacemarkWidget& widget, DrawingRect rect, DrawingFont font,
                                             DrawingColor color, DrawingTextAlignment alignment) {
    const TelemetryActivity* ride = activity.get();
    const TelemetryWidgetKind kind = widget.kind;
    addText(false, [ride, kind](const TelemetrySample& sample) { return kind.formattedValue(sample, *ride); }, rect,
            shrinkable(font), color, alignment, true);
}

void LayoutFrameRenderer::Impl::buildSteps() {
    if (drawsCinematicBackdrop) addCinematicBackdrop();
    for (const PacemarkWidget& widget : layout.widgets) {
        if (widget.isVisible) addWidget(widget);
    }
}

// Dispatch by kind and style.
void LayoutFrameRenderer::Impl::addWidget(const PacemarkWidget& widget) {
    const DrawingRect r = LayoutFrameRenderer::rect(widget, width, height);
    const DrawingColor accent = DrawingColor::fromHex(widget.accentHex);
    const Style style = widget.panelStyle;
    const bool cinematic = style == Style::cinematic;
    switch (widget.kind) {
        case Kind::progress:
            if (cinematic) {
                addCinematicProgress(r, accent);
            } else {
                addProgress(r, accent);
            }
            return;
        case Kind::route:
            if (!cinematic) addPanel(r, accent, style);
            addRoute(widget, r, accent, cinematic);
            return;
        case Kind::gpsCoordinates:
            addPanel(r, accent, style);
            addCoordinateMetric(widget, r, accent);
            return;
        default:
            break;
    }
    switch (style) {
        case Style::cinematic: addCinematicMetric(widget, r, accent); break;
        case Style::dial: addDialMetric(widget, r, accent); break;
        case Style::pill:
            addPanel(r, accent, style);
            addPillMetric(widget, r, accent);
            break;
        case Style::clean:
        case Style::glass:
        case Style::broadcast:
        case Style::sticker:
        case Style::outline:
            addPanel(r, accent, style);
            addMetric(widget, r, accent);
            break;
    }
}

void LayoutFrameRenderer::Impl::addPanel(const DrawingRect& r, DrawingColor accent, Style style) {
    if (style == Style::cinematic) return;
    if (style == Style::clean) {
        addCleanAccent(r, accent);
        return;
    }
    const PanelLook look = panelLook(style, r, accent);
    const bool broadcast = style == Style::broadcast;
    addStatic(shadowBounds(r, look.shadow), [r, look, accent, broadcast](DrawingSurface& s) {
        s.saveState();
        s.setShadow(look.shadow);
        fill(s, roundedRectPath(r, look.cornerRadius), look.fill);
        s.restoreState();
        stroke(s, roundedRectPath(r.insetBy(1, 1), look.cornerRadius - 1), look.border, look.borderWidth);
        if (broadcast) {
            const double t = std::max(std::min(r.height * 0.045, 6.0), 3.0);
            fill(s, roundedRectPath({r.minX() + 2, r.minY() + 2, r.width - 4, t}, t / 2), accent.withAlpha(0.88));
        }
    });
}

void LayoutFrameRenderer::Impl::addCleanAccent(const DrawingRect& r, DrawingColor accent) {
    const double w = r.width, h = r.height;
    const double t = std::max(std::min(h * 0.045, 5.0), 2.0);
    const double length = std::min(std::max(h * 0.68, 34.0), w * 0.46);
    const DrawingRect bar{r.minX() + std::max(w * 0.02, 2.0), r.maxY() - t, length, t};
    addStatic(fillBounds(bar), [bar, t, accent](DrawingSurface& s) {
        fill(s, roundedRectPath(bar, t / 2), accent.withAlpha(0.9));
    });
}

void LayoutFrameRenderer::Impl::addMetric(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent) {
    const double w = r.width, h = r.height;
    const double ls = std::max(std::min(w * 0.13, h * 0.16), 14.0);
    const double vs = std::max(std::min(w * 0.36, h * 0.48), 18.0);
    const DrawingRect i = r.insetBy(std::max(w * 0.08, 10.0), std::max(h * 0.1, 8.0));
    addStaticText(widget.displayTitle(), {i.minX(), i.minY(), i.width, ls * 1.25}, semibold(ls),
                  DrawingColor::fromHex(widget.labelColorHex));
    addValueText(widget, {i.minX(), i.midY() - vs * 0.52, i.width, vs * 1.15}, digitsBold(vs),
                 DrawingColor::fromHex(widget.valueColorHex));
    if (!widget.kind.unit().empty()) {
        addStaticText(std::string(widget.kind.unit()), {i.minX(), i.maxY() - ls * 1.25, i.width, ls * 1.25},
                      shrinkable(semibold(ls)), accent.withAlpha(0.95));
    }
}

void LayoutFrameRenderer::Impl::addPillMetric(const PacemarkWidget& widget, const DrawingRect& r,
                                              DrawingColor accent) {
    const double w = r.width, h = r.height;
    const DrawingRect i = r.insetBy(std::max(h * 0.26, 12.0), std::max(h * 0.16, 4.0));
    const double d = std::max(std::min(h * 0.16, 9.0), 5.0);
    const double ls = std::max(std::min(w * 0.08, h * 0.2), 9.0);
    const double vs = std::max(std::min(w * 0.15, h * 0.42), 13.0);
    const double us = std::max(std::min(w * 0.06, h * 0.17), 8.0);
    const double tw = std::min(w * 0.36, std::max(w * 0.27, 34.0));
    const std::string_view unit = widget.kind.unit();
    const double uw = unit.empty() ? 0.0 : std::min(w * 0.24, std::max(w * 0.16, 24.0));
    const double g = std::max(w * 0.025, 6.0);

    const DrawingRect dot{i.minX(), r.midY() - d / 2, d, d};
    addStatic(fillBounds(dot), [dot, accent](DrawingSurface& s) { fillCircle(s, dot, accent); });
    const DrawingRect title{i.minX() + d + g, i.minY(), tw, i.height};
    addStaticText(widget.displayTitle(), title, semibold(ls), DrawingColor::fromHex(widget.labelColorHex));
    const double x = title.maxX() + g;
    const double valueWidth = std::max(i.maxX() - x - uw - (uw > 0 ? g : 0.0), 24.0);
    addValueText(widget, {x, i.minY(), valueWidth, i.height}, digitsBold(vs),
                 DrawingColor::fromHex(widget.valueColorHex), DrawingTextAlignment::right);
    if (!unit.empty()) {
        addStaticText(std::string(unit), {i.maxX() - uw, i.minY(), uw, i.height}, shrinkable(semibold(us)),
                      accent.withAlpha(0.95), DrawingTextAlignment::right);
    }
}

void LayoutFrameRenderer::Impl::addCoordinateMetric(const PacemarkWidget& widget, const DrawingRect& r,
                                                    DrawingColor accent) {
    const double w = r.width, h = r.height;
    const double ls = std::max(std::min(w * 0.07, h * 0.16), 12.0);
    const double vs = std::max(std::min(w * 0.075, h * 0.24), 13.0);
    const double lh = vs * 1.24;
    const DrawingRect i = r.insetBy(std::max(w * 0.06, 10.0), std::max(h * 0.1, 7.0));
    addStaticText(widget.displayTitle(), {i.minX(), i.minY(), i.width, ls * 1.25}, semibold(ls),
                  DrawingColor::fromHex(widget.labelColorHex));
    const DrawingRect latitude{i.minX(), i.midY() - lh * 0.36, i.width, lh};
    const DrawingRect longitude{i.minX(), i.midY() - lh * 0.36 + lh, i.width, lh};
    const Kind kind = widget.kind;
    addText(false, [kind](const TelemetrySample& sample) { return kind.coordinateLines(sample).latitude; }, latitude,
            digitsSemibold(vs), DrawingColor::fromHex(widget.valueColorHex), DrawingTextAlignment::left, true);
    addText(false, [kind](const TelemetrySample& sample) { return kind.coordinateLines(sample).longitude; },
            longitude, digitsSemibold(vs), accent.withAlpha(0.95), DrawingTextAlignment::left, true);
}

void LayoutFrameRenderer::Impl::addDialMetric(const PacemarkWidget& widget, const DrawingRect& r,
                                              DrawingColor accent) {
    const double s = std::min(r.width, r.height) * 0.94;
    const DrawingRect disc{r.midX() - s / 2, r.midY() - s / 2, s, s};
    const DrawingPoint c{disc.midX(), disc.midY()};
    const DrawingShadow shadow{{0, 10}, 18, black.withAlpha(0.3)};
    const double ringWidth = std::max(s * 0.012, 1.5);
    const double a = std::max(s / 2 - 10, 8.0) - std::max(s * 0.035, 5.0);
    const double arcWidth = std::max(s * 0.045, 5.0);
    addStatic(shadowBounds(disc, shadow), [=](DrawingSurface& g) {
        g.saveState();
        g.setShadow(shadow);
        fillCircle(g, disc, black.withAlpha(0.54));
        g.restoreState();
        g.setStrokeColor(white.withAlpha(0.16));
        g.setLineWidth(ringWidth);
        g.strokeEllipse(disc.insetBy(1, 1));
        stroke(g, arcPath(c, a, radians(135), radians(405)), white.withAlpha(0.18), arcWidth, DrawingLineCap::round);
    });
    const TelemetryActivity* ride = activity.get();
    const Kind kind = widget.kind;
    addDynamic(strokeBounds({c.x - a, c.y - a, 2 * a, 2 * a}, arcWidth),
               [=](DrawingSurface& g, const TelemetrySample& sample) {
                   const double p = kind.gaugeProgress(sample, *ride);
                   if (p > 0) {
                       stroke(g, arcPath(c, a, radians(135), radians(135) + p * radians(270)), accent.withAlpha(0.95),
                              arcWidth, DrawingLineCap::round);
                   }
               });
    const DrawingRect t = disc.insetBy(s * 0.18, s * 0.2);
    const double ls = std::max(std::min(s * 0.09, 18.0), 10.0);
    const double vs = std::max(std::min(s * 0.27, 44.0), 18.0);
    const double us = std::max(std::min(s * 0.08, 16.0), 10.0);
    addStaticText(widget.displayTitle(), {t.minX(), t.minY(), t.width, ls * 1.3}, semibold(ls),
                  DrawingColor::fromHex(widget.labelColorHex), DrawingTextAlignment::center);
    addValueText(widget, {t.minX(), c.y - vs * 0.58, t.width, vs * 1.18}, digitsBold(vs),
                 DrawingColor::fromHex(widget.valueColorHex), DrawingTextAlignment::center);
    if (!kind.unit().empty()) {
        addStaticText(std::string(kind.unit()), {t.minX(), t.maxY() - us * 1.35, t.width, us * 1.3}, shrinkable(semibold(us)),
                      accent.withAlpha(0.95), DrawingTextAlignment::center);
    }
}

void LayoutFrameRenderer::Impl::addRoute(const PacemarkWidget& widget, const DrawingRect& r, DrawingColor accent,
                                         bool cinematic) {
    const double h = r.height;
    const auto found = routeProjections.find(widget.id);
    if (found == routeProjections.end()) {
        if (cinematic) {
            addStaticText("НЕТ GPS", r.insetBy(8, 8), semibold(std::min(h * 0.18, 16.0)), white.withAlpha(0.54),
                          DrawingTextAlignment::center);
        } else {
            addStaticText("НЕТ GPS", r.insetBy(12, 12), semibold(std::min(h * 0.18, 18.0)), white.withAlpha(0.48),
                          DrawingTextAlignment::center);
        }
        return;
    }
    const LayoutRouteProjection* projection = &found->second;
    const double lineWidth = cinematic ? std::max(std::min(h * 0.04, 5.0), 2.5) : std::max(std::min(h * 0.035, 5.0), 2.0);
    const DrawingColor lineColor = white.withAlpha(cinematic ? 0.82 : 0.42);
    addStatic(strokeBounds(pathBounds(projection->path()), lineWidth), [=](DrawingSurface& s) {
        stroke(s, projection->path(), lineColor, lineWidth, DrawingLineCap::round, DrawingLineJoin::round);
    });

    // The dot can only be where some sample was: bound it by all of them.
    DrawingRect reach;
    for (const TelemetrySample& sample : activity->samples) {
        if (auto where = position(sample)) {
            const DrawingPoint p = projection->project(where->first, where->second);
            reach = unite(reach, {p.x - 0.5, p.y - 0.5, 1, 1});
        }
    }
    if (isEmpty(reach)) return;
    const double rho = cinematic ? std::max(std::min(h * 0.06, 8.0), 4.0) : std::max(std::min(h * 0.07, 8.0), 4.0);
    addDynamic(fillBounds(outset(reach, rho + 2)), [=](DrawingSurface& s, const TelemetrySample& sample) {
        const auto where = position(sample);
        if (!where) return;
        const DrawingPoint p = projection->project(where->first, where->second);
        if (cinematic) {
            fillCircle(s, {p.x - rho - 2, p.y - rho - 2, 2 * rho + 4, 2 * rho + 4}, black.withAlpha(0.45));
        }
        fillCircle(s, {p.x - rho, p.y - rho, 2 * rho, 2 * rho}, accent);
    });
}

void LayoutFrameRenderer::Impl::addProgress(const DrawingRect& r, DrawingColor accent) {
    const double h = r.height;
    addStatic(fillBounds(r), [r, h](DrawingSurface& s) { fill(s, roundedRectPath(r, h / 2), white.withAlpha(0.2)); });
    const TelemetryActivity* ride = activity.get();
    addDynamic(fillBounds(r), [=](DrawingSurface& s, const TelemetrySample& sample) {
        const double p = rideFraction(sample, *ride);
        if (p * r.width > 0) fill(s, roundedRectPath({r.minX(), r.minY(), p * r.width, h}, h / 2), accent);
    });
}

// ---------------------------------------------------------------------------
// Cinematic style.

void LayoutFrameRenderer::Impl::addLinearGradient(DrawingRect clip, DrawingColor from, DrawingColor to,
                                                  DrawingPoint start, DrawingPoint end) {
    addStatic(fillBounds(clip), [=](DrawingSurface& s) {
        s.saveState();
        s.clipToRect(clip);
        s.drawLinearGradient(from, to, start, end);
        s.restoreState();
    });
}

void LayoutFrameRenderer::Impl::addCinematicBackdrop() {
    const auto w = static_cast<double>(width);
    const auto h = static_cast<double>(height);
    addLinearGradient({0, 0, 0.42 * w, h}, black.withAlpha(0.76), black.withAlpha(0), {0, h / 2}, {0.42 * w, h / 2});
    addLinearGradient({0.62 * w, 0, 0.38 * w, h}, black.withAlpha(0), black.withAlpha(0.58), {0.62 * w, h / 2},
                      {w, h / 2});
    addLinearGradient({0, 0.58 * h, w, 0.42 * h}, black.withAlpha(0), black.withAlpha(0.46), {w / 2, 0.58 * h},
                      {w / 2, h});
}

void LayoutFrameRenderer::Impl::addCinematicMetric(const PacemarkWidget& widget, const DrawingRect& r,
                                                   DrawingColor accent) {
    if (widget.kind == Kind::elapsedTime) {
        addCinematicTimer(widget, r, accent);
        return;
    }
    if (widget.kind == Kind::gradient) {
        addCinematicGrade(widget, r, accent);
        return;
    }
    const double w = r.width, h = r.height;
    const DrawingRect i = r.insetBy(std::max(w * 0.02, 4.0), std::max(h * 0.04, 2.0));
    const double ls = std::max(std::min(w * 0.075, h * 0.16), 10.0);
    const double mw = std::max(w * 0.08, 10.0);
    const double vs = std::max(std::min(w * 0.31, h * 0.42), 24.0);
    const double us = std::max(std::min(w * 0.07, h * 0.14), 9.0);
    const bool hasArc = widget.kind == Kind::speed || widget.kind == Kind::power || widget.kind == Kind::heartRate ||
                        widget.kind == Kind::cadence;
    const double arcRoom = hasArc ? w * 0.24 : 0.0;
    const double tw = std::max(i.width - arcRoom, 20.0);

    addStaticText("//", {i.minX(), i.minY(), mw, ls * 1.3}, bold(ls), accent.withAlpha(0.95));
    addStaticText(widget.displayTitle(), {i.minX() + mw + 4, i.minY(), std::max(tw - mw - 4, 16.0), ls * 1.3},
                  medium(ls), DrawingColor::fromHex(widget.labelColorHex));
    const DrawingPoint ruleStart{i.minX() + tw * 0.47, i.minY() + ls * 0.58};
    const DrawingPoint ruleEnd{i.minX() + tw, ruleStart.y};
    addStatic(strokeBounds({ruleStart.x, ruleStart.y, ruleEnd.x - ruleStart.x, 0}, 1), [=](DrawingSurface& s) {
        stroke(s, linePath(ruleStart, ruleEnd), white.withAlpha(0.2), 1);
    });
    const double vy = i.minY() + ls * 1.45;
    addValueText(widget, {i.minX() + 8, vy, tw - 8, vs * 1.12}, digitsHeavy(vs),
                 DrawingColor::fromHex(widget.valueColorHex));
    if (!widget.kind.unit().empty()) {
        addStaticText(std::string(widget.kind.unit()), {i.minX() + 8, vy + vs * 0.95, tw - 8, us * 1.35}, shrinkable(medium(us)),
                      white.withAlpha(0.82));
    }
    if (hasArc) addCinematicArc(widget, r, accent);
}

void LayoutFrameRenderer::Impl::addCinematicArc(const PacemarkWidget& widget, const DrawingRect& r,
                                                DrawingColor accent) {
    const double w = r.width, h = r.height;
    const double rho = std::min(w * 0.31, h * 0.5);
    const DrawingPoint c{r.maxX() - rho * 0.38, r.midY() + h * 0.04};
    const double lineWidth = std::max(h * 0.045, 4.0);
    const double sweep = radians(74);
    const DrawingRect circle = strokeBounds({c.x - rho, c.y - rho, 2 * rho, 2 * rho}, lineWidth);
    addStatic(circle, [=](DrawingSurface& s) {
        stroke(s, arcPath(c, rho, -sweep, sweep), white.withAlpha(0.18), lineWidth, DrawingLineCap::butt);
    });
    const TelemetryActivity* ride = activity.get();
    const Kind kind = widget.kind;
    addDynamic(circle, [=](DrawingSurface& s, const TelemetrySample& sample) {
        const double q = clamp01(kind.gaugeProgress(sample, *ride));
        if (q > 0) {
            stroke(s, arcPath(c, rho, -sweep, -sweep + q * 2 * sweep), accent.withAlpha(0.98), lineWidth,
                   DrawingLineCap::butt);
        }
    });
}

void LayoutFrameRenderer::Impl::addCinematicTimer(const PacemarkWidget& widget, const DrawingRect& r,
                                                  DrawingColor accent) {
    const double s = std::min(r.width, r.height) * 0.92;
    const DrawingRect square{r.midX() - s / 2, r.midY() - s / 2, s, s};
    const DrawingPoint c{square.midX(), square.midY()};
    const double lw = std::max(s * 0.045, 5.0);
    const double ringRadius = s / 2 - std::max(s * 0.055, 5.0);
    const DrawingRect ringBounds =
        strokeBounds({c.x - ringRadius, c.y - ringRadius, 2 * ringRadius, 2 * ringRadius}, lw);
    addStatic(unite(fillBounds(square), ringBounds), [=](DrawingSurface& g) {
        fillCircle(g, square.insetBy(lw / 2, lw / 2), black.withAlpha(0.16));
        stroke(g, arcPath(c, ringRadius, radians(118), radians(422)), white.withAlpha(0.22), lw, DrawingLineCap::butt);
    });
    const TelemetryActivity* ride = activity.get();
    addDynamic(ringBounds, [=](DrawingSurface& g, const TelemetrySample& sample) {
        const double duration = ride->durationSeconds();
        const double f = duration > 0 ? sample.elapsed / duration : 0.0;
        double end = 118;
        if (f > 1) {
            end = 422;
        } else if (f > 0) {
            end = 118 + f * 304;
        }
        stroke(g, arcPath(c, ringRadius, radians(118), radians(end)), accent.withAlpha(0.98), lw,
               DrawingLineCap::butt);
    });
    const double vs = std::max(std::min(s * 0.21, 32.0), 10.0);
    const double ls = std::max(std::min(s * 0.095, 14.0), 7.0);
    addValueText(widget, {square.minX() + s * 0.13, c.y - vs * 0.58, s * 0.74, vs * 1.18}, digitsHeavy(vs),
                 DrawingColor::fromHex(widget.valueColorHex), DrawingTextAlignment::center);
    addStaticText(widget.displayTitle(), {square.minX() + s * 0.18, c.y + vs * 0.45, s * 0.64, ls * 1.35}, medium(ls),
                  DrawingColor::fromHex(widget.labelColorHex), DrawingTextAlignment::center);
}

void LayoutFrameRenderer::Impl::addCinematicGrade(const PacemarkWidget& widget, const DrawingRect& r,
                                                  DrawingColor accent) {
    const double w = r.width, h = r.height;
    const DrawingRect i = r.insetBy(std::max(w * 0.04, 6.0), std::max(h * 0.06, 2.0));
    const double ls = std::max(std::min(w * 0.07, h * 0.16), 9.0);
    const double vs = std::max(std::min(w * 0.25, h * 0.4), 22.0);
    const double us = std::max(std::min(w * 0.07, h * 0.17), 10.0);
    const double mw = std::max(w * 0.08, 10.0);

    const double ruleY = i.minY() + ls * 0.6;
    addStatic(strokeBounds({i.minX(), ruleY, i.width, 0}, 1), [=](DrawingSurface& s) {
        stroke(s, linePath({i.minX(), ruleY}, {i.maxX(), ruleY}), white.withAlpha(0.26), 1);
    });
    addStaticText("//", {i.minX(), i.minY() + ls * 0.35, mw, ls * 1.4}, bold(ls), accent.withAlpha(0.95));
    addStaticText(widget.displayTitle(), {i.minX() + mw + 4, i.minY() + ls * 0.35, i.width * 0.5, ls * 1.4},
                  medium(ls), DrawingColor::fromHex(widget.labelColorHex));
    addValueText(widget, {i.minX(), i.minY() + ls * 1.85, i.width * 0.42, vs * 1.16}, digitsHeavy(vs),
                 DrawingColor::fromHex(widget.valueColorHex));
    addStaticText(std::string(widget.kind.unit()),
                  {i.minX() + i.width * 0.38, i.minY() + ls * 2.15 + vs * 0.12, i.width * 0.12, us * 1.35},
                  shrinkable(medium(us)),
                  white.withAlpha(0.82));
    addCinematicAltitudeSparkline(
        {i.minX() + i.width * 0.5, i.minY() + ls * 1.85, i.width * 0.48, std::max(i.height - ls * 2.05, 18.0)}, accent);
}

void LayoutFrameRenderer::Impl::addCinematicAltitudeSparkline(const DrawingRect& p, DrawingColor accent) {
    const std::vector<DrawingPoint> points = LayoutFrameRenderer::altitudeSparklinePoints(*activity, p);
    if (points.size() < 2) return;
    DrawingPath line;
    line.moveTo(points.front());
    for (std::size_t k = 1; k < points.size(); ++k) line.lineTo(points[k]);
    const double lineWidth = std::max(p.height * 0.06, 1.5);
    addStatic(strokeBounds(pathBounds(line), lineWidth), [=](DrawingSurface& s) {
        stroke(s, line, white.withAlpha(0.82), lineWidth, DrawingLineCap::round, DrawingLineJoin::round);
    });

    const TelemetryActivity* ride = activity.get();
    const double bw = std::max(p.width * 0.16, 14.0);
    const double lowestX = std::min(p.minX(), p.maxX() - bw);
    const DrawingRect highlightReach{lowestX, p.minY() + p.height * 0.18, std::max(p.maxX(), lowestX + bw) - lowestX,
                                     p.height * 0.76};
    addDynamic(fillBounds(highlightReach), [=](DrawingSurface& s, const TelemetrySample& sample) {
        const double c = p.minX() + rideFraction(sample, *ride) * p.width;
        const double x = std::min(std::max(p.minX(), c - bw * 0.22), p.maxX() - bw);
        fill(s, [&] {
            DrawingPath path;
            path.addRect({x, p.minY() + p.height * 0.18, bw, p.height * 0.76});
            return path;
        }(), accent.withAlpha(0.28));
    });
    addDynamic(fillBounds(outset(pathBounds(line), 4)), [=](DrawingSurface& s, const TelemetrySample& sample) {
        const double c = p.minX() + rideFraction(sample, *ride) * p.width;
        const DrawingPoint* nearest = &points.front();
        for (const DrawingPoint& point : points) {
            if (std::abs(point.x - c) < std::abs(nearest->x - c)) nearest = &point;
        }
        fillCircle(s, {nearest->x - 4, nearest->y - 4, 8, 8}, accent);
    });
}

void LayoutFrameRenderer::Impl::addCinematicProgress(const DrawingRect& r, DrawingColor accent) {
    const double w = r.width, h = r.height;
    const double y0 = r.midY() + h * 0.06;
    const double m = std::max(w * 0.006, 3.0);
    const double x0 = r.minX() + m;
    const double x1 = r.maxX() - m;
    const double length = x1 - x0;
    const double baseWidth = std::max(h * 0.045, 1.0);
    addStatic(strokeBounds({x0, y0 - h * 0.21, length, h * 0.42}, baseWidth), [=](DrawingSurface& s) {
        stroke(s, linePath({x0, y0}, {x1, y0}), white.withAlpha(0.28), baseWidth);
        for (int k = 0; k <= 60; ++k) {
            const double x = x0 + length * k / 60;
            const bool major = k % 5 == 0;
            const double half = (major ? h * 0.42 : h * 0.24) / 2;
            stroke(s, linePath({x, y0 - half}, {x, y0 + half}), white.withAlpha(major ? 0.42 : 0.24),
                   major ? 1.1 : 0.8);
        }
    });
    const TelemetryActivity* ride = activity.get();
    const double progressWidth = std::max(h * 0.05, 1.5);
    const double t = std::max(h * 0.25, 7.0);
    addDynamic(unite(strokeBounds({x0, y0, length, 0}, progressWidth),
                     fillBounds({x0 - 0.43 * t, y0 - 1.55 * t, length + 0.86 * t, 0.75 * t})),
               [=](DrawingSurface& s, const TelemetrySample& sample) {
                   const double p = rideFraction(sample, *ride);
                   const double xp = x0 + p * length;
                   stroke(s, linePath({x0, y0}, {xp, y0}), accent.withAlpha(0.98), progressWidth);
                   DrawingPath marker;
                   marker.moveTo({xp, y0 - 0.8 * t});
                   marker.lineTo({xp - 0.43 * t, y0 - 1.55 * t});
                   marker.lineTo({xp + 0.43 * t, y0 - 1.55 * t});
                   marker.closeSubpath();
                   fill(s, marker, accent.withAlpha(0.98));
               });
    addStatic(strokeBounds({x0, r.maxY() - 1, length, 0}, 1), [=](DrawingSurface& s) {
        stroke(s, linePath({x0, r.maxY() - 1}, {x1, r.maxY() - 1}), white.withAlpha(0.16), 1);
    });
}

// ---------------------------------------------------------------------------
// The static-layer cache.

// A static step joins the cached layer when no step that stays per-frame and
// comes before it can touch the same pixels: steps on disjoint pixels commute
// exactly, so drawing the cached steps first gives the same bytes.
void LayoutFrameRenderer::Impl::planCache() {
    cached.assign(steps.size(), false);
    std::vector<DrawingRect> perFrame;
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const RenderStep& step = steps[k];
        const bool blocked = std::any_of(perFrame.begin(), perFrame.end(),
                                         [&](const DrawingRect& b) { return intersects(b, step.bounds); });
        if (step.isStatic && !blocked) {
            cached[k] = true;
        } else {
            perFrame.push_back(step.bounds);
        }
    }
}

void LayoutFrameRenderer::Impl::runSteps(DrawingSurface& surface, const TelemetrySample& sample, bool cachedSteps,
                                         bool uncachedSteps) const {
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
                                         std::shared_ptr<const DrawingSurfaceFactory> surfaces)
    : impl_(std::make_unique<Impl>()) {
    if (!activity) activity = std::make_shared<const TelemetryActivity>();
    impl_->activity = std::move(activity);
    impl_->layout = std::move(layout);
    impl_->width = width;
    impl_->height = height;
    impl_->surfaces = std::move(surfaces);
    impl_->drawsCinematicBackdrop =
        std::any_of(impl_->layout.widgets.begin(), impl_->layout.widgets.end(), [](const PacemarkWidget& widget) {
            return widget.isVisible && widget.panelStyle == Style::cinematic;
        });
    impl_->routeProjections = buildRouteProjections(*impl_->activity, impl_->layout, width, height);
    impl_->buildSteps();
    impl_->planCache();
}

LayoutFrameRenderer::~LayoutFrameRenderer() = default;

void LayoutFrameRenderer::drawFrame(double elapsed, DrawingSurface& surface) const {
    surface.clear({0, 0, static_cast<double>(impl_->width), static_cast<double>(impl_->height)});
    impl_->runSteps(surface, impl_->activity->sample(elapsed), true, true);
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
    impl_->runSteps(*surface, impl_->activity->sample(elapsed), false, true);
}

std::size_t LayoutFrameRenderer::frameKey(double elapsed) const { return impl_->activity->sampleIndex(elapsed); }

const TelemetryActivity& LayoutFrameRenderer::activity() const { return *impl_->activity; }
const PacemarkLayout& LayoutFrameRenderer::layout() const { return impl_->layout; }
std::int64_t LayoutFrameRenderer::width() const { return impl_->width; }
std::int64_t LayoutFrameRenderer::height() const { return impl_->height; }
bool LayoutFrameRenderer::drawsCinematicBackdrop() const { return impl_->drawsCinematicBackdrop; }
const std::map<UUID, LayoutRouteProjection>& LayoutFrameRenderer::routeProjections() const {
    return impl_->routeProjections;
}

std::size_t LayoutFrameRenderer::cachedStepCount() const {
    return static_cast<std::size_t>(std::count(impl_->cached.begin(), impl_->cached.end(), true));
}
std::size_t LayoutFrameRenderer::perFrameStepCount() const { return impl_->steps.size() - cachedStepCount(); }

std::vector<DrawingPoint> LayoutFrameRenderer::altitudeSparklinePoints(const TelemetryActivity& activity,
                                                                       DrawingRect rect) {
    struct Pair {
        std::size_t index;
        double altitude;
    };
    std::vector<Pair> pairs;
    for (std::size_t k = 0; k < activity.samples.size(); ++k) {
        const auto& altitude = activity.samples[k].altitudeMeters;
        if (altitude && std::isfinite(*altitude)) pairs.push_back({k, *altitude});
    }
    if (pairs.size() < 2) return {};
    const auto [lowest, highest] = std::minmax_element(
        pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.altitude < b.altitude; });
    const double lo = lowest->altitude;
    const double span = std::max(highest->altitude - lo, 1.0);
    const double n = static_cast<double>(std::max<std::size_t>(activity.samples.size(), 2));
    const std::size_t step = pairs.size() >= 72 ? pairs.size() / 72 : 1;
    std::vector<DrawingPoint> points;
    points.reserve(pairs.size() / step + 1);
    for (std::size_t k = 0; k < pairs.size(); k += step) {
        points.push_back({rect.minX() + rect.width * static_cast<double>(pairs[k].index) / (n - 1),
                          rect.maxY() - (pairs[k].altitude - lo) / span * rect.height});
    }
    if (points.size() < 2) return {};
    return points;
}

}  // namespace pacemark
