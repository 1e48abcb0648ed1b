#pragma once

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <memory>

// Owning handles for the cairo, Pango and fontconfig objects the drawing
// surface uses; each releases its object with the matching call, so no code
// path frees by hand and an exception between create and release leaks
// nothing.
namespace pacemark::cairo {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};
struct PatternDeleter {
    void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};
struct PathDeleter {
    void operator()(cairo_path_t* path) const { cairo_path_destroy(path); }
};
struct FontOptionsDeleter {
    void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};
// Pango's font maps, contexts and layouts are GObjects.
struct GObjectDeleter {
    void operator()(void* object) const { g_object_unref(object); }
};
struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* description) const { pango_font_description_free(description); }
};
struct AttributeListDeleter {
    void operator()(PangoAttrList* attributes) const { pango_attr_list_unref(attributes); }
};
struct FontConfigDeleter {
    void operator()(FcConfig* config) const { FcConfigDestroy(config); }
};

using SurfaceHandle = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextHandle = std::unique_ptr<cairo_t, ContextDeleter>;
using PatternHandle = std::unique_ptr<cairo_pattern_t, PatternDeleter>;
using PathHandle = std::unique_ptr<cairo_path_t, PathDeleter>;
using FontOptionsHandle = std::unique_ptr<cairo_font_options_t, FontOptionsDeleter>;
using FontMapHandle = std::unique_ptr<PangoFontMap, GObjectDeleter>;
using PangoContextHandle = std::unique_ptr<PangoContext, GObjectDeleter>;
using LayoutHandle = std::unique_ptr<PangoLayout, GObjectDeleter>;
using FontDescriptionHandle = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;
using AttributeListHandle = std::unique_ptr<PangoAttrList, AttributeListDeleter>;
using FontConfigHandle = std::unique_ptr<FcConfig, FontConfigDeleter>;

// An ARGB32 (premultiplied BGRA on little-endian machines) surface over
// memory the caller owns; check cairo_surface_status before drawing.
inline SurfaceHandle imageSurfaceOver(std::uint8_t* data, cairo_format_t format, int width, int height, int stride) {
    return SurfaceHandle(cairo_image_surface_create_for_data(data, format, width, height, stride));
}

}  // namespace pacemark::cairo

namespace pacemark::cairo {

// Keeps the pending path out of the way of an operation that needs its own,
// and puts it back afterwards.
class PathStash {
public:
    explicit PathStash(cairo_t* cr) : cr_(cr) {
        if (cairo_has_current_point(cr_)) saved_.reset(cairo_copy_path(cr_));
        cairo_new_path(cr_);
    }
    ~PathStash() {
        cairo_new_path(cr_);
        if (saved_) cairo_append_path(cr_, saved_.get());
    }
    PathStash(const PathStash&) = delete;
    PathStash& operator=(const PathStash&) = delete;

private:
    cairo_t* cr_;
    PathHandle saved_;
};

}  // namespace pacemark::cairo
