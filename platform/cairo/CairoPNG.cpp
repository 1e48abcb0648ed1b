#include "CairoPNG.h"

#include <algorithm>
#include <cstring>

#include "CairoHandles.h"

namespace pacemark {

void writePNGFile(const PixelBufferView& pixels, const std::filesystem::path& file) {
    if (!pixels.isValid() || pixels.bytesPerRow % 4 != 0 || pixels.width > 32767 || pixels.height > 32767) {
        throw PNGFileError("Не удалось записать PNG «" + file.string() + "»: неверный размер кадра.");
    }
    const cairo::SurfaceHandle surface =
        cairo::imageSurfaceOver(pixels.data, CAIRO_FORMAT_ARGB32, static_cast<int>(pixels.width),
                                static_cast<int>(pixels.height), static_cast<int>(pixels.bytesPerRow));
    const cairo_status_t status = cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS
                                      ? cairo_surface_write_to_png(surface.get(), file.c_str())
                                      : cairo_surface_status(surface.get());
    if (status != CAIRO_STATUS_SUCCESS) {
        throw PNGFileError("Не удалось записать PNG «" + file.string() + "»: " + cairo_status_to_string(status) + ".");
    }
}

OwnedPixelBuffer readPNGFile(const std::filesystem::path& file) {
    const cairo::SurfaceHandle png(cairo_image_surface_create_from_png(file.c_str()));
    if (cairo_surface_status(png.get()) != CAIRO_STATUS_SUCCESS) {
        throw PNGFileError("Не удалось прочитать PNG «" + file.string() + "»: файла нет или это не PNG.");
    }
    // Whatever the file's format, draw it onto ARGB32 to get premultiplied BGRA.
    // The buffer may throw (a huge picture): the handles release the PNG.
    OwnedPixelBuffer result(cairo_image_surface_get_width(png.get()), cairo_image_surface_get_height(png.get()));
    const cairo::SurfaceHandle target =
        cairo::imageSurfaceOver(result.bytes.data(), CAIRO_FORMAT_ARGB32, static_cast<int>(result.width),
                                static_cast<int>(result.height), static_cast<int>(result.width * 4));
    {
        const cairo::ContextHandle cr(cairo_create(target.get()));
        cairo_set_source_surface(cr.get(), png.get(), 0, 0);
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr.get());
    }
    cairo_surface_flush(target.get());
    return result;
}

void drawPictureToFill(const OwnedPixelBuffer& source, const PixelBufferView& target, DrawingRect rect) {
    if (source.width <= 0 || source.height <= 0 || !target.isValid() || target.bytesPerRow % 4 != 0) return;
    if (!(rect.width > 0) || !(rect.height > 0)) return;
    const cairo::SurfaceHandle from =
        cairo::imageSurfaceOver(const_cast<std::uint8_t*>(source.bytes.data()), CAIRO_FORMAT_ARGB32,
                                static_cast<int>(source.width), static_cast<int>(source.height),
                                static_cast<int>(source.width * 4));
    const cairo::SurfaceHandle to =
        cairo::imageSurfaceOver(target.data, CAIRO_FORMAT_ARGB32, static_cast<int>(target.width),
                                static_cast<int>(target.height), static_cast<int>(target.bytesPerRow));
    {
        const cairo::ContextHandle context(cairo_create(to.get()));
        cairo_t* cr = context.get();
        cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
        cairo_clip(cr);
        const double scale = std::max(rect.width / static_cast<double>(source.width),
                                      rect.height / static_cast<double>(source.height));
        cairo_translate(cr, rect.midX() - static_cast<double>(source.width) * scale / 2,
                        rect.midY() - static_cast<double>(source.height) * scale / 2);
        cairo_scale(cr, scale, scale);
        cairo_set_source_surface(cr, from.get(), 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_paint(cr);
    }
    cairo_surface_flush(to.get());
}

}  // namespace pacemark
