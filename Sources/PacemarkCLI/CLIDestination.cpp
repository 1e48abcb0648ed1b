// SPDX-License-Identifier: GPL-3.0-or-later
#include "CLIDestination.h"

#include "CLIArguments.h"
#include "Export/ExportDestination.h"

namespace pacemark::cli {

void checkDestination(const std::filesystem::path& output, std::span<const std::filesystem::path> inputs, bool force,
                      std::ostream& err) {
    if (const auto error = ExportDestination::error(output, inputs)) throw CLIUsageError(*error);
    if (!ExportDestination::isReadOnly(output)) return;
    // Read-only marks a file someone meant to keep; the rename would replace
    // it all the same, so the tool asks for --force rather than decide.
    if (!force) throw CLIUsageError(ExportDestination::readOnlyText(output) + " Чтобы заменить его, добавьте --force.");
    err << "Внимание: " << ExportDestination::readOnlyText(output) << " Он будет заменён (--force).\n";
}

}  // namespace pacemark::cli
