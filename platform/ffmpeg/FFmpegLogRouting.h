// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pacemark::ffmpeg {

// Sends FFmpeg's log lines ("[prores_ks @ 0x…] Picture size … is invalid")
// to DiagnosticLog instead of stderr, so they stay out of the user's sight
// unless a diagnostic sink is installed. FFmpeg's log is process-wide: call
// this once at start-up, before FFmpeg is used (the CLI's main, the window's
// main). Calling it again changes nothing.
void routeFFmpegLogToDiagnosticLog();

}  // namespace pacemark::ffmpeg
