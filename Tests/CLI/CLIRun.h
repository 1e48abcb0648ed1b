// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/wait.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace pacemark::testing {

struct CLIRun {
    int status = -1;  // the exit status, -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// Runs pacemark-cli with the arguments (single-quoted for the shell); its
// standard error goes through a file in `folder`. `shellPrefix` runs before
// the tool in the same shell (a ulimit, say). With `timeoutSeconds`, a tool
// still running then is killed (status 137).
inline CLIRun runCLI(const std::vector<std::string>& arguments, const TemporaryFolder& folder,
                     const std::string& shellPrefix = "", int timeoutSeconds = 0) {
    const auto errPath = folder / "stderr.txt";
    const std::string timeout = timeoutSeconds > 0 ? "timeout -s KILL " + std::to_string(timeoutSeconds) + " " : "";
    std::string command = "{ " + shellPrefix + "exec " + timeout + "'" PACEMARK_CLI_PATH "'";
    for (const auto& argument : arguments) command += " '" + argument + "'";
    const CommandResult run = runCommand(command + " 2>" + quoted(errPath) + "; }");
    const auto err = readFileBytes(errPath);
    return {WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1, run.output, std::string(err.begin(), err.end())};
}

// The JSON objects of the tool's --json output, one a line.
inline std::vector<nlohmann::json> jsonLines(const std::string& text) {
    std::vector<nlohmann::json> objects;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) objects.push_back(nlohmann::json::parse(line));
    return objects;
}

inline std::filesystem::path sampleRide() { return sourceFolder() / "samples" / "sample-ride.fit"; }

// A copy of the bundled sample ride at `path`.
inline std::filesystem::path copyOfSampleRide(const std::filesystem::path& path) {
    std::filesystem::copy_file(sampleRide(), path);
    return path;
}

}  // namespace pacemark::testing
