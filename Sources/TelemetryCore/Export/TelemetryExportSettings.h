#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "Export/MovieWriter.h"
#include "Export/TelemetryVideoCodec.h"
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
    static constexpr std::int64_t defaultFramesPerSecond = 30;
    static constexpr TelemetryVideoCodec::Value defaultCodec = TelemetryVideoCodec::hevcWithAlpha;

    // Picture sides are even (4:2:0 colour in HEVC halves both) and at least
    // 16 for any codec (a single frame picture, for instance); each codec may need more.
    static constexpr std::int64_t smallestSidePixels = 16;
    // No codec takes a side above this; each codec may take less.
    static constexpr std::int64_t largestSidePixels = 16384;
    static constexpr std::int64_t minimumFramesPerSecond = 1;
    static constexpr std::int64_t maximumFramesPerSecond = 240;
    // The rates the window's picker offers.
    static constexpr std::array<std::int64_t, 5> offeredFramesPerSecond = {24, 25, 30, 50, 60};
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
    std::int64_t framesPerSecond = defaultFramesPerSecond;
    TelemetryVideoCodec codec = defaultCodec;
    // Not part of a layout: the same layout may be exported either way.
    TelemetryMotion motion = defaultMotion;

    bool operator==(const TelemetryExportSettings&) const = default;

    // Smallest and largest picture side `codec` is written at (its row of the
    // codec table).
    static std::int64_t minimumSidePixels(TelemetryVideoCodec codec);
    static std::int64_t maximumSidePixels(TelemetryVideoCodec codec);
    // Whether `codec`'s writer opens a picture of this area (ProRes refuses
    // the largest squares; see the codec table).
    static bool acceptsArea(TelemetryVideoCodec codec, std::int64_t width, std::int64_t height);

    // Russian text saying what is wrong with the size, none when it is valid.
    std::optional<std::string> sizeError() const;
    // Bytes an export of these settings holds at its peak, from the codec's
    // row: for HEVC the two encoders (colour and alpha) grow with the picture.
    std::int64_t estimatedMemoryBytes() const;
    // Address space the same export reserves, which is what RLIMIT_AS bounds.
    std::int64_t estimatedAddressSpaceBytes() const;
    static std::int64_t physicalMemoryBytes();
    // The process's RLIMIT_AS, none when unlimited.
    static std::optional<std::int64_t> addressSpaceLimitBytes();
    // Russian text when the resident estimate exceeds the physical memory, or
    // the address-space estimate exceeds RLIMIT_AS when one is set.
    std::optional<std::string> memoryError() const;
    // Russian text when `output` is an existing folder.
    static std::optional<std::string> outputFolderError(const std::filesystem::path& output);
    // Russian text when the movie cannot be written at `output`: the nearest
    // existing folder on its way is a file or not writable (missing folders
    // are created). The exporter writes a temporary file beside the
    // destination and renames it, so the folder is what counts.
    static std::optional<std::string> outputPlaceError(const std::filesystem::path& output);
    // The first of the two, none when a movie can be written at `output`.
    static std::optional<std::string> outputError(const std::filesystem::path& output);
    // The same for the frame rate.
    std::optional<std::string> framesPerSecondError() const;
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

    // The rate frames are timed at: the chosen rate, at least 1, so that an
    // unvalidated 0 still gives a playable movie.
    std::int64_t timingFramesPerSecond() const;

    // What a writer of these settings is opened with, writing to `file`. The
    // only place writer settings are made.
    MovieWriterSettings writerSettings(std::filesystem::path file) const;
    // HEVC mean bit rate: 2.5 Mbit/s at 1920x1080 scaled by pixel count, at least 900 kbit/s.
    static std::int64_t hevcAverageBitRate(std::int64_t width, std::int64_t height);

    // "<source name without extension>-telemetry.<the codec's container>"
    // ("ride.fit" gives "ride-telemetry.mov").
    static std::string outputFileName(const std::filesystem::path& source, TelemetryVideoCodec codec = defaultCodec);
    // That name in the source's folder: where an export goes unless the user picks a file.
    static std::filesystem::path defaultOutputPath(const std::filesystem::path& source,
                                                   TelemetryVideoCodec codec = defaultCodec);
};

}  // namespace pacemark
