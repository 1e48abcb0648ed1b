// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CLIArguments.h"
#include "Telemetry/TelemetryMotion.h"

namespace pacemark::cli {

// The motion a drawing command uses: --motion steps|smooth[:HZ|:frame]
// (steps when absent) and --smooth-values for averaged speed and power.
// A rate outside the export settings' range is left for their validation.
TelemetryMotion motionOption(const CLIArguments& args);

}  // namespace pacemark::cli
