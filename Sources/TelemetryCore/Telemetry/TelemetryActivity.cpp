// SPDX-License-Identifier: GPL-3.0-or-later
#include "TelemetryActivity.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace pacemark {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kGradeMinimumRunMeters = 8.0;
constexpr double kGradeWindowMeters = 40.0;
constexpr double kGradeLimitPercent = 35.0;

// The lookup's time: not before 0 (a NaN is 0) and not after the end.
double clampedLookupTime(double at, double duration) {
    double t = at >= 0 ? at : 0.0;
    if (duration < t) t = duration;
    return t;
}

bool hasPosition(const TelemetrySample& s) { return s.latitude && s.longitude; }

bool isGradeUsable(const TelemetrySample& s) {
    return s.distanceMeters && s.altitudeMeters && std::isfinite(*s.distanceMeters) &&
           std::isfinite(*s.altitudeMeters);
}

// The reference walk: back from i, the candidate is the last usable j with a
// run of at least 8 m, and the walk stops at the first j with a run of 40 m.
std::optional<std::size_t> gradeCandidateByWalk(const std::vector<TelemetrySample>& samples, std::size_t i) {
    const double di = *samples[i].distanceMeters;
    std::optional<std::size_t> candidate;
    for (std::size_t j = i; j-- > 0;) {
        if (!isGradeUsable(samples[j])) continue;
        const double gap = di - *samples[j].distanceMeters;
        if (gap >= kGradeMinimumRunMeters) candidate = j;
        if (gap >= kGradeWindowMeters) break;
    }
    return candidate;
}

}  // namespace

namespace {

// Sum over count rounded to the nearest integer, halves away from zero.
std::int64_t roundedQuotient(std::int64_t sum, std::int64_t count) {
    std::int64_t quotient = sum / count;
    const std::int64_t remainder = sum % count;
    // Halves away from zero: |remainder| / count >= 1/2 moves one step outward.
    if (2 * (remainder < 0 ? -remainder : remainder) >= count) quotient += sum < 0 ? -1 : 1;
    return quotient;
}

// Mean and maximum of a count-like reading, kept as running figures so that
// a long ride needs no list of its readings.
struct CountReadingStatistics {
    std::int64_t sum = 0;
    std::int64_t count = 0;
    std::int64_t maximum = 0;

    void add(const TelemetryReading<std::int64_t>& reading) {
        if (!reading || *reading <= 0) return;
        sum += *reading;
        maximum = count == 0 ? *reading : std::max(maximum, *reading);
        ++count;
    }
    void fill(std::optional<std::int64_t>& average, std::optional<std::int64_t>& max) const {
        if (count == 0) return;
        average = roundedQuotient(sum, count);
        max = maximum;
    }
};

}  // namespace

std::optional<std::int64_t> roundedAverage(std::span<const std::int64_t> values) {
    if (values.empty()) return std::nullopt;
    std::int64_t sum = 0;
    for (std::int64_t v : values) sum += v;
    return roundedQuotient(sum, static_cast<std::int64_t>(values.size()));
}

double TelemetryActivity::haversineMeters(double lat1, double lon1, double lat2, double lon2) {
    const double phi1 = lat1 * kPi / 180.0;
    const double phi2 = lat2 * kPi / 180.0;
    const double dPhi = (lat2 - lat1) * kPi / 180.0;
    const double dLambda = (lon2 - lon1) * kPi / 180.0;
    const double sinPhi = std::sin(dPhi / 2);
    const double sinLambda = std::sin(dLambda / 2);
    const double a = sinPhi * sinPhi + std::cos(phi1) * std::cos(phi2) * sinLambda * sinLambda;
    const double c = std::atan2(std::sqrt(a), std::sqrt(1 - a));
    return 12742000.0 * c;
}

TelemetryActivity::TelemetryActivity(std::optional<std::filesystem::path> source, std::vector<TelemetrySample> raw)
    : sourceFile(std::move(source)),
      samples(addingGrade(normalized(std::move(raw)))),
      trackPoints(routePoints(samples, static_cast<std::int64_t>(routeMaxPoints))),
      summary(summarize(samples)) {}

std::vector<TelemetrySample> TelemetryActivity::normalized(std::vector<TelemetrySample> raw) {
    const auto earlier = [](const TelemetrySample& a, const TelemetrySample& b) {
        if (a.timestamp && b.timestamp) return *a.timestamp < *b.timestamp;
        return a.elapsed < b.elapsed;
    };
    // Recordings arrive in order; a stable sort of an ordered list changes
    // nothing but would borrow a buffer of half the samples. That holds when
    // one key orders them all (every sample timed, or none): with a mix, the
    // order is not transitive and the sort is left to decide.
    const auto timed = static_cast<std::size_t>(
        std::count_if(raw.begin(), raw.end(), [](const TelemetrySample& s) { return s.timestamp.has_value(); }));
    const bool oneKey = timed == 0 || timed == raw.size();
    if (!oneKey || !std::is_sorted(raw.begin(), raw.end(), earlier)) std::stable_sort(raw.begin(), raw.end(), earlier);
    if (raw.empty()) return raw;

    std::optional<TelemetryTimestamp> reference;
    for (const auto& s : raw) {
        if (s.timestamp) {
            reference = s.timestamp;
            break;
        }
    }

    double runningDistance = 0.0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        TelemetrySample& s = raw[i];
        const TelemetrySample* previous = i > 0 ? &raw[i - 1] : nullptr;

        if (reference && s.timestamp) {
            s.elapsed = std::max(secondsBetween(*reference, *s.timestamp), 0.0);
        } else if (!previous) {
            s.elapsed = s.elapsed >= 0 ? s.elapsed : 0.0;  // NaN fails the test and becomes 0
        } else if (!(s.elapsed > 0)) {
            s.elapsed = previous->elapsed + 1.0;
        }

        if (s.distanceMeters) {
            runningDistance = std::max(runningDistance, *s.distanceMeters);
        } else if (!previous) {
            if (hasPosition(s)) s.distanceMeters = 0.0;
        } else if (hasPosition(s) && hasPosition(*previous)) {
            runningDistance +=
                haversineMeters(*previous->latitude, *previous->longitude, *s.latitude, *s.longitude);
            s.distanceMeters = runningDistance;
        }

        if (!s.speedMetersPerSecond && previous && s.distanceMeters && previous->distanceMeters) {
            const double dt = s.elapsed - previous->elapsed;
            const double dd = *s.distanceMeters - *previous->distanceMeters;
            if (dt > 0 && dd >= 0) s.speedMetersPerSecond = dd / dt;
        }
    }
    return raw;
}

std::vector<TelemetrySample> TelemetryActivity::addingGrade(std::vector<TelemetrySample> samples) {
    // Usable samples (finite distance and altitude) in order. When their
    // distances never decrease, as in every real recording, the run back from
    // sample i shrinks monotonically, so the walk's answer is found by binary
    // search: the last usable j with a 40 m run, or else the first usable j
    // if it has an 8 m run. Otherwise the walk itself is used.
    // Indices fit 32 bits (the sample budget is far below), which halves
    // this list for a long ride.
    std::vector<std::uint32_t> usable;
    usable.reserve(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (isGradeUsable(samples[i])) usable.push_back(static_cast<std::uint32_t>(i));
    }
    bool monotonic = true;
    for (std::size_t k = 1; k < usable.size() && monotonic; ++k) {
        monotonic = *samples[usable[k]].distanceMeters >= *samples[usable[k - 1]].distanceMeters;
    }

    for (std::size_t k = 0; k < usable.size(); ++k) {
        const std::size_t i = usable[k];
        if (i == 0) continue;
        const TelemetrySample& s = samples[i];
        if (s.gradePercent && std::isfinite(*s.gradePercent)) continue;
        const double di = *s.distanceMeters;

        std::optional<std::size_t> candidate;
        if (monotonic) {
            const auto first = usable.begin();
            const auto end = usable.begin() + static_cast<std::ptrdiff_t>(k);
            // Runs from i are non-increasing along `usable`, so those of at least
            // 40 m form a prefix; its last element is where the walk stops.
            const auto past = std::partition_point(first, end, [&](std::size_t j) {
                return di - *samples[j].distanceMeters >= kGradeWindowMeters;
            });
            if (past != first) {
                candidate = *(past - 1);
            } else if (k > 0 && di - *samples[usable[0]].distanceMeters >= kGradeMinimumRunMeters) {
                candidate = usable[0];
            }
        } else {
            candidate = gradeCandidateByWalk(samples, i);
        }
        if (!candidate) continue;
        const TelemetrySample& c = samples[*candidate];
        const double grade = (*s.altitudeMeters - *c.altitudeMeters) / (di - *c.distanceMeters) * 100.0;
        // Written in place: later samples read only distances and
        // altitudes, never a derived grade.
        if (std::isfinite(grade)) samples[i].gradePercent = std::clamp(grade, -kGradeLimitPercent, kGradeLimitPercent);
    }
    return samples;
}

std::vector<TelemetryTrackPoint> TelemetryActivity::routePoints(std::span<const TelemetrySample> samples,
                                                                std::int64_t maxPoints) {
    const auto positioned = [](const TelemetrySample& s) {
        return s.latitude && s.longitude && std::isfinite(*s.latitude) && std::isfinite(*s.longitude);
    };
    // Counted first and picked in one pass, so that a long ride never holds
    // all of its positions a second time.
    const auto n = static_cast<std::int64_t>(std::count_if(samples.begin(), samples.end(), positioned));
    const std::int64_t step =
        maxPoints < 3 || n <= maxPoints
            ? 1
            : std::max<std::int64_t>(
                  static_cast<std::int64_t>(std::ceil(static_cast<double>(n) / static_cast<double>(maxPoints))), 1);
    std::vector<TelemetryTrackPoint> points;
    points.reserve(static_cast<std::size_t>(n / step + 2));
    std::int64_t index = 0;
    TelemetryTrackPoint last;
    for (const auto& s : samples) {
        if (!positioned(s)) continue;
        last = {*s.latitude, *s.longitude};
        if (index % step == 0) points.push_back(last);
        ++index;
    }
    if (!points.empty() && points.back() != last) points.push_back(last);
    return points;
}

TelemetrySummary TelemetryActivity::summarize(std::span<const TelemetrySample> samples) {
    TelemetrySummary summary;
    if (samples.empty()) return summary;
    summary.durationSeconds = samples.back().elapsed;

    for (auto it = samples.rbegin(); it != samples.rend(); ++it) {
        if (it->distanceMeters) {
            summary.totalDistanceMeters = it->distanceMeters;
            break;
        }
    }

    double speedSum = 0;
    std::size_t speedCount = 0;
    double speedMax = 0;
    CountReadingStatistics heartRates, cadences, powers;
    double gain = 0;
    std::optional<double> gainReference;
    std::optional<double> maxGrade;
    for (const auto& s : samples) {
        if (s.speedMetersPerSecond && std::isfinite(*s.speedMetersPerSecond) && *s.speedMetersPerSecond > 0) {
            speedSum += *s.speedMetersPerSecond;
            speedMax = speedCount == 0 ? *s.speedMetersPerSecond : std::max(speedMax, *s.speedMetersPerSecond);
            ++speedCount;
        }
        heartRates.add(s.heartRateBPM);
        cadences.add(s.cadenceRPM);
        powers.add(s.powerWatts);
        // Elevation gain with a 0.5 m dead band: a rise counts once the altitude
        // stands more than 0.5 m above the lowest point since the last counted
        // rise. Comparing only neighbouring samples would drop every climb that
        // rises less than 0.5 m per sample, which at one sample per second is
        // nearly every climb.
        if (s.altitudeMeters && std::isfinite(*s.altitudeMeters)) {
            if (!gainReference || *s.altitudeMeters < *gainReference) {
                gainReference = s.altitudeMeters;
            } else if (*s.altitudeMeters - *gainReference > 0.5) {
                gain += *s.altitudeMeters - *gainReference;
                gainReference = s.altitudeMeters;
            }
        }
        if (s.gradePercent && std::isfinite(*s.gradePercent) && *s.gradePercent > 0) {
            maxGrade = maxGrade ? std::max(*maxGrade, *s.gradePercent) : *s.gradePercent;
        }
    }
    if (speedCount > 0) {
        summary.averageSpeedMetersPerSecond = speedSum / static_cast<double>(speedCount);
        summary.maxSpeedMetersPerSecond = speedMax;
    }
    heartRates.fill(summary.averageHeartRateBPM, summary.maxHeartRateBPM);
    cadences.fill(summary.averageCadenceRPM, summary.maxCadenceRPM);
    powers.fill(summary.averagePowerWatts, summary.maxPowerWatts);
    if (gain > 0) summary.elevationGainMeters = gain;
    summary.maxGradePercent = maxGrade;
    return summary;
}

std::size_t TelemetryActivity::sampleIndex(double at) const {
    if (samples.empty()) return 0;
    const double t = clampedLookupTime(at, durationSeconds());
    std::size_t lo = 0;
    std::size_t hi = samples.size() - 1;
    while (lo < hi) {
        const std::size_t mid = (lo + hi + 1) / 2;
        if (samples[mid].elapsed > t) {
            hi = mid - 1;
        } else {
            lo = mid;
        }
    }
    return lo;
}

TelemetrySample TelemetryActivity::sample(double at) const {
    if (samples.empty()) return TelemetrySample{};
    return samples[sampleIndex(at)];
}

namespace {

// Centred mean of one reading around sample i: the present readings of the
// samples within the half window on each side, not reaching across a gap.
// Absent when sample i has no reading of its own.
template <class T>
std::optional<double> centredMean(const std::vector<TelemetrySample>& samples, std::size_t i,
                                  TelemetryReading<T> TelemetrySample::*reading) {
    const auto& own = samples[i].*reading;
    if (!own || !std::isfinite(static_cast<double>(*own))) return std::nullopt;
    double sum = static_cast<double>(*own);
    double count = 1;
    const double centre = samples[i].elapsed;
    const auto take = [&](std::size_t j) {
        const auto& value = samples[j].*reading;
        if (value && std::isfinite(static_cast<double>(*value))) {
            sum += static_cast<double>(*value);
            count += 1;
        }
    };
    for (std::size_t j = i, n = 0; j > 0 && n < TelemetryActivity::smoothingMaximumNeighbours; --j, ++n) {
        if (centre - samples[j - 1].elapsed > TelemetryActivity::smoothingHalfWindowSeconds ||
            samples[j].elapsed - samples[j - 1].elapsed > TelemetryActivity::interpolationGapLimitSeconds) {
            break;
        }
        take(j - 1);
    }
    for (std::size_t j = i, n = 0; j + 1 < samples.size() && n < TelemetryActivity::smoothingMaximumNeighbours;
         ++j, ++n) {
        if (samples[j + 1].elapsed - centre > TelemetryActivity::smoothingHalfWindowSeconds ||
            samples[j + 1].elapsed - samples[j].elapsed > TelemetryActivity::interpolationGapLimitSeconds) {
            break;
        }
        take(j + 1);
    }
    return sum / count;
}

TelemetrySample smoothedSample(const std::vector<TelemetrySample>& samples, std::size_t i,
                               TelemetryValueSmoothing smoothing) {
    TelemetrySample result = samples[i];
    if (smoothing == TelemetryValueSmoothing::speedAndPower) {
        result.speedMetersPerSecond = centredMean(samples, i, &TelemetrySample::speedMetersPerSecond);
        if (const auto power = centredMean(samples, i, &TelemetrySample::powerWatts)) {
            result.powerWatts = static_cast<std::int64_t>(std::llround(*power));
        }
    }
    return result;
}

// Moves `value` from its own reading towards `to`'s by `fraction`; keeps it
// when either reading is absent.
void interpolate(TelemetryReading<double>& value, const TelemetryReading<double>& to, double fraction) {
    if (value && to && std::isfinite(*value) && std::isfinite(*to)) *value += (*to - *value) * fraction;
}

void interpolate(TelemetryReading<std::int64_t>& value, const TelemetryReading<std::int64_t>& to, double fraction) {
    if (!value || !to) return;
    const double from = static_cast<double>(*value);
    *value = static_cast<std::int64_t>(std::llround(from + (static_cast<double>(*to) - from) * fraction));
}

}  // namespace

TelemetrySample TelemetryActivity::sample(double at, TelemetryValueSmoothing smoothing) const {
    if (samples.empty()) return TelemetrySample{};
    return smoothedSample(samples, sampleIndex(at), smoothing);
}

TelemetrySample TelemetryActivity::interpolatedSample(double at, TelemetryValueSmoothing smoothing) const {
    if (samples.empty()) return TelemetrySample{};
    const double t = clampedLookupTime(at, durationSeconds());
    const std::size_t i = sampleIndex(t);
    TelemetrySample result = smoothedSample(samples, i, smoothing);
    result.elapsed = t;
    if (i + 1 >= samples.size()) return result;
    const double from = samples[i].elapsed;
    const double span = samples[i + 1].elapsed - from;
    if (!(t > from) || !(span > 0) || span > interpolationGapLimitSeconds) return result;

    const double fraction = (t - from) / span;
    const TelemetrySample next = smoothedSample(samples, i + 1, smoothing);
    // A position moves only as a pair, and never the long way round across
    // the antimeridian.
    if (result.latitude && result.longitude && next.latitude && next.longitude &&
        std::abs(*next.longitude - *result.longitude) <= 180.0) {
        interpolate(result.latitude, next.latitude, fraction);
        interpolate(result.longitude, next.longitude, fraction);
    }
    interpolate(result.altitudeMeters, next.altitudeMeters, fraction);
    interpolate(result.distanceMeters, next.distanceMeters, fraction);
    interpolate(result.gradePercent, next.gradePercent, fraction);
    interpolate(result.speedMetersPerSecond, next.speedMetersPerSecond, fraction);
    interpolate(result.heartRateBPM, next.heartRateBPM, fraction);
    interpolate(result.cadenceRPM, next.cadenceRPM, fraction);
    interpolate(result.powerWatts, next.powerWatts, fraction);
    return result;
}

}  // namespace pacemark
