// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <memory>

// Owning handles for the cairo, Pango and fontconfig objects the drawing
// surface uses; each releases its object with the matching call, so no code
// path frees by hand and an exception between create and release leaks
// nothing.
namespace pacemark::cairo {

// Releases an object with the C function `release` (destroy, free or unref).
template <auto release>
struct Releaser {
    template <typename T>
    void operator()(T* object) const {
        release(object);
    }
};

using SurfaceHandle = std::unique_ptr<cairo_surface_t, Releaser<cairo_surface_destroy>>;
using ContextHandle = std::unique_ptr<cairo_t, Releaser<cairo_destroy>>;
using PatternHandle = std::unique_ptr<cairo_pattern_t, Releaser<cairo_pattern_destroy>>;
using PathHandle = std::unique_ptr<cairo_path_t, Releaser<cairo_path_destroy>>;
using FontOptionsHandle = std::unique_ptr<cairo_font_options_t, Releaser<cairo_font_options_destroy>>;
// Pango's font maps, contexts and layouts are GObjects.
using FontMapHandle = std::unique_ptr<PangoFontMap, Releaser<g_object_unref>>;
using PangoContextHandle = std::unique_ptr<PangoContext, Releaser<g_object_unref>>;
using LayoutHandle = std::unique_ptr<PangoLayout, Releaser<g_object_unref>>;
using FontDescriptionHandle = std::unique_ptr<PangoFontDescription, Releaser<pango_font_description_free>>;
using AttributeListHandle = std::unique_ptr<PangoAttrList, Releaser<pango_attr_list_unref>>;
using FontConfigHandle = std::unique_ptr<FcConfig, Releaser<FcConfigDestroy>>;

// An image surface of `format` over memory the caller owns (ARGB32 is
// premultiplied B, G, R, A bytes on little-endian machines); check
// cairo_surface_status before drawing.
inline SurfaceHandle imageSurfaceOver(std::uint8_t* data, cairo_format_t format, int width, int height, int stride) {
    return SurfaceHandle(cairo_image_surface_create_for_data(data, format, width, height, stride));
}


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
