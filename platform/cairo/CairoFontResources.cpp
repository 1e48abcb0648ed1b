// SPDX-License-Identifier: GPL-3.0-or-later
#include "CairoFontResources.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>

#include "CairoDrawingSurface.h"

namespace pacemark {
namespace {

std::atomic<std::uint64_t> nextFontResourcesId{1};

double unit(double value) { return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0; }

// One Pango font map and context per thread, for the resources of `owner`.
struct ThreadTextContext {
    std::uint64_t owner = 0;
    cairo::FontMapHandle fontMap;
    cairo::PangoContextHandle context;

    void release() {
        context.reset();
        fontMap.reset();
        owner = 0;
    }
};

thread_local ThreadTextContext threadText;

PangoWeight pangoWeight(DrawingFontWeight weight) {
    switch (weight) {
        case DrawingFontWeight::medium: return PANGO_WEIGHT_MEDIUM;
        case DrawingFontWeight::semibold: return PANGO_WEIGHT_SEMIBOLD;
        case DrawingFontWeight::bold: return PANGO_WEIGHT_BOLD;
        case DrawingFontWeight::heavy: return PANGO_WEIGHT_ULTRABOLD;
    }
    return PANGO_WEIGHT_SEMIBOLD;
}

}  // namespace

CairoFontResources::CairoFontResources(const std::filesystem::path& fontFolder) {
    // An empty configuration: no system font folders, no user settings, only
    // the files added below.
    config_.reset(FcConfigCreate());
    if (!config_) throw DrawingFontError(fontFolder);
    for (const char* name : {"Inter-Medium.otf", "Inter-SemiBold.otf", "Inter-Bold.otf", "Inter-ExtraBold.otf"}) {
        const std::filesystem::path file = fontFolder / name;
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error) ||
            !FcConfigAppFontAddFile(config_.get(), reinterpret_cast<const FcChar8*>(file.c_str()))) {
            throw DrawingFontError(file);
        }
    }
    id_ = nextFontResourcesId.fetch_add(1);
}

PangoContext* CairoFontResources::threadContext() const {
    if (threadText.owner == id_ && threadText.context) return threadText.context.get();
    threadText.release();
    cairo::FontMapHandle fontMap(pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT));
    if (!fontMap) return nullptr;
    pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(fontMap.get()), config_.get());
    cairo::PangoContextHandle context(pango_font_map_create_context(fontMap.get()));
    // Unhinted outlines at fractional positions: the same shapes at any size
    // and place, and no dependence on the machine's font settings.
    const cairo::FontOptionsHandle options(cairo_font_options_create());
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context.get(), options.get());
    pango_context_set_round_glyph_positions(context.get(), FALSE);
    threadText.owner = id_;
    threadText.fontMap = std::move(fontMap);
    threadText.context = std::move(context);
    return threadText.context.get();
}

void CairoFontResources::drawLine(cairo_t* cr, std::string_view text, DrawingRect rect, DrawingFont font,
                                  DrawingColor color, DrawingTextAlignment alignment) const {
    PangoContext* context = threadContext();
    if (!context) return;
    pango_cairo_update_context(cr, context);

    // One line: line breaks are shown as spaces.
    std::string line(text);
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');

    const cairo::LayoutHandle layoutHandle(pango_layout_new(context));
    PangoLayout* layout = layoutHandle.get();
    const auto setFontSize = [&](double size) {
        const cairo::FontDescriptionHandle description(pango_font_description_new());
        pango_font_description_set_family_static(description.get(), "Inter");
        pango_font_description_set_weight(description.get(), pangoWeight(font.weight));
        pango_font_description_set_absolute_size(description.get(), size * PANGO_SCALE);
        pango_layout_set_font_description(layout, description.get());
    };
    setFontSize(font.size);
    if (font.monospacedDigits) {
        const cairo::AttributeListHandle attributes(pango_attr_list_new());
        pango_attr_list_insert(attributes.get(), pango_attr_font_features_new("tnum"));
        pango_layout_set_attributes(layout, attributes.get());
    }
    pango_layout_set_single_paragraph_mode(layout, TRUE);

    // Shrink a line that does not fit, keeping its baseline where the
    // full-size line would have it.
    double baselineShift = 0;
    const double minimumScale =
        std::isfinite(font.minimumScaleFactor) ? std::clamp(font.minimumScaleFactor, 0.05, 1.0) : 1.0;
    if (minimumScale < 1.0) {
        pango_layout_set_text(layout, line.data(), static_cast<int>(line.size()));
        PangoRectangle logical;
        pango_layout_get_extents(layout, nullptr, &logical);
        const double naturalWidth = static_cast<double>(logical.width) / PANGO_SCALE;
        if (naturalWidth > rect.width) {
            const double fullBaseline = static_cast<double>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
            setFontSize(font.size * std::max(rect.width / naturalWidth * 0.999, minimumScale));
            baselineShift = fullBaseline - static_cast<double>(pango_layout_get_baseline(layout)) / PANGO_SCALE;
        }
    }
    pango_layout_set_width(layout, static_cast<int>(std::min(rect.width, 1.0e6) * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    switch (alignment) {
        case DrawingTextAlignment::left: pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT); break;
        case DrawingTextAlignment::center: pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER); break;
        case DrawingTextAlignment::right: pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT); break;
    }
    pango_layout_set_text(layout, line.data(), static_cast<int>(line.size()));

    cairo::PathStash stash(cr);
    cairo_save(cr);
    cairo_set_source_rgba(cr, unit(color.red), unit(color.green), unit(color.blue), unit(color.alpha));
    cairo_move_to(cr, rect.x, rect.y + baselineShift);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
}

}  // namespace pacemark
