// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string_view>

namespace pacemark {

// Where the log lines of the libraries we drive (the movie encoders) go.
// They are English and meant for diagnosis, not for the user: silent unless
// a sink is installed (pacemark-cli --verbose installs one that prints to
// stderr). Safe to call from any thread; the sink is called under a lock,
// one whole line at a time.
class DiagnosticLog {
public:
    // `source` names the library ("ffmpeg", "x265"); `line` has no newline.
    using Sink = std::function<void(std::string_view source, std::string_view line)>;

    // Installs the sink; an empty one makes the log silent again.
    static void setSink(Sink sink);
    static bool isEnabled();
    static void write(std::string_view source, std::string_view line);
};

}  // namespace pacemark
