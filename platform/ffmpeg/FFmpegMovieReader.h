// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "Camera/ClipFacts.h"
#include "PacemarkError.h"
#include "Rendering/PixelBuffer.h"

namespace pacemark {

// A decoded picture: B, G, R, A bytes per pixel, premultiplied and opaque
// (alpha 255 everywhere), rows of width × 4 bytes, row 0 at the top. A plain
// value; the UI wraps `pixels` (e.g. as a premultiplied ARGB32 image) while it
// holds the value.
struct MovieImage {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> pixels;

    std::int64_t bytesPerRow() const { return width * 4; }
    bool isEmpty() const { return width <= 0 || height <= 0; }
    PixelBufferView view() { return {pixels.data(), width, height, bytesPerRow()}; }
    bool operator==(const MovieImage&) const = default;
};

// One metadata entry of a movie. `identifier` says where it was found
// ("format/<key>" for the container, "stream/<index>/<key>" for a track);
// `key` is the entry's own name as the demuxer reports it: QuickTime `mdta`
// keys verbatim (com.apple.quicktime.location.ISO6709, ...creationdate), the
// `©xyz` user-data location as "location", the movie header date as
// "creation_time".
struct MovieMetadataItem {
    std::string identifier;
    std::string key;
    std::string stringValue;
    bool operator==(const MovieMetadataItem&) const = default;
};

// Failure to read a movie; the description names the file and the reason in Russian.
class MovieReaderError : public PacemarkError {
public:
    enum class Case { unreadable, noVideoStream, unsupportedCodec, noFrame };
    MovieReaderError(Case errorCase, const std::filesystem::path& path, const std::string& reason = {});
    Case errorCase() const { return case_; }

private:
    Case case_;
};

// Reads a movie file with FFmpeg: duration, metadata, and decoded frames of
// its main video track, turned upright by the track's display matrix and
// scaled to fit a maximum size (never enlarged, pixel aspect applied). Audio
// is never decoded.
//
// One reader is used by one thread at a time; separate readers of the same
// file are independent. Only local files are opened (no network protocols).
class FFmpegMovieReader {
public:
    // Opens the file and its video decoder; throws MovieReaderError. Once
    // `stopToken` is stopped, pending and later file reads give up at once:
    // opening fails and decoding ends as if the file ended.
    explicit FFmpegMovieReader(const std::filesystem::path& path, std::stop_token stopToken = {});
    ~FFmpegMovieReader();
    FFmpegMovieReader(FFmpegMovieReader&&) noexcept;
    FFmpegMovieReader& operator=(FFmpegMovieReader&&) noexcept;
    FFmpegMovieReader(const FFmpegMovieReader&) = delete;
    FFmpegMovieReader& operator=(const FFmpegMovieReader&) = delete;

    const std::filesystem::path& path() const;

    // Seconds; NaN when the container states no duration.
    double durationSeconds() const;
    // Container items first, then each stream's in stream order; within each
    // group in the order the file stores them.
    std::vector<MovieMetadataItem> metadataItems() const;

    // The video track's exact frame rate, frame count, upright size and duration.
    ClipFacts clipFacts() const;
    // The camera's metadata track ("gpmd" samples) with each sample's time
    // from the video track's start; nothing when the movie has none. Reads
    // through its own handle, so playback and still frames are not disturbed.
    // Throws MovieReaderError when the file cannot be read again or the
    // track is implausibly large.
    std::optional<CameraMetadataTrack> cameraMetadataTrack() const;

    // Clockwise rotation (0, 90, 180 or 270) that turns decoded pictures upright.
    int rotationDegrees() const;
    // Upright size with the pixel aspect applied, before any fitting.
    std::int64_t displayWidth() const;
    std::int64_t displayHeight() const;

    // The frame on screen at `seconds` (the last one starting at or before it;
    // the last frame for times past the end). Throws MovieReaderError when no
    // frame can be decoded.
    MovieImage stillFrame(double seconds, std::int64_t maximumWidth, std::int64_t maximumHeight);

    // Sequential decoding for playback. seek() positions at the key frame at or
    // before `seconds`; decodeNextFrame() decodes the next frame and returns its
    // presentation time (seconds from the track start) or nothing at the end;
    // currentFrameImage() converts that frame. Frames not converted cost only
    // their decoding, which is how a late player drops them.
    void seek(double seconds);
    std::optional<double> decodeNextFrame();
    double currentFrameDurationSeconds() const;
    MovieImage currentFrameImage(std::int64_t maximumWidth, std::int64_t maximumHeight);
    // Lets the decoder skip frames nothing else refers to and its loop
    // filter, to catch up.
    void setSkipsNonReferenceFrames(bool skips);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pacemark
