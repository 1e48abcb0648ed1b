// SPDX-License-Identifier: GPL-3.0-or-later
#include "Camera/ClipClock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pacemark {
namespace {

// A point of the clock with UTC as seconds from a reference.
struct Point {
    double movie = 0;
    double utc = 0;
};

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2) return *middle;
    const double upper = *middle;
    const double lower = *std::max_element(values.begin(), middle);
    return (lower + upper) / 2;
}

// Residuals this large mark a point as not on the clip's line.
double outlierTolerance(ClipClockSource source) { return source == ClipClockSource::gps9 ? 0.1 : 0.3; }

TelemetryTimestamp plusSeconds(TelemetryTimestamp base, double seconds) {
    return base + std::chrono::microseconds(std::llround(seconds * 1e6));
}

// The rate by pairing each point with the one half the clip later: the median
// of those slopes ignores a minority of bad points.
double robustRate(const std::vector<Point>& points) {
    const std::size_t half = std::max<std::size_t>(1, points.size() / 2);
    std::vector<double> slopes;
    for (std::size_t i = 0; i + half < points.size(); ++i) {
        const double dm = points[i + half].movie - points[i].movie;
        if (dm > 1e-6) slopes.push_back((points[i + half].utc - points[i].utc) / dm);
    }
    return slopes.empty() ? 1.0 : median(std::move(slopes));
}

// A knot off both the line of the two knots before it and the line of the
// two after it is a bad time (a corner of a variable-speed clip lies on one of
// them); such knots are dropped one at a time, the worst first, and so are
// knots whose time does not advance.
std::vector<Point> withoutSpikes(std::vector<Point> knots, double tolerance) {
    auto lineAt = [&](std::size_t a, std::size_t b, double movie) {
        const double dm = knots[b].movie - knots[a].movie;
        const double slope = dm > 1e-9 ? (knots[b].utc - knots[a].utc) / dm : 1.0;
        return knots[a].utc + slope * (movie - knots[a].movie);
    };
    for (;;) {
        const std::size_t n = knots.size();
        if (n < 3) return knots;
        std::size_t worst = n;
        double worstDeviation = 0;
        for (std::size_t i = 0; i < n; ++i) {
            double deviation = std::numeric_limits<double>::infinity();
            if (i >= 2) deviation = std::fabs(knots[i].utc - lineAt(i - 2, i - 1, knots[i].movie));
            if (i + 2 < n) {
                deviation = std::min(deviation, std::fabs(knots[i].utc - lineAt(i + 1, i + 2, knots[i].movie)));
            }
            if (!std::isfinite(deviation)) deviation = 0;
            if (i > 0 && knots[i].utc <= knots[i - 1].utc) deviation = std::max(deviation, tolerance * 2);
            if (deviation > tolerance && deviation > worstDeviation) {
                worst = i;
                worstDeviation = deviation;
            }
        }
        if (worst == n) return knots;
        knots.erase(knots.begin() + static_cast<std::ptrdiff_t>(worst));
    }
}

// Knots that lie on the line between the last kept knot and the next one add
// nothing to the interpolation.
std::vector<Point> withoutCollinear(std::vector<Point> knots, double tolerance) {
    if (knots.size() < 3) return knots;
    std::vector<Point> kept{knots.front()};
    for (std::size_t i = 1; i + 1 < knots.size(); ++i) {
        const Point& a = kept.back();
        const Point& b = knots[i + 1];
        const double dm = b.movie - a.movie;
        const double predicted = dm > 1e-9 ? a.utc + (b.utc - a.utc) * (knots[i].movie - a.movie) / dm : a.utc;
        if (std::fabs(knots[i].utc - predicted) > tolerance) kept.push_back(knots[i]);
    }
    kept.push_back(knots.back());
    return kept;
}

}  // namespace

std::optional<ClipClock> ClipClock::fromCameraGPS(const CameraGPS& gps) {
    const CameraGPSDevice* device = gps.gpsDevice();
    if (!device) return std::nullopt;
    std::vector<ClipClockKnot> points;
    ClipClockSource source = ClipClockSource::gps9;
    for (const auto& sample : device->gps9) {
        if (sample.isUsable() && sample.utc) {
            points.push_back({sample.movieSeconds, *sample.utc});
        }
    }
    if (points.empty()) {
        source = ClipClockSource::gps5Stamps;
        for (const auto& stamp : device->gps5Stamps) {
            if (stamp.fix >= 2 && stamp.precision < CameraGPSSample::goodPrecisionLimit) {
                points.push_back({stamp.movieSeconds, stamp.utc});
            }
        }
    }
    if (points.empty()) return std::nullopt;

    const TelemetryTimestamp reference = points.front().utc;
    std::vector<Point> chosen;
    for (std::size_t i = 0; i < points.size(); ++i) {
        chosen.push_back({points[i].movieSeconds, secondsBetween(reference, points[i].utc)});
    }
    std::stable_sort(chosen.begin(), chosen.end(), [](const Point& a, const Point& b) { return a.movie < b.movie; });
    const bool stamps = source == ClipClockSource::gps5Stamps;
    // A stale stamp shifts everything after it when it stands at the end of
    // a clip of two stamps: fewer than three cannot tell a rate, so they are
    // read as real time.
    double rate = stamps && chosen.size() < 3 ? 1.0 : robustRate(chosen);
    if (std::fabs(rate - 1) < normalRateTolerance) rate = 1;
    // Stamps are a second apart give or take a few hundredths, so a rate
    // from them is only that good: cameras record timelapses at whole rates.
    if (stamps && rate > 1 && std::fabs(rate - std::round(rate)) < stampRateTolerance * rate) rate = std::round(rate);
    if (!(rate > 0) || !std::isfinite(rate)) rate = 1;

    std::vector<double> offsets;
    for (const auto& p : chosen) offsets.push_back(p.utc - rate * p.movie);
    const double offset = median(offsets);
    std::vector<double> deviations;
    for (const double o : offsets) deviations.push_back(std::fabs(o - offset));
    const double spread = 1.4826 * median(deviations);
    const double tolerance = outlierTolerance(source);
    std::vector<Point> kept;
    std::vector<double> keptResiduals;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        if (deviations[i] <= std::max(tolerance, 4 * spread)) {
            kept.push_back(chosen[i]);
            keptResiduals.push_back(offsets[i] - offset);
        }
    }
    double largestResidual = 0;
    for (const double r : keptResiduals) largestResidual = std::max(largestResidual, std::fabs(r));
    // GPS5 stamps may be up to the lag late: the middle of that range.
    const double shift = stamps ? -gps5StampLagSeconds / 2 : 0.0;
    const double baseUncertainty = stamps ? gps5StampLagSeconds / 2 + 0.05 : 0.05;

    ClipClock clock;
    clock.source_ = source;
    const bool linear = stamps ? rate == 1 || largestResidual <= 0.5 : largestResidual <= 0.25;
    if (linear) {
        clock.rate_ = rate;
        const double keptOffset = median([&] {
            std::vector<double> o;
            for (const auto& p : kept) o.push_back(p.utc - rate * p.movie);
            return o;
        }());
        const double first = kept.front().movie;
        const double last = kept.back().movie;
        clock.knots_.push_back({first, plusSeconds(reference, keptOffset + rate * first + shift)});
        if (last > first) clock.knots_.push_back({last, plusSeconds(reference, keptOffset + rate * last + shift)});
        clock.uncertaintySeconds_ = baseUncertainty + largestResidual;
        return clock;
    }

    // Variable speed: every point is a knot (the receiver timed each fix),
    // spikes dropped, then knots on the line of their neighbours merged.
    std::vector<Point> knots = withoutSpikes(std::move(chosen), tolerance);
    knots = withoutCollinear(std::move(knots), 0.01);
    for (const auto& k : knots) clock.knots_.push_back({k.movie, plusSeconds(reference, k.utc + shift)});
    const double dm = knots.back().movie - knots.front().movie;
    clock.rate_ = dm > 1e-9 ? (knots.back().utc - knots.front().utc) / dm : 1.0;
    if (!(clock.rate_ > 0) || !std::isfinite(clock.rate_)) {
        // Times that do not advance over the clip: no rate, only where it starts.
        clock.rate_ = 1;
        clock.knots_.resize(1);
    }
    clock.uncertaintySeconds_ = baseUncertainty + tolerance;
    return clock;
}

TelemetryTimestamp ClipClock::utcAt(double movieSeconds) const {
    if (knots_.size() == 1) return plusSeconds(knots_.front().utc, (movieSeconds - knots_.front().movieSeconds) * rate_);
    std::size_t segment = 0;
    while (segment + 2 < knots_.size() && movieSeconds > knots_[segment + 1].movieSeconds) ++segment;
    const ClipClockKnot& a = knots_[segment];
    const ClipClockKnot& b = knots_[segment + 1];
    const double dm = b.movieSeconds - a.movieSeconds;
    const double slope = dm > 1e-9 ? secondsBetween(a.utc, b.utc) / dm : rate_;
    return plusSeconds(a.utc, (movieSeconds - a.movieSeconds) * slope);
}

}  // namespace pacemark
