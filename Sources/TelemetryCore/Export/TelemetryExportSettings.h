// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "Export/MovieWriter.h"
#include "Export/TelemetryVideoCodec.h"
#include "Telemetry/FrameRate.h"
#include "Telemetry/TelemetryMotion.h"

namespace pacemark {

// What the user chooses for a movie: picture size, frame rate and codec. The
// one owner of the export's rules: the valid ranges with the Russian text of a
// choice outside them, the defaults, the output file name, and the settings a
// movie writer is opened with. The window and the command-line tool validate
// through it before an export starts; the exporter itself trusts its caller
// (tests drive it with tiny pictures) and only keeps the timing rate at 1 or more.
struct TelemetryExportSettings {
    static constexpr std::int64_t defaultWidth = 1920;
    static constexpr std::int64_t defaultHeight = 1080;
    static constexpr FrameRate defaultFrameRate = 30;
    static constexpr TelemetryVideoCodec::Value defaultCodec = TelemetryVideoCodec::hevcWithAlpha;

    // Picture sides are even (4:2:0 colour in HEVC halves both) and at least
    // 16 for any codec (a single frame picture, for instance); each codec may need more.
    static constexpr std::int64_t smallestSidePixels = 16;
    // No codec takes a side above this; each codec may take less.
    static constexpr std::int64_t largestSidePixels = 16384;
    // Any exact rate from 1 to 240 frames a second is valid, whole or not.
    static constexpr std::int64_t minimumFramesPerSecond = 1;
    static constexpr std::int64_t maximumFramesPerSecond = 240;
    // The rates the window's picker and --fps offer: the whole ones and the
    // NTSC ones cameras record (23.976, 29.97, 59.94).
    static constexpr std::array<FrameRate, 8> offeredFrameRates = {
        FrameRate(24000, 1001), FrameRate(24), FrameRate(25), FrameRate(30000, 1001),
        FrameRate(30),          FrameRate(50), FrameRate(60000, 1001), FrameRate(60)};
    // The picture sizes the window's picker offers, in its order: what cameras
    // record (2704 × 1520 is action cameras' 2.7K) and phones film upright.
    // Any other even size within the codec's sides is accepted too.
    struct PictureSize {
        std::int64_t width;
        std::int64_t height;
        bool isPortrait() const { return height > width; }
    };
    static constexpr std::array<PictureSize, 6> offeredSizes = {
        {{1280, 720}, {1920, 1080}, {2560, 1440}, {2704, 1520}, {3840, 2160}, {1080, 1920}}};

    // Motion: the sample in force unless the user asks for smooth motion,
    // which then updates this often (activity time); the window offers these
    // rates, TelemetryMotion::everyFrame last. Any rate from 1 to
    // maximumFramesPerSecond, or every frame, is valid.
    static constexpr std::int64_t defaultMotionUpdatesPerSecond = 10;
    static constexpr std::array<std::int64_t, 4> offeredMotionUpdatesPerSecond = {5, 10, 15,
                                                                                  TelemetryMotion::everyFrame};
    static constexpr TelemetryMotion defaultMotion{TelemetryMotionMode::steps, defaultMotionUpdatesPerSecond,
                                                   TelemetryValueSmoothing::none};

    // A movie without a named source ("Сохранить как" before any file).
    static constexpr const char* untitledOutputFileName = "pacemark.mov";

    std::int64_t width = defaultWidth;
    std::int64_t height = defaultHeight;
    FrameRate frameRate = defaultFrameRate;
    TelemetryVideoCodec codec = defaultCodec;
    // Not part of a layout: the same layout may be exported either way.
    TelemetryMotion motion = defaultMotion;

    bool operator==(const TelemetryExportSettings&) const = default;

    // Smallest and largest picture side `codec` is written at (its row of the
    // codec table).
    static std::int64_t minimumSidePixels(TelemetryVideoCodec codec);
    static std::int64_t maximumSidePixels(TelemetryVideoCodec codec);
    // Whether `codec`'s writer opens a picture of this size (its row's rule:
    // ProRes refuses the largest pictures, see below).
    static bool acceptsSize(TelemetryVideoCodec codec, std::int64_t width, std::int64_t height);

    // ProRes limits, read from the system's encoder (prores_ks in FFmpeg 5.1)
    // and our writers, so that a size is refused before anything is drawn:
    // - the picture header stores the number of slices in 16 bits, and the
    //   encoder writes it without a check (65536 slices come out as 0, and the
    //   frame cannot be parsed). A slice is up to 8 macroblocks of 16 × 16 in
    //   one macroblock row; a row of `m` macroblocks has m / 8 full slices and
    //   one slice for each set bit of m % 8 (4, 2, 1 macroblocks);
    // - FFmpeg opens no picture whose (8 × width + 1024) × (height + 128)
    //   bytes reach 2^31 − 1 (av_image_check_size);
    // - every other field is wider than 16384-pixel sides need: the frame
    //   header's sides are 16-bit, picture and frame sizes 32-bit, a slice's
    //   size 16-bit for at most 8 × 1782 coded bytes at quantiser 1 (plus
    //   2560 of 8-bit alpha), and the encoder's frame buffer bound (an int)
    //   is about 1.1 GB at 65535 slices. The writers assert these.
    static constexpr std::int64_t maximumProResSlices = 65535;
    // Slices of one ProRes picture of this size.
    static std::int64_t proResSliceCount(std::int64_t width, std::int64_t height);
    // Whether the ProRes encoder takes a picture of this size (both limits
    // above; the sides' own range is sizeError's).
    static bool proResAcceptsSize(std::int64_t width, std::int64_t height);
    // The largest even height ProRes takes at `width`, 0 when none.
    static std::int64_t largestProResHeight(std::int64_t width);

    // Russian text saying what is wrong with the size, none when it is valid.
    std::optional<std::string> sizeError() const;
    // Bytes an export of these settings holds at its peak, from the codec's
    // row: for HEVC the two encoders (colour and alpha) dominate and grow with
    // the picture area; for ProRes the writer's pictures and the coded frames.
    std::int64_t estimatedMemoryBytes() const;
    // Address space the same export reserves, which is what RLIMIT_AS bounds.
    std::int64_t estimatedAddressSpaceBytes() const;
    static std::int64_t physicalMemoryBytes();
    // The process's RLIMIT_AS, none when unlimited.
    static std::optional<std::int64_t> addressSpaceLimitBytes();
    // Russian text when the resident estimate exceeds the physical memory, or
    // the address-space estimate exceeds RLIMIT_AS when one is set.
    std::optional<std::string> memoryError() const;
    // Movie length. An export of more than 7 days of movie is refused unless
    // its length (the segment's end) was asked for explicitly: a recording
    // whose clock jumped years (one point in 1901, one in 2099) would
    // otherwise start a movie of billions of frames.
    static constexpr std::int64_t longestUnaskedMovieSeconds = 7 * 24 * 3600;
    // The most frames a movie may have. Both QuickTime writers keep the index
    // (sample sizes and chunk offsets, at most 12 bytes a frame) in one box
    // of 32-bit size, so 2^32 / 12 frames at most; this leaves room for the
    // rest of the movie header. (Sample counts are 32-bit as well, and
    // FFmpeg's muxer counts samples in an int.) 350 million frames are 135
    // days at 30 frames a second.
    static constexpr std::int64_t maximumFrameCount = 350'000'000;
    // Index memory the writer holds per frame until the movie is finished:
    // FFmpeg's muxer keeps a 48-byte entry and builds the index (4-12 bytes),
    // the compact writer keeps 12 bytes and builds the index from them, each
    // in growing arrays.
    static constexpr std::int64_t indexBytesPerFrame = 64;
    // Russian text when a movie of `frameCount` frames at these settings
    // cannot be written (more than maximumFrameCount, or an index larger than
    // the memory), or is longer than longestUnaskedMovieSeconds while
    // `lengthAskedFor` is false; none when it can be written.
    std::optional<std::string> movieLengthError(std::int64_t frameCount, bool lengthAskedFor) const;
    // Whether `frameCount` frames are more than longestUnaskedMovieSeconds
    // (the refusal a caller may explain with its own way to ask).
    bool exceedsUnaskedMovieLength(std::int64_t frameCount) const;

    // Russian text when no file may be written at `output` for a user who
    // reads `inputs` (ExportDestination::error: no name, a folder, a device
    // or other file that is not a regular file, one of the inputs, a name
    // too long for the temporary file).
    static std::optional<std::string> outputFileError(const std::filesystem::path& output,
                                                      std::span<const std::filesystem::path> inputs = {});
    // Russian text when the movie cannot be written at `output`: the nearest
    // existing folder on its way is a file or not writable (missing folders
    // are created). The exporter writes a temporary file beside the
    // destination and renames it, so the folder is what counts.
    static std::optional<std::string> outputPlaceError(const std::filesystem::path& output);
    // The first of the two, none when a movie can be written at `output`.
    static std::optional<std::string> outputError(const std::filesystem::path& output,
                                                  std::span<const std::filesystem::path> inputs = {});
    // The same for the frame rate: from minimumFramesPerSecond to
    // maximumFramesPerSecond, with terms a movie's time scale holds
    // (FrameRate::largestParsedTerm).
    std::optional<std::string> frameRateError() const;
    // The same for the motion's update rate (smooth motion only).
    std::optional<std::string> motionError() const;
    // "По секундам", "Плавно".
    static std::string motionModeTitle(TelemetryMotionMode mode);
    // "10 Гц", "каждый кадр".
    static std::string motionUpdateRateTitle(std::int64_t updatesPerSecond);
    // "Сглаживать скорость и мощность".
    static std::string motionSmoothingTitle();
    // The first of size, rate, motion and memory errors, none when the settings can be exported.
    std::optional<std::string> validationError() const;

    // The rate frames are timed at: the chosen rate, or 1 when it is unknown
    // or below 1 frame a second, so that an unvalidated 0 still gives a
    // playable movie.
    FrameRate timingFrameRate() const;

    // What a writer of these settings is opened with, writing to `file`. The
    // only place writer settings are made.
    MovieWriterSettings writerSettings(std::filesystem::path file) const;
    // HEVC ceiling on the mean bit rate: 2.5 Mbit/s at 1920x1080 scaled by pixel count, at least 900 kbit/s.
    static std::int64_t hevcAverageBitRate(std::int64_t width, std::int64_t height);

    // "<source name without extension>-telemetry.<the codec's container>"
    // ("ride.fit" gives "ride-telemetry.mov").
    static std::string outputFileName(const std::filesystem::path& source, TelemetryVideoCodec codec = defaultCodec);
    // That name in the source's folder: where an export goes unless the user picks a file.
    static std::filesystem::path defaultOutputPath(const std::filesystem::path& source,
                                                   TelemetryVideoCodec codec = defaultCodec);
};

}  // namespace pacemark
