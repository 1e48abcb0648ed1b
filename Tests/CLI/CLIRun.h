#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
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
// the tool in the same shell (a ulimit, say).
inline CLIRun runCLI(const std::vector<std::string>& arguments, const TemporaryFolder& folder,
                     const std::string& shellPrefix = "") {
    std::string command = shellPrefix + "exec '" PACEMARK_CLI_PATH "'";
    for (const auto& argument : arguments) command += " '" + argument + "'";
    const auto errPath = folder / "stderr.txt";
    command += " 2>'" + errPath.string() + "'";
    CLIRun result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 65536> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto err = readFileBytes(errPath);
    result.err.assign(err.begin(), err.end());
    return result;
}

inline std::filesystem::path sampleRide() { return sourceFolder() / "samples" / "sample-ride.fit"; }

}  // namespace pacemark::testing
