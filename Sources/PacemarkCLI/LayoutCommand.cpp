// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "CLIArguments.h"
#include "CLIDestination.h"
#include "CLICommands.h"
#include "FrameCommand.h"
#include "Layout/PacemarkLayoutFile.h"

namespace pacemark::cli {

// layout --preset NAME -o FILE: a preset written as a layout file, a start
// for editing by hand or in the window.
int runLayoutCommand(std::span<const std::string> arguments) {
    const CLIArguments options(arguments, {"--preset", "--output"}, {"--force"}, {{"-o", "--output"}});
    if (!options.positional().empty()) throw CLIUsageError("Лишний аргумент: " + options.positional()[0] + ".");
    if (!options.has("--preset")) throw CLIUsageError("Не указан пресет: --preset ИМЯ.");
    const auto output = options.value("--output");
    if (!output || output->empty()) throw CLIUsageError("Не указан выходной файл: -o МАКЕТ.pacemark-layout.");
    const PacemarkPreset preset = presetNamed(options.value("--preset"));
    checkDestination(*output, {}, options.has("--force"), std::cerr);
    PacemarkLayoutFile::fromPreset(preset).write(*output);
    std::cout << "Макет пресета «" << preset.rawValue() << "» записан: " << *output << "\n";
    return 0;
}

}  // namespace pacemark::cli
