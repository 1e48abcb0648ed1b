// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "CLIArguments.h"
#include "CairoPNG.h"
#include "Layout/PacemarkPreset.h"

namespace pacemark::cli {

// Helpers shared by `pacemark-cli frame` and `pacemark-cli sheet`.

// What an overlay is shown over in a preview picture.
struct FrameBackground {
    enum class Kind { none, checker, dark, picture };
    Kind kind = Kind::none;
    std::filesystem::path picture;  // Kind::picture

    // "checker", "dark" or the path of a PNG file.
    static FrameBackground parse(const std::string& text);
};

// The files a drawing command reads: the ride and the files named by
// `fileOptions` (--layout, --background) when given; none may be its output.
std::vector<std::filesystem::path> inputFiles(const CLIArguments& options, std::filesystem::path ride,
                                              std::initializer_list<const char*> fileOptions);

// The instant shown when none is given: 42 % of the ride's duration.
double defaultFrameInstant(double durationSeconds);

// An opaque backdrop of the given kind (not `picture`) of the given size.
OwnedPixelBuffer makeBackdrop(FrameBackground::Kind kind, std::int64_t width, std::int64_t height);
// `overlay` composited over the background (unchanged for Kind::none).
OwnedPixelBuffer composeOverBackground(const OwnedPixelBuffer& overlay, const FrameBackground& background);

// The preset named on the command line (Russian name or case name); the
// first preset when `name` is absent; a usage error listing them otherwise.
PacemarkPreset presetNamed(const std::optional<std::string>& name);

}  // namespace pacemark::cli
