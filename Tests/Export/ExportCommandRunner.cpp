// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExportCommandRunner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pacemark::testing {

namespace fs = std::filesystem;

pid_t startExport(const std::vector<std::string>& arguments, const fs::path& errPath) {
    std::vector<std::string> all = {PACEMARK_CLI_PATH, "export"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = open("/dev/null", O_WRONLY);
        if (err < 0 || out < 0 || dup2(err, STDERR_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0) _exit(100);
        execv(PACEMARK_CLI_PATH, argv.data());
        _exit(101);
    }
    return child;
}

CLIRun finishExport(pid_t child, const fs::path& errPath) {
    int status = 0;
    const bool exited = waitpid(child, &status, 0) == child && WIFEXITED(status);
    const auto err = readFileBytes(errPath);
    return {exited ? WEXITSTATUS(status) : -1, "", std::string(err.begin(), err.end())};
}

}  // namespace pacemark::testing
