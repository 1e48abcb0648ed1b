// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetryMotion.h"

#include <bit>
#include <cmath>

namespace pacemark {
namespace {

// Frame times (start + i / fps) that fall on an update land a rounding error
// below it; a frame time truly before an update is at least 1/240 s (the
// highest frame rate) away from it, far more than this.
constexpr double updateTolerance = 1e-6;

}  // namespace

double TelemetryMotion::drawnSeconds(const TelemetryActivity& activity, double elapsed) const {
    double t = elapsed >= 0 ? elapsed : 0.0;
    if (activity.durationSeconds() < t) t = activity.durationSeconds();
    t += 0.0;  // -0 becomes +0, so equal instants have equal bits
    if (!isSmooth() || updatesPerSecond <= everyFrame) return t;
    const double rate = static_cast<double>(updatesPerSecond);
    return std::floor(t * rate + updateTolerance) / rate;
}

TelemetrySample TelemetryMotion::sample(const TelemetryActivity& activity, double elapsed) const {
    if (!isSmooth()) {
        return smoothing == TelemetryValueSmoothing::none ? activity.sample(elapsed)
                                                          : activity.sample(elapsed, smoothing);
    }
    return activity.interpolatedSample(drawnSeconds(activity, elapsed), smoothing);
}

std::size_t TelemetryMotion::frameKey(const TelemetryActivity& activity, double elapsed) const {
    if (!isSmooth()) return activity.sampleIndex(elapsed);
    const double drawn = drawnSeconds(activity, elapsed);
    if (updatesPerSecond <= everyFrame) return static_cast<std::size_t>(std::bit_cast<std::uint64_t>(drawn));
    return static_cast<std::size_t>(std::llround(drawn * static_cast<double>(updatesPerSecond)));
}

}  // namespace pacemark
