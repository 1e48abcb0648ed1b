#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "CairoPNG.h"
#include "PacemarkError.h"

namespace pacemark::cli {

// A wrong command line for `frame` or `sheet`; the text says what to change.
class FrameCommandError : public PacemarkError {
public:
    using PacemarkError::PacemarkError;
};

// What an overlay is shown over in a preview picture.
struct FrameBackground {
    enum class Kind { none, checker, dark, picture };
    Kind kind = Kind::none;
    std::filesystem::path picture;  // Kind::picture

    // "checker", "dark" or the path of a PNG file.
    static FrameBackground parse(const std::string& text);
};

struct FrameOptions {
    std::filesystem::path input;
    std::string presetName;              // empty: the first preset
    std::optional<double> atSeconds;     // absent: 42 % into the ride
    std::int64_t width = 1920;
    std::int64_t height = 1080;
    FrameBackground background;
    std::filesystem::path output;

    // `FILE [--preset NAME] [--at SECONDS] [--size WxH] [--background B] -o OUT.png`
    static FrameOptions parse(const std::vector<std::string>& arguments);
};

// Parses "1920x1080" (also with "X" or "×"); each side 2…8192.
std::pair<std::int64_t, std::int64_t> parseFrameSize(const std::string& text);

// The instant shown when none is given: 42 % of the ride's duration.
double defaultFrameInstant(double durationSeconds);

// An opaque backdrop of the given kind (not `picture`) of the given size.
OwnedPixelBuffer makeBackdrop(FrameBackground::Kind kind, std::int64_t width, std::int64_t height);
// `overlay` composited over the background (unchanged for Kind::none).
OwnedPixelBuffer composeOverBackground(const OwnedPixelBuffer& overlay, const FrameBackground& background);

// `pacemark-cli frame …`: writes one PNG; messages go to `out`/`err`.
int runFrameCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace pacemark::cli
