// SPDX-License-Identifier: GPL-3.0-or-later
// Links the whole core so that its dependencies show up in the executable.
#include <cstdio>

#include "Layout/PacemarkLayoutFile.h"
#include "Telemetry/TelemetryActivity.h"

int main() {
    const auto file = pacemark::PacemarkLayoutFile::fromPreset(pacemark::PacemarkPreset::compactRace);
    pacemark::TelemetryActivity activity(std::nullopt, {});
    std::printf("%zu %zu %zu\n", file.layout.widgets.size(), activity.samples.size(), file.serialized().size());
    return 0;
}
