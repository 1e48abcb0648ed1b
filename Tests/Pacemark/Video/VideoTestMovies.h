// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestSupport.h"

namespace pacemark::testing {

// True when the ffmpeg command can be run; the movie tests skip otherwise.
bool ffmpegCommandAvailable();

// Runs `ffmpeg -y <arguments>` quietly and returns whether it succeeded.
bool runFFmpeg(const std::string& arguments);

// Encodes `seconds` of the lavfi source `source` (e.g. "testsrc=size=320x240:rate=25")
// into `path` with the MPEG-4 Part 2 encoder, adding `extraArguments` before the
// output name. Fails the calling test when ffmpeg fails.
void makeTestMovie(const std::filesystem::path& path, const std::string& source, double seconds,
                   const std::string& extraArguments = {});

}  // namespace pacemark::testing
