// SPDX-License-Identifier: GPL-3.0-or-later
#include "CairoDrawingSurface.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numbers>
#include <string>
#include <unordered_map>
#include <vector>

#include "CairoFontResources.h"
#include "CairoHandles.h"
#include "ShadowBlur.h"

namespace pacemark {

DrawingFontError::DrawingFontError(const std::filesystem::path& file)
    : PacemarkError("Не удалось загрузить шрифт Inter из файла «" + file.string() +
                    "». Установите пакет fonts-inter."),
      file_(file) {}

// Blurred shadow masks by shape: static panels are drawn again and again at
// the same place, and blurring is the costly part of a shadow. The same shape
// gives the same mask bytes whether it is blurred now or taken from here.
struct ShadowMaskCache {
    struct Mask {
        double left = 0;
        double top = 0;
        int width = 0;
        int height = 0;
        int stride = 0;
        std::vector<std::uint8_t> data;
    };

    std::shared_ptr<const Mask> find(const std::string& key) {
        std::lock_guard lock(mutex);
        const auto found = masks.find(key);
        return found == masks.end() ? nullptr : found->second;
    }

    void store(std::string key, std::shared_ptr<const Mask> mask) {
        std::lock_guard lock(mutex);
        if (masks.size() >= maximumCount) masks.clear();  // memory stays bounded
        masks.emplace(std::move(key), std::move(mask));
    }

    static constexpr std::size_t maximumCount = 128;
    std::mutex mutex;
    std::unordered_map<std::string, std::shared_ptr<const Mask>> masks;
};

namespace {

template <typename T>
void appendBytes(std::string& key, const T& value) {
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

bool finite(double value) { return std::isfinite(value); }
bool finite(const DrawingRect& r) { return finite(r.x) && finite(r.y) && finite(r.width) && finite(r.height); }
bool finite(const DrawingPoint& p) { return finite(p.x) && finite(p.y); }
double unit(double value) { return finite(value) ? std::clamp(value, 0.0, 1.0) : 0.0; }

class CairoDrawingSurface final : public DrawingSurface {
public:
    CairoDrawingSurface(cairo::SurfaceHandle surface, PixelBufferView pixels,
                        std::shared_ptr<const CairoFontResources> fonts, std::shared_ptr<ShadowMaskCache> shadows)
        : surface_(std::move(surface)),
          context_(cairo_create(surface_.get())),
          cr_(context_.get()),
          pixels_(pixels),
          fonts_(std::move(fonts)),
          shadows_(std::move(shadows)) {}

    ~CairoDrawingSurface() override {
        context_.reset();
        cairo_surface_flush(surface_.get());
        cairo_surface_finish(surface_.get());
    }

    CairoDrawingSurface(const CairoDrawingSurface&) = delete;
    CairoDrawingSurface& operator=(const CairoDrawingSurface&) = delete;

    std::int64_t width() const override { return pixels_.width; }
    std::int64_t height() const override { return pixels_.height; }

    void clear(DrawingRect rect) override {
        begin();
        if (!finite(rect)) return;
        const auto w = static_cast<double>(pixels_.width);
        const auto h = static_cast<double>(pixels_.height);
        if (rect.minX() <= 0 && rect.minY() <= 0 && rect.maxX() >= w && rect.maxY() >= h) {
            // The whole picture: plain zero bytes, the fastest way there.
            cairo_surface_flush(surface_.get());
            for (std::int64_t y = 0; y < pixels_.height; ++y) {
                std::memset(pixels_.row(y), 0, static_cast<std::size_t>(pixels_.width * 4));
            }
            cairo_surface_mark_dirty(surface_.get());
            return;
        }
        cairo::PathStash stash(cr_);
        cairo_save(cr_);
        cairo_reset_clip(cr_);
        cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
        cairo_rectangle(cr_, rect.x, rect.y, rect.width, rect.height);
        cairo_fill(cr_);
        cairo_restore(cr_);
    }

    void saveState() override {
        begin();
        stack_.push_back(state_);
        cairo_save(cr_);
    }

    void restoreState() override {
        begin();
        if (stack_.empty()) return;
        state_ = stack_.back();
        stack_.pop_back();
        cairo_restore(cr_);
    }

    void setFillColor(DrawingColor color) override { state_.fillColor = color; }
    void setStrokeColor(DrawingColor color) override { state_.strokeColor = color; }
    void setLineWidth(double width) override {
        if (finite(width) && width >= 0) state_.lineWidth = width;
    }
    void setLineCap(DrawingLineCap cap) override { state_.lineCap = cap; }
    void setLineJoin(DrawingLineJoin join) override { state_.lineJoin = join; }
    void setShadow(DrawingShadow shadow) override {
        if (finite(shadow.offset) && finite(shadow.blur)) state_.shadow = shadow;
    }

    void clipToRect(DrawingRect rect) override {
        begin();
        if (!finite(rect)) return;
        cairo::PathStash stash(cr_);
        cairo_rectangle(cr_, rect.x, rect.y, std::max(rect.width, 0.0), std::max(rect.height, 0.0));
        cairo_clip(cr_);
    }

    void clipToPath() override {
        begin();
        cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
        cairo_clip(cr_);  // consumes the path
    }

    void addPath(const DrawingPath& path) override {
        begin();
        for (const auto& e : path.elements()) {
            switch (e.type) {
                case DrawingPath::ElementType::moveTo:
                    if (finite(e.point)) cairo_move_to(cr_, e.point.x, e.point.y);
                    break;
                case DrawingPath::ElementType::lineTo:
                    if (finite(e.point)) cairo_line_to(cr_, e.point.x, e.point.y);
                    break;
                case DrawingPath::ElementType::arc:
                    if (finite(e.point) && finite(e.radius) && e.radius > 0 && finite(e.startAngle) &&
                        finite(e.endAngle)) {
                        cairo_arc(cr_, e.point.x, e.point.y, e.radius, e.startAngle, e.endAngle);
                    }
                    break;
                case DrawingPath::ElementType::closeSubpath:
                    cairo_close_path(cr_);
                    break;
                case DrawingPath::ElementType::rect:
                    if (finite(e.rect) && e.rect.width > 0 && e.rect.height > 0) {
                        cairo_rectangle(cr_, e.rect.x, e.rect.y, e.rect.width, e.rect.height);
                    }
                    break;
                case DrawingPath::ElementType::roundedRect:
                    addRoundedRect(e.rect, e.radius);
                    break;
                case DrawingPath::ElementType::ellipse:
                    addEllipse(e.rect);
                    break;
            }
        }
    }

    void fillPath() override {
        begin();
        paint(false, state_.fillColor);
    }

    void strokePath() override {
        begin();
        paint(true, state_.strokeColor);
    }

    void fillEllipse(DrawingRect rect) override {
        begin();
        cairo::PathStash stash(cr_);
        addEllipse(rect);
        paint(false, state_.fillColor);
    }

    void strokeEllipse(DrawingRect rect) override {
        begin();
        cairo::PathStash stash(cr_);
        addEllipse(rect);
        paint(true, state_.strokeColor);
    }

    bool drawLinearGradient(DrawingColor startColor, DrawingColor endColor, DrawingPoint start,
                            DrawingPoint end) override {
        begin();
        if (!finite(start) || !finite(end) || start == end) return false;
        const cairo::PatternHandle handle(cairo_pattern_create_linear(start.x, start.y, end.x, end.y));
        cairo_pattern_t* pattern = handle.get();
        if (cairo_pattern_status(pattern) != CAIRO_STATUS_SUCCESS) return false;
        cairo_pattern_add_color_stop_rgba(pattern, 0, unit(startColor.red), unit(startColor.green),
                                          unit(startColor.blue), unit(startColor.alpha));
        cairo_pattern_add_color_stop_rgba(pattern, 1, unit(endColor.red), unit(endColor.green), unit(endColor.blue),
                                          unit(endColor.alpha));
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_NONE);
        cairo_save(cr_);
        cairo_set_source(cr_, pattern);
        cairo_paint(cr_);
        cairo_restore(cr_);
        return true;
    }

    void drawText(std::string_view text, DrawingRect rect, DrawingFont font, DrawingColor color,
                  DrawingTextAlignment alignment) override {
        begin();
        if (text.empty() || !finite(rect) || !(rect.width > 0) || !finite(font.size) || !(font.size > 0)) return;
        if (!(color.alpha > 0)) return;
        fonts_->drawLine(cr_, text, rect, font, color, alignment);
    }

private:
    // Before the first call the owner may have written the memory directly.
    void begin() {
        if (started_) return;
        started_ = true;
        cairo_surface_mark_dirty(surface_.get());
    }

    void addRoundedRect(const DrawingRect& r, double radius) {
        if (!finite(r) || !(r.width > 0) || !(r.height > 0)) return;
        const double limit = std::min(r.width, r.height) / 2;
        const double c = finite(radius) ? std::clamp(radius, 0.0, limit) : 0.0;
        if (c <= 0) {
            cairo_rectangle(cr_, r.x, r.y, r.width, r.height);
            return;
        }
        constexpr double pi = std::numbers::pi;
        cairo_new_sub_path(cr_);
        cairo_arc(cr_, r.maxX() - c, r.minY() + c, c, -pi / 2, 0);
        cairo_arc(cr_, r.maxX() - c, r.maxY() - c, c, 0, pi / 2);
        cairo_arc(cr_, r.minX() + c, r.maxY() - c, c, pi / 2, pi);
        cairo_arc(cr_, r.minX() + c, r.minY() + c, c, pi, 3 * pi / 2);
        cairo_close_path(cr_);
    }

    void addEllipse(const DrawingRect& r) {
        if (!finite(r) || !(r.width > 0) || !(r.height > 0)) return;
        cairo_new_sub_path(cr_);
        cairo_save(cr_);
        cairo_translate(cr_, r.midX(), r.midY());
        cairo_scale(cr_, r.width / 2, r.height / 2);
        cairo_arc(cr_, 0, 0, 1, 0, 2 * std::numbers::pi);
        cairo_restore(cr_);
        cairo_close_path(cr_);
    }

    void applyLineState(cairo_t* cr) const {
        cairo_set_line_width(cr, state_.lineWidth);
        switch (state_.lineCap) {
            case DrawingLineCap::butt: cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT); break;
            case DrawingLineCap::round: cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND); break;
            case DrawingLineCap::square: cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE); break;
        }
        switch (state_.lineJoin) {
            case DrawingLineJoin::miter: cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER); break;
            case DrawingLineJoin::round: cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND); break;
            case DrawingLineJoin::bevel: cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL); break;
        }
    }

    // Fills or strokes the current path (consuming it), shadow first.
    void paint(bool isStroke, DrawingColor color) {
        cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
        if (isStroke) {
            applyLineState(cr_);
            if (!(state_.lineWidth > 0)) {
                cairo_new_path(cr_);
                return;
            }
        }
        if (state_.shadow && state_.shadow->color.alpha > 0 && color.alpha > 0) drawShadow(isStroke, color.alpha);
        cairo_set_source_rgba(cr_, unit(color.red), unit(color.green), unit(color.blue), unit(color.alpha));
        if (isStroke) {
            cairo_stroke(cr_);
        } else {
            cairo_fill(cr_);
        }
    }

    // The shadow is the shape's coverage, blurred, tinted with the shadow
    // colour and weighted by the paint's alpha (a translucent panel casts a
    // lighter shadow), drawn under the shape at the offset. A positive y
    // offset moves it toward the top of the picture.
    void drawShadow(bool isStroke, double paintAlpha) {
        const DrawingShadow& shadow = *state_.shadow;
        const cairo::PathHandle pathHandle(cairo_copy_path(cr_));
        const cairo_path_t* path = pathHandle.get();
        std::string key;
        key.reserve(64 + static_cast<std::size_t>(path->num_data) * sizeof(cairo_path_data_t));
        appendBytes(key, isStroke);
        appendBytes(key, shadow.blur);
        appendBytes(key, shadow.offset);
        appendBytes(key, pixels_.width);
        appendBytes(key, pixels_.height);
        if (isStroke) {
            appendBytes(key, state_.lineWidth);
            appendBytes(key, state_.lineCap);
            appendBytes(key, state_.lineJoin);
        }
        key.append(reinterpret_cast<const char*>(path->data),
                   static_cast<std::size_t>(path->num_data) * sizeof(cairo_path_data_t));
        std::shared_ptr<const ShadowMaskCache::Mask> mask = shadows_->find(key);
        if (!mask) {
            mask = makeShadowMask(path, isStroke, shadow);
            if (mask) shadows_->store(std::move(key), mask);
        }
        if (!mask) return;

        const cairo::SurfaceHandle source = cairo::imageSurfaceOver(
            const_cast<std::uint8_t*>(mask->data.data()), CAIRO_FORMAT_A8, mask->width, mask->height, mask->stride);
        const DrawingColor& c = shadow.color;
        cairo_save(cr_);
        cairo_set_source_rgba(cr_, unit(c.red), unit(c.green), unit(c.blue), unit(c.alpha) * unit(paintAlpha));
        cairo_mask_surface(cr_, source.get(), mask->left + shadow.offset.x, mask->top - shadow.offset.y);
        cairo_restore(cr_);
    }

    // The shape's coverage blurred, with room for the blur's reach; only the
    // part that can land in the picture once offset is kept.
    std::shared_ptr<const ShadowMaskCache::Mask> makeShadowMask(const cairo_path_t* path, bool isStroke,
                                                                const DrawingShadow& shadow) const {
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        if (isStroke) {
            cairo_stroke_extents(cr_, &x0, &y0, &x1, &y1);
        } else {
            cairo_fill_extents(cr_, &x0, &y0, &x1, &y1);
        }
        if (!(x1 > x0) || !(y1 > y0)) return nullptr;
        const double blur = std::max(shadow.blur, 0.0);
        const int reach = static_cast<int>(std::ceil(2 * blur)) + 1;
        const double dx = shadow.offset.x;
        const double dy = -shadow.offset.y;
        const double left = std::max(std::floor(x0) - reach, std::floor(-dx) - 2.0 * reach);
        const double top = std::max(std::floor(y0) - reach, std::floor(-dy) - 2.0 * reach);
        const double right =
            std::min(std::ceil(x1) + reach, std::ceil(static_cast<double>(pixels_.width) - dx) + 2.0 * reach);
        const double bottom =
            std::min(std::ceil(y1) + reach, std::ceil(static_cast<double>(pixels_.height) - dy) + 2.0 * reach);
        if (!(right > left) || !(bottom > top) || right - left > 32767 || bottom - top > 32767) return nullptr;

        auto mask = std::make_shared<ShadowMaskCache::Mask>();
        mask->left = left;
        mask->top = top;
        mask->width = static_cast<int>(right - left);
        mask->height = static_cast<int>(bottom - top);
        mask->stride = cairo_format_stride_for_width(CAIRO_FORMAT_A8, mask->width);
        mask->data.assign(static_cast<std::size_t>(mask->stride) * static_cast<std::size_t>(mask->height), 0);
        const cairo::SurfaceHandle target =
            cairo::imageSurfaceOver(mask->data.data(), CAIRO_FORMAT_A8, mask->width, mask->height, mask->stride);
        cairo::ContextHandle maskHandle(cairo_create(target.get()));
        cairo_t* maskContext = maskHandle.get();
        cairo_translate(maskContext, -left, -top);
        cairo_append_path(maskContext, path);
        cairo_set_fill_rule(maskContext, CAIRO_FILL_RULE_WINDING);
        cairo_set_source_rgba(maskContext, 0, 0, 0, 1);
        if (isStroke) {
            applyLineState(maskContext);
            cairo_stroke(maskContext);
        } else {
            cairo_fill(maskContext);
        }
        const bool drawn = cairo_status(maskContext) == CAIRO_STATUS_SUCCESS;
        maskHandle.reset();
        cairo_surface_finish(target.get());
        if (!drawn) return nullptr;
        blurCoverageMask(mask->data.data(), mask->width, mask->height, mask->stride, blur / 2);
        return mask;
    }

    cairo::SurfaceHandle surface_;
    cairo::ContextHandle context_;
    cairo_t* cr_;  // context_, for brevity
    PixelBufferView pixels_;
    std::shared_ptr<const CairoFontResources> fonts_;
    std::shared_ptr<ShadowMaskCache> shadows_;
    DrawingState state_;
    std::vector<DrawingState> stack_;
    bool started_ = false;
};

}  // namespace

std::filesystem::path CairoDrawingSurfaceFactory::defaultFontFolder() { return "/usr/share/fonts/opentype/inter"; }

CairoDrawingSurfaceFactory::CairoDrawingSurfaceFactory(const std::filesystem::path& fontFolder)
    : fonts_(std::make_shared<const CairoFontResources>(fontFolder)), shadows_(std::make_shared<ShadowMaskCache>()) {}

CairoDrawingSurfaceFactory::~CairoDrawingSurfaceFactory() = default;

std::unique_ptr<DrawingSurface> CairoDrawingSurfaceFactory::makeSurface(PixelBufferView pixels) const {
    if (!pixels.isValid() || pixels.bytesPerRow % 4 != 0) return nullptr;
    if (pixels.width > 32767 || pixels.height > 32767 || pixels.bytesPerRow > INT32_MAX) return nullptr;
    const int width = static_cast<int>(pixels.width);
    const int height = static_cast<int>(pixels.height);
    const int stride = static_cast<int>(pixels.bytesPerRow);
    if (stride < cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width)) return nullptr;
    cairo::SurfaceHandle surface = cairo::imageSurfaceOver(pixels.data, CAIRO_FORMAT_ARGB32, width, height, stride);
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return std::make_unique<CairoDrawingSurface>(std::move(surface), pixels, fonts_, shadows_);
}

}  // namespace pacemark
