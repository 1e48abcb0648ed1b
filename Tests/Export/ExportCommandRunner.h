// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CLIRun.h"

namespace pacemark::testing {

// Starts `pacemark-cli export ARGUMENTS...` without waiting for it; stderr
// goes to `errPath`, stdout nowhere.
pid_t startExport(const std::vector<std::string>& arguments, const std::filesystem::path& errPath);

// Waits for `child` and reads what it wrote to `errPath`.
CLIRun finishExport(pid_t child, const std::filesystem::path& errPath);

// Runs `pacemark-cli export ARGUMENTS...` to its end, as runCLI does.
inline CLIRun runExport(std::vector<std::string> arguments, const TemporaryFolder& logs,
                        const std::string& shellPrefix = "") {
    arguments.insert(arguments.begin(), "export");
    return runCLI(arguments, logs, shellPrefix);
}

// A copy of the bundled sample ride at `path`.
inline std::filesystem::path copyOfSampleRide(const std::filesystem::path& path) {
    std::filesystem::copy_file(sampleRide(), path);
    return path;
}

}  // namespace pacemark::testing
