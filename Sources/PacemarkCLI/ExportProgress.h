// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "Telemetry/FrameRate.h"

namespace pacemark::cli {

// How an export shows its progress on stderr.
enum class ExportProgressMode {
    terminal,  // one line redrawn in place (stderr is a terminal)
    plain,     // a new line now and then, for logs and batch runners
    quiet,     // nothing
};

// The progress mode a run gets: quiet when asked, in place on a terminal,
// plain lines otherwise (a redrawn line would fill a log with carriage returns).
ExportProgressMode exportProgressMode(bool quiet);

// The progress of one export:
// "[########............]  40%  кадр 1200/3000  350 к/с (11.7×)  осталось 0:05".
// `update` is called from the exporter's thread for every frame and only
// prints when the mode wants a line; `finish` prints the last state once
// (except in quiet mode), so logs always end with the frame count reached.
class ExportProgress {
public:
    // Plain mode prints at most one line per this interval.
    static constexpr std::chrono::seconds plainLineInterval{10};

    ExportProgress(std::ostream& out, ExportProgressMode mode, std::int64_t frameCount, FrameRate frameRate);

    void update(double fraction);
    void finish(double fraction);

private:
    using Clock = std::chrono::steady_clock;

    std::string line(double fraction) const;

    std::ostream& out_;
    ExportProgressMode mode_;
    std::int64_t frameCount_;
    FrameRate frameRate_;
    Clock::time_point started_;
    Clock::time_point lastPlainLine_;
};

}  // namespace pacemark::cli
