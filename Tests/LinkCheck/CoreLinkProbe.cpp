// Links the whole core so that its dependencies show up in the executable.
#include <cstdio>

#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"
#include "Telemetry/TelemetryActivity.h"

int main() {
    const auto layout = pacemark::PacemarkLayout::preset(pacemark::PacemarkPreset::compactRace);
    pacemark::TelemetryActivity activity(std::nullopt, {});
    std::printf("%zu %zu\n", layout.widgets.size(), activity.samples.size());
    return 0;
}
