#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "Export/MovieWriter.h"
#include "Export/TelemetryVideoCodec.h"

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

    // Picture sides are even (4:2:0 colour in HEVC halves both) and at least 16.
    static constexpr std::int64_t minimumSidePixels = 16;
    static constexpr std::int64_t minimumFramesPerSecond = 1;
    static constexpr std::int64_t maximumFramesPerSecond = 240;
    // The rates the window's picker offers.
    static constexpr std::array<std::int64_t, 5> offeredFramesPerSecond = {24, 25, 30, 50, 60};

    // A movie without a named source ("Сохранить как" before any file).
    static constexpr const char* untitledOutputFileName = "pacemark.mov";

    std::int64_t width = defaultWidth;
    std::int64_t height = defaultHeight;
    std::int64_t framesPerSecond = defaultFramesPerSecond;
    TelemetryVideoCodec codec = defaultCodec;

    bool operator==(const TelemetryExportSettings&) const = default;

    // Largest picture side `codec` is written at. Both writers take 16384
    // today; a limit of one codec goes here, and every check follows it.
    static std::int64_t maximumSidePixels(TelemetryVideoCodec codec);

    // Russian text saying what is wrong with the size, none when it is valid.
    std::optional<std::string> sizeError() const;
    // The same for the frame rate.
    std::optional<std::string> framesPerSecondError() const;
    // The first of the two, none when the settings can be exported.
    std::optional<std::string> validationError() const;

    // The rate frames are timed at: the chosen rate, at least 1, so that an
    // unvalidated 0 still gives a playable movie.
    std::int64_t timingFramesPerSecond() const;

    // What a writer of these settings is opened with, writing to `url`. The
    // only place writer settings are made.
    MovieWriterSettings writerSettings(std::filesystem::path url) const;
    // HEVC mean bit rate: 2.5 Mbit/s at 1920x1080 scaled by pixel count, at least 900 kbit/s.
    static std::int64_t hevcAverageBitRate(std::int64_t width, std::int64_t height);

    // "<source name without extension>-telemetry.mov" ("ride.fit" gives "ride-telemetry.mov").
    static std::string outputFileName(const std::filesystem::path& source);
    // That name in the source's folder: where an export goes unless the user picks a file.
    static std::filesystem::path defaultOutputPath(const std::filesystem::path& source);
};

}  // namespace pacemark
