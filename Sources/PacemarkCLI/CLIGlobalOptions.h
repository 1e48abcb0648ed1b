// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

#include "Telemetry/TelemetryActivity.h"
#include "Telemetry/TelemetrySample.h"

namespace pacemark::cli {

// Options that every command takes, wherever they stand among its arguments.
// They are taken out before the command parses the rest, so that no command
// has to list them.
struct CLIGlobalOptions {
    // --recover: a damaged FIT file gives the points before the damage, with
    // a note on stderr, instead of failing.
    bool recoverDamagedFiles = false;
    // --verbose: log lines of the encoding libraries are shown on stderr.
    bool verbose = false;

    // Removes the global options from `arguments` and returns them.
    static CLIGlobalOptions take(std::vector<std::string>& arguments);

    // The options of this run, set once by main before the command runs.
    static const CLIGlobalOptions& current();
    static void setCurrent(const CLIGlobalOptions& options);
};

// The loader as every command calls it: strict, or recovering with
// --recover (the damage is then described on stderr). A requested `stop`
// ends the load with TelemetryLoadCancelled.
TelemetryActivity loadActivity(const std::filesystem::path& path, std::stop_token stop = {});
std::vector<TelemetrySample> decodeSamples(const std::filesystem::path& path);

}  // namespace pacemark::cli
