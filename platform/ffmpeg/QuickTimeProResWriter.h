// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "Telemetry/FrameRate.h"

namespace pacemark::ffmpeg {

// Writes a QuickTime movie with one ProRes 4444 video track in which a
// repeated frame is stored once: every repeat is another sample whose chunk
// offset points at the stored frame (one sample per chunk, so offsets may
// repeat), and every sample lasts one frame, so the frame rate stays
// constant. FFmpeg's muxer cannot write such a table, hence this writer.
//
// Layout: ftyp, wide, mdat (the samples), moov. The sample description is the
// one of the normal movie: 'ap4h', depth 32, colr BT.709 (nclc 1-1-1), fiel
// progressive, pasp 1:1. Chunk offsets go to co64 once the file passes 4 GB,
// and the mdat header takes its 64-bit form then (over the 'wide' box).
// Times: media time scale fps x 2^k (at least 10000, as the normal movie),
// movie time scale 1000; durations past 32 bits are written in the 64-bit
// form (version 1) of mvhd, tkhd, elst and mdhd. Memory: 12 bytes of index
// per frame while writing, and the index box (12 bytes per frame at most)
// when finishing. Sample counts and box sizes are 32-bit: the export
// settings keep a movie's frames within them (maximumFrameCount); beyond,
// finish() fails rather than write a wrong index.
//
// Failures throw TelemetryVideoExportError::writerFailed with the step's text
// and the system's reason. The file is not removed here: the owner does that.
class QuickTimeProResWriter {
public:
    // Creates the file and writes what precedes the first sample.
    // Frames are timed at `frameRate` (known, terms within 31 bits).
    QuickTimeProResWriter(const std::filesystem::path& path, int width, int height, FrameRate frameRate);
    ~QuickTimeProResWriter();
    QuickTimeProResWriter(const QuickTimeProResWriter&) = delete;
    QuickTimeProResWriter& operator=(const QuickTimeProResWriter&) = delete;

    // The next frame: a coded ProRes frame, appended to mdat.
    void writeSample(const std::uint8_t* data, std::size_t size);
    // The next frame repeats the last sample written (which must exist).
    void writeRepeat();
    // Writes the index and closes the file.
    void finish();

    std::uint32_t mediaTimeScale() const { return timeScale_; }

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    void write(const void* data, std::size_t size, const char* failureText);
    std::vector<std::uint8_t> movieBox() const;

    std::filesystem::path path_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    int width_;
    int height_;
    FrameRate frameRate_;
    std::uint32_t timeScale_;
    std::uint64_t position_ = 0;    // bytes written so far
    std::uint64_t mdatStart_ = 0;   // offset of the 'wide' box before mdat
    std::vector<std::uint64_t> offsets_;
    std::vector<std::uint32_t> sizes_;
};

}  // namespace pacemark::ffmpeg
