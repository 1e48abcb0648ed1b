// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "DrawingGeometry.h"
#include "PixelBuffer.h"

namespace pacemark {

// sRGB colour with straight (not premultiplied) alpha, every component in 0...1.
struct DrawingColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 0;

    // 0xRRGGBB read as sRGB with alpha 1; bits above the low 24 are ignored.
    static DrawingColor fromHex(std::uint32_t hex) {
        return {static_cast<double>((hex >> 16) & 255) / 255.0, static_cast<double>((hex >> 8) & 255) / 255.0,
                static_cast<double>(hex & 255) / 255.0, 1.0};
    }
    static DrawingColor white() { return {1, 1, 1, 1}; }
    static DrawingColor black() { return {0, 0, 0, 1}; }
    static DrawingColor clear() { return {0, 0, 0, 0}; }
    // The same colour with its alpha replaced.
    DrawingColor withAlpha(double newAlpha) const { return {red, green, blue, newAlpha}; }

    bool operator==(const DrawingColor&) const = default;
};

enum class DrawingLineCap : std::uint8_t { butt, round, square };
enum class DrawingLineJoin : std::uint8_t { miter, round, bevel };
enum class DrawingTextAlignment : std::uint8_t { left, center, right };

// Inter weights: medium 500, semibold 600, bold 700, heavy 800.
enum class DrawingFontWeight : std::uint8_t { medium, semibold, bold, heavy };

struct DrawingFont {
    double size = 12;  // pixels of the picture
    DrawingFontWeight weight = DrawingFontWeight::semibold;
    bool monospacedDigits = false;  // tabular figures: every digit has the same advance
    // A line wider than its rectangle is first drawn smaller, down to
    // size × minimumScaleFactor, on the same baseline; only what still does
    // not fit is cut with an ellipsis. 1 means never shrink.
    double minimumScaleFactor = 1.0;

    bool operator==(const DrawingFont&) const = default;
};

// A blurred copy of every later fill and stroke, drawn under it.
// `offset.y` follows the bitmap convention: a POSITIVE value moves the shadow
// toward the TOP of the finished picture (offset (0, 10) lands 10 pixels
// higher). `offset.x` moves it right. `blur` is the blur radius in pixels
// (0: a hard copy); the shadow fades out over about that distance and never
// reaches farther than 1.5 × blur + 4 pixels beyond the shape (plus the offset).
struct DrawingShadow {
    DrawingPoint offset;
    double blur = 0;
    DrawingColor color;

    bool operator==(const DrawingShadow&) const = default;
};

// The graphics state that save/restore keep on a stack.
struct DrawingState {
    DrawingColor fillColor = DrawingColor::black();
    DrawingColor strokeColor = DrawingColor::black();
    double lineWidth = 1;
    DrawingLineCap lineCap = DrawingLineCap::butt;
    DrawingLineJoin lineJoin = DrawingLineJoin::miter;
    std::optional<DrawingShadow> shadow;
    // Intersection of every clipToRect since the last restore; absent: none.
    // A path clip is not a rectangle and is not reflected here.
    std::optional<DrawingRect> clip;

    bool operator==(const DrawingState&) const = default;
};

// A 2D drawing target of one picture.
//
// Coordinates: picture pixels, origin at the top-left corner, y growing
// downward, fractional values allowed. Angles in radians from +x toward +y, so
// increasing angles run clockwise on the picture.
//
// Contract for implementations:
// - A surface draws into memory it does not own (for the cairo surface: the
//   PixelBufferView it was made over). The owner keeps that memory alive and
//   untouched by others until the surface is destroyed; destroying the surface
//   flushes every drawing into the memory. Before its first call, the owner
//   may still write the memory directly (e.g. copy a prepared picture in).
// - A surface is used by one thread at a time; distinct surfaces may be used
//   on distinct threads at once.
// - The state (colours, line state, shadow, clip) starts at DrawingState's
//   defaults and changes only through the setters and restoreState().
//   saveState()/restoreState() must balance; an unbalanced restore is ignored.
// - The current path is built with addPath() and consumed (emptied) by
//   fillPath() and strokePath(), whether or not anything was painted.
// - Painting operations blend with "source over" onto what is there, honour
//   the clip and, for fills and strokes (paths and ellipses), the shadow.
//   Text and gradients cast no shadow.
// - Degenerate input (empty rectangles, zero-length lines, corner radii larger
//   than half a side, non-finite numbers) must never fail or crash; a surface
//   may draw nothing for it. Corner radii are limited to half the shorter side.
// - Equal sequences of calls over equal memory give equal bytes.
class DrawingSurface {
public:
    virtual ~DrawingSurface() = default;

    virtual std::int64_t width() const = 0;
    virtual std::int64_t height() const = 0;

    // Every pixel inside the rectangle becomes fully transparent (all bytes 0),
    // ignoring colours, shadow and clip.
    virtual void clear(DrawingRect rect) = 0;

    virtual void saveState() = 0;
    virtual void restoreState() = 0;

    virtual void setFillColor(DrawingColor color) = 0;
    virtual void setStrokeColor(DrawingColor color) = 0;
    virtual void setLineWidth(double width) = 0;
    virtual void setLineCap(DrawingLineCap cap) = 0;
    virtual void setLineJoin(DrawingLineJoin join) = 0;
    // Later fills and strokes cast this shadow until the state is restored.
    virtual void setShadow(DrawingShadow shadow) = 0;
    // Intersects the clip with the rectangle until the state is restored.
    virtual void clipToRect(DrawingRect rect) = 0;
    // Intersects the clip with the current path (non-zero winding rule) until
    // the state is restored, and empties the path.
    virtual void clipToPath() = 0;

    // Appends the path's elements to the current path.
    virtual void addPath(const DrawingPath& path) = 0;
    // Fills the current path with the fill colour, non-zero winding rule.
    virtual void fillPath() = 0;
    // Strokes the current path with the stroke colour and line state.
    virtual void strokePath() = 0;
    virtual void fillEllipse(DrawingRect rect) = 0;
    virtual void strokeEllipse(DrawingRect rect) = 0;

    // A two-stop linear gradient (`startColor` at `start`, `endColor` at
    // `end`) painted inside the clip, not extended past its end points.
    // Returns false, drawing nothing, when the gradient cannot be made.
    virtual bool drawLinearGradient(DrawingColor startColor, DrawingColor endColor, DrawingPoint start,
                                    DrawingPoint end) = 0;

    // One line of UTF-8 text whose line box starts at the rectangle's top
    // edge, aligned horizontally inside the rectangle and cut at the end with
    // an ellipsis when wider than it. Line breaks in the text are drawn as
    // spaces. Nothing is clipped vertically.
    virtual void drawText(std::string_view text, DrawingRect rect, DrawingFont font, DrawingColor color,
                          DrawingTextAlignment alignment) = 0;
};

// Makes surfaces over caller memory. Implementations are immutable after
// construction and may be shared by threads; makeSurface may be called from
// any thread at once.
class DrawingSurfaceFactory {
public:
    virtual ~DrawingSurfaceFactory() = default;

    // A surface drawing into `pixels` (BGRA premultiplied, row 0 at the top);
    // nullptr when no surface can be made over it (invalid view, a size the
    // back-end cannot handle). The memory's contents are left as they are.
    virtual std::unique_ptr<DrawingSurface> makeSurface(PixelBufferView pixels) const = 0;
};

}  // namespace pacemark
