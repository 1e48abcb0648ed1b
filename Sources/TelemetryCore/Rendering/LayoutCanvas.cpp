// SPDX-License-Identifier: GPL-3.0-or-later
#include "LayoutCanvas.h"

namespace pacemark {

LayoutCanvas LayoutCanvas::fit(PacemarkLayoutAspect aspect, std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0 || aspect.width <= 0 || aspect.height <= 0) return unscaled(width, height);
    LayoutCanvas canvas;
    canvas.pictureWidth = width;
    canvas.pictureHeight = height;
    const auto aw = static_cast<double>(aspect.width);
    const auto ah = static_cast<double>(aspect.height);
    canvas.area = fitArea(aspect, {0, 0, static_cast<double>(width), static_cast<double>(height)});
    // The short side is exactly designShortSide and the long one follows the
    // aspect, so 16:9 layouts are always 1920 × 1080 units.
    if (aspect.width >= aspect.height) {
        canvas.designHeight = designShortSide;
        canvas.designWidth = designShortSide * aw / ah;
        canvas.scale = canvas.area.height / designShortSide;
    } else {
        canvas.designWidth = designShortSide;
        canvas.designHeight = designShortSide * ah / aw;
        canvas.scale = canvas.area.width / designShortSide;
    }
    return canvas;
}

DrawingRect LayoutCanvas::fitArea(PacemarkLayoutAspect aspect, DrawingRect picture) {
    if (aspect.width <= 0 || aspect.height <= 0 || !(picture.width > 0) || !(picture.height > 0)) return picture;
    const auto aw = static_cast<double>(aspect.width);
    const auto ah = static_cast<double>(aspect.height);
    // Whole pixel sides compare exactly, so a picture of the layout's own
    // shape keeps its sides unchanged.
    const double across = picture.width * ah;
    const double upright = picture.height * aw;
    if (across == upright) return picture;
    if (across < upright) {
        // Taller than the layout: across the whole width, on the bottom edge.
        const double areaHeight = picture.width * ah / aw;
        return {picture.x, picture.maxY() - areaHeight, picture.width, areaHeight};
    }
    // Wider: the whole height, centred across.
    const double areaWidth = picture.height * aw / ah;
    return {picture.x + (picture.width - areaWidth) / 2, picture.y, areaWidth, picture.height};
}

LayoutCanvas LayoutCanvas::unscaled(std::int64_t width, std::int64_t height) {
    LayoutCanvas canvas;
    canvas.pictureWidth = width;
    canvas.pictureHeight = height;
    canvas.area = {0, 0, static_cast<double>(width), static_cast<double>(height)};
    canvas.designWidth = canvas.area.width;
    canvas.designHeight = canvas.area.height;
    return canvas;
}

bool LayoutCanvas::isIdentity() const { return scale == 1 && area.x == 0 && area.y == 0; }

DrawingRect LayoutCanvas::designPicture() const {
    return {0 - area.x / scale, 0 - area.y / scale, static_cast<double>(pictureWidth) / scale,
            static_cast<double>(pictureHeight) / scale};
}

DrawingPoint LayoutCanvas::toPicture(DrawingPoint p) const { return {area.x + p.x * scale, area.y + p.y * scale}; }

DrawingRect LayoutCanvas::toPicture(DrawingRect r) const {
    return {area.x + r.x * scale, area.y + r.y * scale, r.width * scale, r.height * scale};
}

DrawingPoint LayoutCanvas::normalized(DrawingPoint p) const {
    if (!(area.width > 0) || !(area.height > 0)) return {};
    return {(p.x - area.x) / area.width, (p.y - area.y) / area.height};
}

DrawingRect LayoutCanvas::frameIn(const PacemarkWidget& widget, DrawingRect area) {
    const TelemetryWidgetFrame frame = widget.frame.clamped();
    return {area.x + frame.x * area.width, area.y + frame.y * area.height, frame.width * area.width,
            frame.height * area.height};
}

}  // namespace pacemark
