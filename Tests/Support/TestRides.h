// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Telemetry/TelemetryActivity.h"

namespace pacemark::testing {

// A ride of `seconds` at one sample per second, every reading present and
// changing, on a short wandering route.
std::shared_ptr<const TelemetryActivity> rideOfSeconds(int seconds);

}  // namespace pacemark::testing
