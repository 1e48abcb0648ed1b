// SPDX-License-Identifier: GPL-3.0-or-later
#include "CairoPNG.h"

#include <cairo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "CairoHandles.h"
#include "Export/ExportDestination.h"
#include "Export/ExportTemporaryFile.h"

namespace pacemark {

namespace {

// The temporary file that a PNG is written into, beside the destination.
// cairo reports every failure of its own file writing as "error while
// writing to output stream"; writing through our descriptor keeps the
// system's reason (no such folder, no permission, disk full). The file is
// removed unless it was moved into place.
class PNGOutputFile {
public:
    explicit PNGOutputFile(const std::filesystem::path& destination)
        : path_(ExportTemporaryFile::nameFor(destination)),
          descriptor_(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666)),
          errorNumber_(descriptor_ < 0 ? errno : 0) {}
    ~PNGOutputFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
        if (!moved_ && errorNumber_ != EEXIST) ::unlink(path_.c_str());
    }
    PNGOutputFile(const PNGOutputFile&) = delete;
    PNGOutputFile& operator=(const PNGOutputFile&) = delete;

    bool isOpen() const { return descriptor_ >= 0; }
    int errorNumber() const { return errorNumber_; }

    // cairo's write function: every byte is written, or the reason is kept.
    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length) {
        auto* self = static_cast<PNGOutputFile*>(closure);
        while (length > 0) {
            const ssize_t count = ::write(self->descriptor_, data, length);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) {
                self->errorNumber_ = count < 0 ? errno : EIO;
                return CAIRO_STATUS_WRITE_ERROR;
            }
            data += count;
            length -= static_cast<unsigned int>(count);
        }
        return CAIRO_STATUS_SUCCESS;
    }

    // Closes the file; a failure here (a delayed write error) counts too.
    bool close() {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        if (::close(descriptor) != 0 && errorNumber_ == 0) errorNumber_ = errno;
        return errorNumber_ == 0;
    }

    // Renames the finished file over `destination`; false with the reason
    // kept when the rename fails.
    bool moveInto(const std::filesystem::path& destination) {
        if (::rename(path_.c_str(), destination.c_str()) != 0) {
            errorNumber_ = errno;
            return false;
        }
        moved_ = true;
        return true;
    }

private:
    std::filesystem::path path_;
    int descriptor_;
    int errorNumber_;
    bool moved_ = false;
};

PNGFileError writeError(const std::filesystem::path& file, int errorNumber) {
    if (errorNumber == ENOMEM) return PNGFileError(outOfMemoryDescription());
    return PNGFileError("Не удалось записать PNG «" + file.string() + "»: " + systemErrorReason(errorNumber) + ".");
}

PNGFileError writeError(const std::filesystem::path& file, const std::string& reason) {
    return PNGFileError("Не удалось записать PNG «" + file.string() + "»: " + reason + ".");
}

}  // namespace

void writePNGFile(const PixelBufferView& pixels, const std::filesystem::path& file) {
    if (!pixels.isValid() || pixels.bytesPerRow % 4 != 0 || pixels.width > 32767 || pixels.height > 32767) {
        throw writeError(file, "неверный размер кадра");
    }
    // Never over a device, a FIFO or a folder, whoever called.
    if (const auto refusal = ExportDestination::replacementError(file)) throw PNGFileError(*refusal);
    PNGOutputFile output(file);
    if (!output.isOpen()) throw writeError(file, output.errorNumber());
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    {
        const cairo::SurfaceHandle surface =
            cairo::imageSurfaceOver(pixels.data, CAIRO_FORMAT_ARGB32, static_cast<int>(pixels.width),
                                    static_cast<int>(pixels.height), static_cast<int>(pixels.bytesPerRow));
        status = cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS
                     ? cairo_surface_write_to_png_stream(surface.get(), &PNGOutputFile::write, &output)
                     : cairo_surface_status(surface.get());
    }
    const bool closed = output.close();
    if (status == CAIRO_STATUS_SUCCESS && closed) {
        // Checked again at the last moment: the name may have changed hands.
        if (const auto refusal = ExportDestination::replacementError(file)) throw PNGFileError(*refusal);
        if (output.moveInto(file)) return;
    }
    if (output.errorNumber() != 0) throw writeError(file, output.errorNumber());
    if (status == CAIRO_STATUS_NO_MEMORY) throw writeError(file, ENOMEM);
    // Any other status is a fault of the drawing library, told by number (its
    // own text is English).
    throw writeError(file, "ошибка библиотеки рисования (код " + std::to_string(int(status)) + ")");
}

OwnedPixelBuffer readPNGFile(const std::filesystem::path& file) {
    // A FIFO without a writer would block the read for ever, a device never end.
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        throw PNGFileError("Не удалось прочитать PNG «" + file.string() + "»: " + systemErrorReason(errno) + ".");
    }
    if (!S_ISREG(status.st_mode)) {
        throw PNGFileError("Не удалось прочитать PNG «" + file.string() + "»: это не обычный файл.");
    }
    const cairo::SurfaceHandle png(cairo_image_surface_create_from_png(file.c_str()));
    if (cairo_surface_status(png.get()) == CAIRO_STATUS_NO_MEMORY) throw PNGFileError(outOfMemoryDescription());
    if (cairo_surface_status(png.get()) != CAIRO_STATUS_SUCCESS) {
        throw PNGFileError("Не удалось прочитать PNG «" + file.string() + "»: это не PNG или файл повреждён.");
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
