#include "LayoutCanvas.h"

namespace pacemark {

LayoutCanvas LayoutCanvas::fit(PacemarkLayoutAspect aspect, std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0 || aspect.width <= 0 || aspect.height <= 0) return unscaled(width, height);
    LayoutCanvas canvas;
    canvas.pictureWidth = width;
    canvas.pictureHeight = height;
    const auto w = static_cast<double>(width);
    const auto h = static_cast<double>(height);
    const auto aw = static_cast<double>(aspect.width);
    const auto ah = static_cast<double>(aspect.height);
    // Compared in integers, so a picture of exactly the layout's shape uses
    // its own sides unchanged.
    if (width * aspect.height == height * aspect.width) {
        canvas.area = {0, 0, w, h};
    } else if (width * aspect.height < height * aspect.width) {
        // Taller than the layout: across the whole width, on the bottom edge.
        const double areaHeight = w * ah / aw;
        canvas.area = {0, h - areaHeight, w, areaHeight};
    } else {
        // Wider: the whole height, centred across.
        const double areaWidth = h * aw / ah;
        canvas.area = {(w - areaWidth) / 2, 0, areaWidth, h};
    }
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
