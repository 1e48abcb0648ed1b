#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace pacemark::testing {

// What a finished pacemark-cli process left.
struct CLIRun {
    int status = -1;  // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Starts `pacemark-cli export ARGUMENTS...`; stderr goes to `errPath`, stdout
// to `outPath`. A nonzero `addressSpaceBytes` lowers the child's RLIMIT_AS to
// that, as on a machine with that much memory.
pid_t startExport(const std::vector<std::string>& arguments, const std::filesystem::path& errPath,
                  const std::filesystem::path& outPath = "/dev/null", std::uint64_t addressSpaceBytes = 0);

// Waits for `child` and reads what it wrote.
CLIRun finishExport(pid_t child, const std::filesystem::path& errPath,
                    const std::filesystem::path& outPath = "/dev/null");

// Runs an export to its end, with its output files in `logs`.
CLIRun runExport(const std::vector<std::string>& arguments, const TemporaryFolder& logs,
                 std::uint64_t addressSpaceBytes = 0);

// A copy of the bundled sample ride at `path`.
std::filesystem::path copyOfSampleRide(const std::filesystem::path& path);

}  // namespace pacemark::testing
