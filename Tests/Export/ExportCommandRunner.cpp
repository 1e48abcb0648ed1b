#include "ExportCommandRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pacemark::testing {

namespace fs = std::filesystem;

pid_t startExport(const std::vector<std::string>& arguments, const fs::path& errPath, const fs::path& outPath) {
    std::vector<std::string> all = {PACEMARK_CLI_PATH, "export"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = -1;
    posix_spawn(&child, PACEMARK_CLI_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

CLIRun finishExport(pid_t child, const fs::path& errPath, const fs::path& outPath) {
    CLIRun run;
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    const auto err = readFileBytes(errPath);
    run.err.assign(err.begin(), err.end());
    if (!outPath.empty()) {
        const auto out = readFileBytes(outPath);
        run.out.assign(out.begin(), out.end());
    }
    return run;
}

CLIRun runExport(const std::vector<std::string>& arguments, const TemporaryFolder& logs) {
    const fs::path errPath = logs / "stderr.txt";
    const fs::path outPath = logs / "stdout.txt";
    return finishExport(startExport(arguments, errPath, outPath), errPath, outPath);
}

fs::path copyOfSampleRide(const fs::path& path) {
    fs::copy_file(sourceFolder() / "samples" / "sample-ride.fit", path);
    return path;
}

}  // namespace pacemark::testing
