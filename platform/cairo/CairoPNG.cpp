#include "CairoPNG.h"

#include <cairo.h>

#include <cstring>

namespace pacemark {

void writePNGFile(const PixelBufferView& pixels, const std::filesystem::path& file) {
    if (!pixels.isValid() || pixels.bytesPerRow % 4 != 0 || pixels.width > 32767 || pixels.height > 32767) {
        throw PNGFileError("Не удалось записать PNG «" + file.string() + "»: неверный размер кадра.");
    }
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(pixels.data, CAIRO_FORMAT_ARGB32, static_cast<int>(pixels.width),
                                            static_cast<int>(pixels.height), static_cast<int>(pixels.bytesPerRow));
    const cairo_status_t status = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS
                                      ? cairo_surface_write_to_png(surface, file.c_str())
                                      : cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        throw PNGFileError("Не удалось записать PNG «" + file.string() + "»: " + cairo_status_to_string(status) + ".");
    }
}

OwnedPixelBuffer readPNGFile(const std::filesystem::path& file) {
    cairo_surface_t* png = cairo_image_surface_create_from_png(file.c_str());
    if (cairo_surface_status(png) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(png);
        throw PNGFileError("Не удалось прочитать PNG «" + file.string() + "»: файла нет или это не PNG.");
    }
    // Whatever the file's format, draw it onto ARGB32 to get premultiplied BGRA.
    OwnedPixelBuffer result(cairo_image_surface_get_width(png), cairo_image_surface_get_height(png));
    cairo_surface_t* target = cairo_image_surface_create_for_data(result.bytes.data(), CAIRO_FORMAT_ARGB32,
                                                                  static_cast<int>(result.width),
                                                                  static_cast<int>(result.height),
                                                                  static_cast<int>(result.width * 4));
    cairo_t* cr = cairo_create(target);
    cairo_set_source_surface(cr, png, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(target);
    cairo_surface_destroy(target);
    cairo_surface_destroy(png);
    return result;
}

}  // namespace pacemark
