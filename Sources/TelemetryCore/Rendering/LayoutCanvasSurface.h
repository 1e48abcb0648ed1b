// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DrawingSurface.h"
#include "LayoutCanvas.h"

namespace pacemark {

// Draws a layout's routines, written in layout units, onto a picture of any
// size: every coordinate, length, line width, font size, shadow shift and
// blur goes through the canvas's one mapping (LayoutCanvas::toPicture) before
// it reaches `target`. Two exceptions hold on pictures smaller than the
// layout's own size: a line is never drawn thinner than its width in layout
// units or one pixel, whichever is less, so a 1-unit border stays a 1-pixel
// border; and text is drawn a little smaller (textSizeInPixels).
//
// Holds `target` by reference (it must outlive this); same threading as it.
class LayoutCanvasSurface final : public DrawingSurface {
public:
    LayoutCanvasSurface(DrawingSurface& target, const LayoutCanvas& canvas);

    std::int64_t width() const override { return target_.width(); }
    std::int64_t height() const override { return target_.height(); }
    void clear(DrawingRect rect) override;
    void saveState() override { target_.saveState(); }
    void restoreState() override { target_.restoreState(); }
    void setFillColor(DrawingColor color) override { target_.setFillColor(color); }
    void setStrokeColor(DrawingColor color) override { target_.setStrokeColor(color); }
    void setLineWidth(double width) override;
    void setLineCap(DrawingLineCap cap) override { target_.setLineCap(cap); }
    void setLineJoin(DrawingLineJoin join) override { target_.setLineJoin(join); }
    void setShadow(DrawingShadow shadow) override;
    void clipToRect(DrawingRect rect) override;
    void clipToPath() override { target_.clipToPath(); }
    void addPath(const DrawingPath& path) override;
    void fillPath() override { target_.fillPath(); }
    void strokePath() override { target_.strokePath(); }
    void fillEllipse(DrawingRect rect) override;
    void strokeEllipse(DrawingRect rect) override;
    bool drawLinearGradient(DrawingColor startColor, DrawingColor endColor, DrawingPoint start,
                            DrawingPoint end) override;
    void drawText(std::string_view text, DrawingRect rect, DrawingFont font, DrawingColor color,
                  DrawingTextAlignment alignment) override;

    // The width in pixels a line of `width` layout units is drawn at.
    static double lineWidthInPixels(double width, double scale);
    // The pixel size a text of `size` layout units is drawn at. Antialiased
    // ink reaches about a pixel past a glyph's outline at any size, which is
    // nothing at 1080 lines but closes the narrow gaps the layout leaves
    // between its lines of text on a small picture (a third of 1080p leaves
    // under a pixel). So below scale 1 text loses another 1/18 of its size
    // for each unit the scale's inverse grows past 1 (size × (k − (1 − k) / 18)):
    // 4 % at 720p, 11 % at 360p; at scale 1 and above it follows the scale.
    static double textSizeInPixels(double size, double scale);

private:
    DrawingSurface& target_;
    LayoutCanvas canvas_;
};

}  // namespace pacemark
