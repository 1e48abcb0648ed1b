// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "FileDescriptor.h"

namespace pacemark {

// Random access to the bytes of a movie: a file, or memory in tests and
// fuzzing. read() throws MovieCheckError when the range is not there.
class MovieByteSource {
public:
    virtual ~MovieByteSource() = default;
    virtual std::uint64_t size() const = 0;
    virtual void read(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
};

class MemoryMovieSource final : public MovieByteSource {
public:
    explicit MemoryMovieSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    void read(std::uint64_t offset, std::span<std::uint8_t> into) override;

private:
    std::span<const std::uint8_t> bytes_;
};

class FileMovieSource final : public MovieByteSource {
public:
    // Throws FileReadError when the file cannot be opened or is not a
    // regular file (a named pipe or a device is refused without blocking).
    explicit FileMovieSource(const std::filesystem::path& path);
    std::uint64_t size() const override { return size_; }
    void read(std::uint64_t offset, std::span<std::uint8_t> into) override;

private:
    std::uint64_t size_ = 0;  // before file_: its opening sets the size
    FileDescriptor file_;
};

// The first video track of a QuickTime movie, as far as checking its coded
// frames needs: the sample entry and where each sample lies.
struct QuickTimeVideoTrack {
    struct Box {
        std::string type;
        std::vector<std::uint8_t> payload;  // after the box header
    };
    struct Sample {
        std::uint64_t offset = 0;
        std::uint32_t size = 0;
    };
    // One run of the time-to-sample table: `count` samples of `duration` each.
    struct DurationRun {
        std::uint32_t count = 0;
        std::uint32_t duration = 0;
        bool operator==(const DurationRun&) const = default;
    };

    std::string format;                    // the sample entry's four-character code ('ap4h', 'hvc1', ...)
    std::vector<std::uint8_t> sampleEntry;  // the whole sample entry box, header included
    int width = 0;                          // of the sample entry
    int height = 0;
    int depth = 0;
    std::vector<Box> extensions;  // boxes inside the sample entry ('colr', 'fiel', 'pasp', 'hvcC', ...)
    std::vector<Sample> samples;  // in decoding order
    // The media header's units per second; 0 when the track has no 'mdhd'.
    std::uint32_t timeScale = 0;
    // The 'stts' table as stored (runs in decoding order); empty when absent.
    std::vector<DurationRun> sampleDurations;
    bool hasMediaHeader = false;
    bool hasDurationTable = false;

    const Box* extension(const std::string& type) const;
};

// Reads the box structure of a QuickTime movie (moov, trak, mdia: mdhd,
// minf, stbl: stsd, stsz, stsc, stco/co64, stts) strictly: every box must lie inside its
// parent and every sample inside the file. Throws MovieCheckError.
QuickTimeVideoTrack readQuickTimeVideoTrack(MovieByteSource& source);

}  // namespace pacemark
