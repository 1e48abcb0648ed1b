// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Rendering/DrawingSurface.h"

namespace pacemark {

// A surface that forwards every call to another one with all lengths
// multiplied by one factor: coordinates, rectangles, paths, corner and arc
// radii, line widths, shadow offsets and blur, clips and font sizes. Angles,
// colours and texts pass unchanged. The editor uses it to draw its widget
// previews, laid out in view points of the canvas, at the screen's pixel ratio.
//
// width()/height() report the target's size divided by the factor, i.e. the
// size of the picture the caller thinks it draws. The target must outlive this
// surface; the factor must be positive and finite.
class ScaledDrawingSurface final : public DrawingSurface {
public:
    ScaledDrawingSurface(DrawingSurface& target, double factor) : target_(target), factor_(factor) {}

    std::int64_t width() const override;
    std::int64_t height() const override;
    void clear(DrawingRect rect) override { target_.clear(scaled(rect)); }
    void saveState() override { target_.saveState(); }
    void restoreState() override { target_.restoreState(); }
    void setFillColor(DrawingColor color) override { target_.setFillColor(color); }
    void setStrokeColor(DrawingColor color) override { target_.setStrokeColor(color); }
    void setLineWidth(double width) override { target_.setLineWidth(width * factor_); }
    void setLineCap(DrawingLineCap cap) override { target_.setLineCap(cap); }
    void setLineJoin(DrawingLineJoin join) override { target_.setLineJoin(join); }
    void setShadow(DrawingShadow shadow) override;
    void clipToRect(DrawingRect rect) override { target_.clipToRect(scaled(rect)); }
    void clipToPath() override { target_.clipToPath(); }  // the path was scaled as it was added
    void addPath(const DrawingPath& path) override;
    void fillPath() override { target_.fillPath(); }
    void strokePath() override { target_.strokePath(); }
    void fillEllipse(DrawingRect rect) override { target_.fillEllipse(scaled(rect)); }
    void strokeEllipse(DrawingRect rect) override { target_.strokeEllipse(scaled(rect)); }
    bool drawLinearGradient(DrawingColor startColor, DrawingColor endColor, DrawingPoint start,
                            DrawingPoint end) override {
        return target_.drawLinearGradient(startColor, endColor, scaled(start), scaled(end));
    }
    void drawText(std::string_view text, DrawingRect rect, DrawingFont font, DrawingColor color,
                  DrawingTextAlignment alignment) override;

private:
    DrawingPoint scaled(DrawingPoint p) const { return {p.x * factor_, p.y * factor_}; }
    DrawingRect scaled(const DrawingRect& r) const {
        return {r.x * factor_, r.y * factor_, r.width * factor_, r.height * factor_};
    }

    DrawingSurface& target_;
    double factor_;
};

}  // namespace pacemark
