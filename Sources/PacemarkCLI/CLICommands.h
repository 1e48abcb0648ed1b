// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace pacemark::cli {

// One subcommand of pacemark-cli. `run` receives the arguments after the
// command name and returns the process exit status; it reports failures by
// throwing PacemarkError (shown in Russian on stderr, exit status 1) or
// CLIUsageError (shown with the usage text, exit status 2).
struct CLICommand {
    std::string_view name;
    std::string_view usage;    // one line: "info FILE [--json]"
    std::string_view summary;  // what it does, for --help
    int (*run)(std::span<const std::string> arguments);
};

int runInfoCommand(std::span<const std::string> arguments);
int runSamplesCommand(std::span<const std::string> arguments);
int runFrameCommand(std::span<const std::string> arguments);
int runSheetCommand(std::span<const std::string> arguments);
int runExportCommand(std::span<const std::string> arguments);
int runCheckCommand(std::span<const std::string> arguments);
int runLayoutCommand(std::span<const std::string> arguments);
int runSyncCommand(std::span<const std::string> arguments);

}  // namespace pacemark::cli
