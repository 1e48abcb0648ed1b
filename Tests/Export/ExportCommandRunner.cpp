#include "ExportCommandRunner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pacemark::testing {

namespace fs = std::filesystem;

pid_t startExport(const std::vector<std::string>& arguments, const fs::path& errPath, const fs::path& outPath,
                  std::uint64_t addressSpaceBytes) {
    std::vector<std::string> all = {PACEMARK_CLI_PATH, "export"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    // fork rather than posix_spawn: the child may need a lower memory limit.
    const pid_t child = fork();
    if (child == 0) {
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const rlimit limit{rlim_t(addressSpaceBytes), rlim_t(addressSpaceBytes)};
        if (err < 0 || out < 0 || dup2(err, STDERR_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 ||
            (addressSpaceBytes != 0 && setrlimit(RLIMIT_AS, &limit) != 0)) {
            _exit(100);
        }
        execv(PACEMARK_CLI_PATH, argv.data());
        _exit(101);
    }
    return child;
}

CLIRun finishExport(pid_t child, const fs::path& errPath, const fs::path& outPath) {
    CLIRun run;
    int status = 0;
    if (waitpid(child, &status, 0) == child && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    const auto err = readFileBytes(errPath);
    const auto out = readFileBytes(outPath);
    run.err.assign(err.begin(), err.end());
    run.out.assign(out.begin(), out.end());
    return run;
}

CLIRun runExport(const std::vector<std::string>& arguments, const TemporaryFolder& logs,
                 std::uint64_t addressSpaceBytes) {
    const fs::path errPath = logs / "stderr.txt";
    const fs::path outPath = logs / "stdout.txt";
    return finishExport(startExport(arguments, errPath, outPath, addressSpaceBytes), errPath, outPath);
}

fs::path copyOfSampleRide(const fs::path& path) {
    fs::copy_file(sourceFolder() / "samples" / "sample-ride.fit", path);
    return path;
}

}  // namespace pacemark::testing
