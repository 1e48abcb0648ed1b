// SPDX-License-Identifier: GPL-3.0-or-later
#include "QuickTimeProResWriter.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "Export/TelemetryVideoExportError.h"
#include "FFmpegFile.h"

extern "C" {
#include <libavutil/error.h>
}

namespace pacemark::ffmpeg {
namespace {

// Large sequential writes: coded frames are hundreds of kilobytes.
constexpr std::size_t kFileBufferBytes = 4 << 20;

TelemetryVideoExportError fileFailure(std::string fixedText, int errorNumber) {
    return TelemetryVideoExportError::writerFailed(failureText(std::move(fixedText), errorNumber > 0 ? AVERROR(errorNumber) : 0));
}

// Big-endian box building.
class BoxWriter {
public:
    void u8(std::uint32_t v) { bytes_.push_back(static_cast<std::uint8_t>(v)); }
    void u16(std::uint32_t v) { u8(v >> 8), u8(v); }
    void u32(std::uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); }
    void u64(std::uint64_t v) { u32(static_cast<std::uint32_t>(v >> 32)), u32(static_cast<std::uint32_t>(v)); }
    void type(const char* fourCC) { bytes_.insert(bytes_.end(), fourCC, fourCC + 4); }
    void zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void matrix() {
        // The identity transformation: 1, 1 (16.16) and 1 (2.30).
        const std::uint32_t values[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
        for (const auto v : values) u32(v);
    }
    // Opens a box; close() writes its size.
    std::size_t open(const char* fourCC) {
        const std::size_t start = bytes_.size();
        u32(0);
        type(fourCC);
        return start;
    }
    std::size_t openFull(const char* fourCC, std::uint32_t versionAndFlags) {
        const std::size_t start = open(fourCC);
        u32(versionAndFlags);
        return start;
    }
    // The export settings bound a movie's frames so that its index fits
    // 32-bit box sizes (TelemetryExportSettings::maximumFrameCount).
    void close(std::size_t start) {
        if (bytes_.size() - start > 0xFFFFFFFFu) {
            throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::finishFailedText);
        }
        const auto size = static_cast<std::uint32_t>(bytes_.size() - start);
        for (int i = 0; i < 4; ++i) bytes_[start + std::size_t(i)] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
    }
    // A QuickTime handler name: a length byte and the text.
    void pascalString(const std::string& text) {
        u8(static_cast<std::uint32_t>(text.size()));
        bytes_.insert(bytes_.end(), text.begin(), text.end());
    }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

void handler(BoxWriter& w, const char* componentType, const char* subtype, const std::string& name) {
    const auto box = w.openFull("hdlr", 0);
    w.type(componentType);
    w.type(subtype);
    w.zeros(12);  // manufacturer, flags, flags mask
    w.pascalString(name);
    w.close(box);
}

}  // namespace

QuickTimeProResWriter::QuickTimeProResWriter(const std::filesystem::path& path, int width, int height,
                                             FrameRate frameRate)
    : path_(path), width_(width), height_(height), frameRate_(frameRate) {
    // Frame i is at i × D / N seconds: the time scale is N, doubled up to
    // 10000 units a second as FFmpeg's muxer does, and every sample lasts D
    // of N's units (1001 of 30000 at 29.97).
    if (!frameRate.isKnown() || frameRate.numerator() > 0x7FFFFFFF || frameRate.denominator() > 0x7FFFFFFF) {
        throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::startFailedText);
    }
    timeScale_ = static_cast<std::uint32_t>(frameRate.numerator());
    while (timeScale_ < 10000) timeScale_ *= 2;
    errno = 0;
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (!file_) throw fileFailure(TelemetryVideoExportError::startFailedText, errno);
    std::setvbuf(file_.get(), nullptr, _IOFBF, kFileBufferBytes);

    BoxWriter head;
    const auto ftyp = head.open("ftyp");
    head.type("qt  ");
    head.u32(0x200);
    head.type("qt  ");
    head.close(ftyp);
    mdatStart_ = head.bytes().size();
    // 'wide' reserves the room a 64-bit mdat header needs.
    head.u32(8);
    head.type("wide");
    head.u32(0);
    head.type("mdat");
    write(head.bytes().data(), head.bytes().size(), TelemetryVideoExportError::startFailedText);
}

QuickTimeProResWriter::~QuickTimeProResWriter() = default;

void QuickTimeProResWriter::write(const void* data, std::size_t size, const char* failureText) {
    errno = 0;
    if (!file_ || std::fwrite(data, 1, size, file_.get()) != size) throw fileFailure(failureText, errno);
    position_ += size;
}

void QuickTimeProResWriter::writeSample(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    offsets_.push_back(position_);
    sizes_.push_back(static_cast<std::uint32_t>(size));
    write(data, size, TelemetryVideoExportError::appendFailedText);
}

void QuickTimeProResWriter::writeRepeat() {
    if (offsets_.empty()) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::appendFailedText);
    offsets_.push_back(offsets_.back());
    sizes_.push_back(sizes_.back());
}

void QuickTimeProResWriter::finish() {
    const char* failure = TelemetryVideoExportError::finishFailedText;
    if (!file_ || offsets_.empty()) throw TelemetryVideoExportError::writerFailed(failure);
    const std::uint64_t mdatEnd = position_;
    const std::vector<std::uint8_t> moov = movieBox();
    write(moov.data(), moov.size(), failure);

    // The mdat header: 32-bit after 'wide', or 64-bit over it.
    BoxWriter header;
    const std::uint64_t mdatSize = mdatEnd - (mdatStart_ + 8);
    if (mdatSize <= 0xFFFFFFFFu) {
        header.u32(8);
        header.type("wide");
        header.u32(static_cast<std::uint32_t>(mdatSize));
        header.type("mdat");
    } else {
        header.u32(1);
        header.type("mdat");
        header.u64(mdatEnd - mdatStart_);
    }
    errno = 0;
    if (std::fseek(file_.get(), static_cast<long>(mdatStart_), SEEK_SET) != 0) throw fileFailure(failure, errno);
    write(header.bytes().data(), header.bytes().size(), failure);
    errno = 0;
    std::FILE* file = file_.release();
    if (std::fflush(file) != 0 || std::fclose(file) != 0) throw fileFailure(failure, errno);
}

std::vector<std::uint8_t> QuickTimeProResWriter::movieBox() const {
    const auto frames = static_cast<std::uint64_t>(offsets_.size());
    const std::uint64_t scaledDuration =
        std::uint64_t(timeScale_ / std::uint64_t(frameRate_.numerator())) * std::uint64_t(frameRate_.denominator());
    if (scaledDuration > 0xFFFFFFFFu) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::finishFailedText);
    const auto frameDuration = static_cast<std::uint32_t>(scaledDuration);
    const std::uint64_t mediaDuration = frames * frameDuration;
    const std::uint64_t movieDuration = (mediaDuration * 1000 + timeScale_ / 2) / timeScale_;
    // Durations past 32 bits take the boxes' version 1, with 64-bit times
    // (the media time scale is 10000-20000 units a second, so a movie of 60
    // to 120 hours and more); shorter movies keep version 0, as FFmpeg's
    // muxer does.
    const bool longMedia = mediaDuration > 0xFFFFFFFFu;
    const bool longMovie = movieDuration > 0xFFFFFFFFu;
    if (frames > 0xFFFFFFFFu) throw TelemetryVideoExportError::writerFailed(TelemetryVideoExportError::finishFailedText);

    BoxWriter w;
    const auto duration = [&w](bool wide, std::uint64_t value) {
        if (wide) return w.u64(value);
        w.u32(static_cast<std::uint32_t>(value));
    };
    // Creation and modification times (zero), as wide as the duration.
    const auto times = [&w](bool wide) { w.zeros(wide ? 16 : 8); };

    const auto moov = w.open("moov");
    const auto mvhd = w.openFull("mvhd", longMovie ? 0x01000000 : 0);
    times(longMovie);
    w.u32(1000);
    duration(longMovie, movieDuration);
    w.u32(0x10000);  // rate 1.0
    w.u16(0x100);    // volume 1.0
    w.zeros(10);
    w.matrix();
    w.zeros(24);  // preview, poster, selection and current times
    w.u32(2);     // next track id
    w.close(mvhd);

    const auto trak = w.open("trak");
    const auto tkhd = w.openFull("tkhd", (longMovie ? 0x01000000 : 0) | 3);  // enabled, in movie
    times(longMovie);
    w.u32(1);  // track id
    w.zeros(4);
    duration(longMovie, movieDuration);
    w.zeros(8);
    w.zeros(8);  // layer, alternate group, volume, reserved
    w.matrix();
    w.u32(static_cast<std::uint32_t>(width_) << 16);
    w.u32(static_cast<std::uint32_t>(height_) << 16);
    w.close(tkhd);
    const auto edts = w.open("edts");
    const auto elst = w.openFull("elst", longMovie ? 0x01000000 : 0);
    w.u32(1);
    duration(longMovie, movieDuration);
    duration(longMovie, 0);  // media time
    w.u32(0x10000);          // rate 1.0
    w.close(elst);
    w.close(edts);

    const auto mdia = w.open("mdia");
    const auto mdhd = w.openFull("mdhd", longMedia ? 0x01000000 : 0);
    times(longMedia);
    w.u32(timeScale_);
    duration(longMedia, mediaDuration);
    w.u16(0x7FFF);  // language: unspecified
    w.u16(0);       // quality
    w.close(mdhd);
    handler(w, "mhlr", "vide", "VideoHandler");
    const auto minf = w.open("minf");
    const auto vmhd = w.openFull("vmhd", 1);
    w.zeros(8);  // graphics mode copy, opcolor
    w.close(vmhd);
    handler(w, "dhlr", "url ", "DataHandler");
    const auto dinf = w.open("dinf");
    const auto dref = w.openFull("dref", 0);
    w.u32(1);
    const auto url = w.openFull("url ", 1);  // the data is in this file
    w.close(url);
    w.close(dref);
    w.close(dinf);

    const auto stbl = w.open("stbl");
    const auto stsd = w.openFull("stsd", 0);
    w.u32(1);
    const auto entry = w.open("ap4h");
    w.zeros(6);
    w.u16(1);  // data reference index
    w.u16(0);  // version
    w.u16(0);  // revision
    w.type("FFMP");  // vendor: the frames come from FFmpeg's ProRes encoder
    w.u32(0x200);    // temporal quality
    w.u32(0x200);    // spatial quality
    w.u16(static_cast<std::uint32_t>(width_));
    w.u16(static_cast<std::uint32_t>(height_));
    w.u32(0x480000);  // 72 dpi
    w.u32(0x480000);
    w.u32(0);  // data size
    w.u16(1);  // frames per sample
    const std::string compressor = "Apple ProRes 4444";
    w.pascalString(compressor);
    w.zeros(31 - compressor.size());
    w.u16(32);      // depth: colour with alpha
    w.u16(0xFFFF);  // no colour table
    const auto fiel = w.open("fiel");
    w.u8(1);  // progressive
    w.u8(0);
    w.close(fiel);
    const auto colr = w.open("colr");
    w.type("nclc");
    w.u16(1);  // BT.709 primaries, transfer function and matrix
    w.u16(1);
    w.u16(1);
    w.close(colr);
    const auto pasp = w.open("pasp");
    w.u32(1);
    w.u32(1);
    w.close(pasp);
    w.close(entry);
    w.close(stsd);

    const auto stts = w.openFull("stts", 0);
    w.u32(1);
    w.u32(static_cast<std::uint32_t>(frames));
    w.u32(frameDuration);
    w.close(stts);
    const auto stsc = w.openFull("stsc", 0);
    w.u32(1);
    w.u32(1);  // from the first chunk on:
    w.u32(1);  // one sample per chunk
    w.u32(1);
    w.close(stsc);
    const auto stsz = w.openFull("stsz", 0);
    w.u32(0);
    w.u32(static_cast<std::uint32_t>(frames));
    for (const auto size : sizes_) w.u32(size);
    w.close(stsz);
    const bool wide = !offsets_.empty() && offsets_.back() > 0xFFFFFFFFu;
    const auto stco = w.openFull(wide ? "co64" : "stco", 0);
    w.u32(static_cast<std::uint32_t>(frames));
    for (const auto offset : offsets_) wide ? w.u64(offset) : w.u32(static_cast<std::uint32_t>(offset));
    w.close(stco);
    w.close(stbl);
    w.close(minf);
    w.close(mdia);
    w.close(trak);
    w.close(moov);
    return w.bytes();
}

}  // namespace pacemark::ffmpeg
