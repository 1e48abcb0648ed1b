// SPDX-License-Identifier: GPL-3.0-or-later
#include "Video/VideoSynchronization.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <vector>

#include "Telemetry/TelemetryFormatters.h"
#include "TextTrimming.h"

namespace pacemark::VideoSynchronization {
namespace {

std::string_view trimmed(std::string_view text, std::string_view characters) {
    const auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

std::string lowercased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return result;
}

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Fields of a date read by one fixed pattern.
struct DateFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    std::int64_t microseconds = 0;
    bool hasZone = false;
    std::int64_t offsetSeconds = 0;
};

// "±hh:mm", "±hh:mm:ss" or "Z" (colon = true); "±hhmm" (colon = false).
bool readZone(std::string_view text, std::size_t& pos, bool colon, DateFields& fields) {
    if (pos >= text.size()) return false;
    if (colon && text[pos] == 'Z') {
        ++pos;
        fields.hasZone = true;
        return true;
    }
    if (text[pos] != '+' && text[pos] != '-') return false;
    const int sign = text[pos] == '-' ? -1 : 1;
    ++pos;
    int hours = 0, minutes = 0, seconds = 0;
    if (!readFixedDigits(text, pos, 2, hours)) return false;
    if (colon && (pos >= text.size() || text[pos++] != ':')) return false;
    if (!readFixedDigits(text, pos, 2, minutes)) return false;
    if (colon && pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!readFixedDigits(text, pos, 2, seconds)) return false;
    }
    if (hours > 23 || minutes > 59 || seconds > 59) return false;
    fields.hasZone = true;
    fields.offsetSeconds = sign * (hours * 3600 + minutes * 60 + seconds);
    return true;
}

// Matches the whole text against a pattern: Y four-digit year, M month, D day,
// h hour, m minute, s second (two digits each), f one fraction digit, X an
// ISO zone ("Z", "±hh:mm"), Z a numeric zone ("±hhmm"); anything else is literal.
std::optional<DateFields> matchPattern(std::string_view text, std::string_view pattern) {
    DateFields fields;
    std::size_t pos = 0;
    std::int64_t fractionScale = 100000;
    for (const char token : pattern) {
        bool ok = true;
        switch (token) {
        case 'Y': ok = readFixedDigits(text, pos, 4, fields.year); break;
        case 'M': ok = readFixedDigits(text, pos, 2, fields.month); break;
        case 'D': ok = readFixedDigits(text, pos, 2, fields.day); break;
        case 'h': ok = readFixedDigits(text, pos, 2, fields.hour); break;
        case 'm': ok = readFixedDigits(text, pos, 2, fields.minute); break;
        case 's': ok = readFixedDigits(text, pos, 2, fields.second); break;
        case 'f': {
            int digit = 0;
            ok = readFixedDigits(text, pos, 1, digit);
            fields.microseconds += digit * fractionScale;
            fractionScale /= 10;
            break;
        }
        case 'X': ok = readZone(text, pos, true, fields); break;
        case 'Z': ok = readZone(text, pos, false, fields); break;
        default: ok = pos < text.size() && text[pos++] == token; break;
        }
        if (!ok) return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
    return fields;
}

bool isLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool isValidDate(const DateFields& f) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (f.month < 1 || f.month > 12 || f.day < 1) return false;
    const int monthDays = f.month == 2 && isLeapYear(f.year) ? 29 : days[f.month - 1];
    return f.day <= monthDays && f.hour <= 23 && f.minute <= 59 && f.second <= 59;
}

std::optional<TelemetryTimestamp> timestampFromFields(const DateFields& f) {
    if (!isValidDate(f)) return std::nullopt;
    std::int64_t seconds = 0;
    if (f.hasZone) {
        seconds = daysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) * 86400 +
                  f.hour * 3600 + f.minute * 60 + f.second - f.offsetSeconds;
    } else {
        // A wall-clock time without zone is read in the current local zone,
        // daylight saving decided by the C library for that date.
        std::tm local{};
        local.tm_year = f.year - 1900;
        local.tm_mon = f.month - 1;
        local.tm_mday = f.day;
        local.tm_hour = f.hour;
        local.tm_min = f.minute;
        local.tm_sec = f.second;
        local.tm_isdst = -1;
        const std::time_t converted = std::mktime(&local);
        if (converted == static_cast<std::time_t>(-1)) return std::nullopt;
        seconds = static_cast<std::int64_t>(converted);
    }
    return TelemetryTimestamp(std::chrono::microseconds(seconds * 1'000'000 + f.microseconds));
}

// Tried in order after the internet date-time parser.
constexpr std::string_view fixedDatePatterns[] = {
    "Y-M-DTh:m:s.ffffffX", "Y-M-DTh:m:s.fffX", "Y-M-DTh:m:sX", "Y-M-DTh:m:sZ",
    "Y-M-D h:m:s Z",       "Y-M-D h:m:s",      "Y:M:D h:m:s",
};

// A signed decimal number such as "+048.8577" or "-33.8688"; the whole token
// must be the number.
std::optional<double> signedNumber(std::string_view token) {
    if (token.size() < 2) return std::nullopt;
    const double sign = token[0] == '-' ? -1.0 : 1.0;
    const std::string_view digits = token.substr(1);
    double value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec != std::errc{} || result.ptr != digits.data() + digits.size()) return std::nullopt;
    return sign * value;
}

bool isLocationKey(const std::string& key) { return key == "location" || key.starts_with("location-"); }

}  // namespace

double stillFrameTimeSeconds(double durationSeconds) {
    if (!std::isfinite(durationSeconds) || durationSeconds <= 2) return 0;
    return std::min(std::max(durationSeconds - 1, 1.0), durationSeconds * 0.42);
}

std::optional<TelemetryTimestamp> parseVideoCreationDate(std::string_view text) {
    const std::string_view value = trimmed(trimmedWhitespace(text), "\"'");
    if (value.empty()) return std::nullopt;
    if (auto date = parseISO8601InternetDateTime(value)) return date;
    for (const std::string_view pattern : fixedDatePatterns) {
        if (auto fields = matchPattern(value, pattern)) {
            if (auto date = timestampFromFields(*fields)) return date;
        }
    }
    return std::nullopt;
}

std::optional<VideoLocation> parseISO6709Location(std::string_view text) {
    const std::string_view value = trimmedWhitespace(text);
    std::vector<double> numbers;
    std::size_t pos = 0;
    while (pos < value.size()) {
        if (value[pos] != '+' && value[pos] != '-') {
            ++pos;
            continue;
        }
        const std::size_t end = value.find_first_of("+-/", pos + 1);
        const std::size_t tokenEnd = end == std::string_view::npos ? value.size() : end;
        if (auto number = signedNumber(value.substr(pos, tokenEnd - pos))) numbers.push_back(*number);
        pos = tokenEnd;
    }
    if (numbers.size() < 2) return std::nullopt;
    const double latitude = numbers[0];
    const double longitude = numbers[1];
    // Written so that NaN fails the test.
    if (!(latitude >= -90 && latitude <= 90 && longitude >= -180 && longitude <= 180)) return std::nullopt;
    return VideoLocation{latitude, longitude};
}

VideoSynchronizationMetadata metadataFromItems(std::span<const VideoMetadataItem> items) {
    struct Scanned {
        std::string identifier;
        std::string key;
        std::optional<std::string> value;
    };
    std::vector<Scanned> scanned;
    scanned.reserve(items.size());
    for (const auto& item : items) {
        std::optional<std::string> value;
        if (item.stringValue) value = std::string(trimmedWhitespace(*item.stringValue));
        scanned.push_back({lowercased(item.identifier), lowercased(item.key), std::move(value)});
    }

    VideoSynchronizationMetadata metadata;
    for (const auto& item : scanned) {
        if (!item.value) continue;
        if (!metadata.location &&
            (contains(item.identifier, "location.iso6709") || contains(item.key, "location.iso6709"))) {
            metadata.location = parseISO6709Location(*item.value);
        }
        if (!metadata.creationDate &&
            (contains(item.identifier, "creationdate") || contains(item.key, "creationdate") ||
             contains(item.key, "creation_date"))) {
            metadata.creationDate = parseVideoCreationDate(*item.value);
        }
    }
    // The user-data location (and its language variants) and the container's
    // creation time are what most camera and phone MP4 files carry.
    for (const auto& item : scanned) {
        if (!item.value) continue;
        if (!metadata.location && isLocationKey(item.key)) metadata.location = parseISO6709Location(*item.value);
        if (!metadata.creationDate && item.key == "creation_time") {
            metadata.creationDate = parseVideoCreationDate(*item.value);
        }
    }
    return metadata;
}

std::optional<VideoNearestLocationMatch> nearestSample(const VideoLocation& location,
                                                       const TelemetryActivity& activity) {
    std::optional<VideoNearestLocationMatch> best;
    for (const auto& sample : activity.samples) {
        if (!sample.latitude || !sample.longitude || !std::isfinite(*sample.latitude) ||
            !std::isfinite(*sample.longitude)) {
            continue;
        }
        const double distance = TelemetryActivity::haversineMeters(location.latitude, location.longitude,
                                                                   *sample.latitude, *sample.longitude);
        if (!best || distance < best->distanceMeters) best = VideoNearestLocationMatch{sample, distance};
    }
    return best;
}

std::optional<VideoNearestDateMatch> nearestSample(TelemetryTimestamp date, const TelemetryActivity& activity) {
    std::optional<VideoNearestDateMatch> best;
    for (const auto& sample : activity.samples) {
        if (!sample.timestamp) continue;
        const double difference = std::fabs(secondsBetween(*sample.timestamp, date));
        if (!best || difference < best->differenceSeconds) best = VideoNearestDateMatch{sample, difference};
    }
    return best;
}

std::string noSynchronizationMessage(const VideoSynchronizationMetadata& metadata) {
    if (metadata.location) return "В видео есть GPS, но в треке нет координат для сопоставления.";
    if (metadata.creationDate) return "В видео есть дата съемки, но в треке нет timestamp для сопоставления.";
    return "В metadata видео не нашел GPS или дату съемки.";
}

std::string metersLabel(double meters) {
    if (!std::isfinite(meters)) return std::string(TelemetryFormatters::missing);
    if (meters >= 1000) return TelemetryFormatters::fixed(meters / 1000, 2) + " км";
    return TelemetryFormatters::fixed(meters, 0) + " м";
}

std::optional<VideoExportSegment> applySynchronizedStartSeconds(std::int64_t startSeconds,
                                                                std::int64_t activityDurationSeconds,
                                                                VideoExportSegment segment) {
    const std::int64_t d = activityDurationSeconds;
    if (d < 1) return std::nullopt;
    const std::int64_t length = std::max<std::int64_t>(segment.exportEndSeconds - segment.startOffsetSeconds, 1);
    VideoExportSegment result;
    result.startOffsetSeconds = std::min(std::max<std::int64_t>(startSeconds, 0), d - 1);
    // The start is at most d − 1, so a length of at least 1 never leaves the end
    // at or before the start; no overflow for lengths near the integer limit.
    result.exportEndSeconds = length >= d - result.startOffsetSeconds ? d : result.startOffsetSeconds + length;
    return result;
}

}  // namespace pacemark::VideoSynchronization

namespace pacemark::VideoSynchronization {
namespace {

// The ride's samples that carry a time, in time order, and the elapsed time
// at any instant (linear between them, one second per second beyond).
class RideTimeline {
public:
    explicit RideTimeline(const TelemetryActivity& activity) {
        for (const auto& sample : activity.samples) {
            if (sample.timestamp) timed_.push_back(&sample);
        }
        std::stable_sort(timed_.begin(), timed_.end(),
                         [](const TelemetrySample* a, const TelemetrySample* b) { return *a->timestamp < *b->timestamp; });
        for (const auto* sample : timed_) {
            if (sample->latitude && sample->longitude && std::isfinite(*sample->latitude) &&
                std::isfinite(*sample->longitude)) {
                positioned_.push_back(sample);
            }
        }
    }

    bool isEmpty() const { return timed_.empty(); }
    TelemetryTimestamp start() const { return *timed_.front()->timestamp; }
    TelemetryTimestamp end() const { return *timed_.back()->timestamp; }

    double elapsedAt(TelemetryTimestamp time) const {
        const auto after = std::lower_bound(timed_.begin(), timed_.end(), time,
                                            [](const TelemetrySample* s, TelemetryTimestamp t) { return *s->timestamp < t; });
        if (after == timed_.begin()) return timed_.front()->elapsed + secondsBetween(start(), time);
        if (after == timed_.end()) return timed_.back()->elapsed + secondsBetween(end(), time);
        const TelemetrySample& b = **after;
        const TelemetrySample& a = **(after - 1);
        const double span = secondsBetween(*a.timestamp, *b.timestamp);
        const double part = span > 0 ? secondsBetween(*a.timestamp, time) / span : 0;
        return a.elapsed + (b.elapsed - a.elapsed) * part;
    }

    // The ride's position at an instant inside its positioned stretch.
    std::optional<VideoLocation> positionAt(TelemetryTimestamp time) const {
        if (positioned_.empty() || time < *positioned_.front()->timestamp || time > *positioned_.back()->timestamp) {
            return std::nullopt;
        }
        const auto after = std::lower_bound(positioned_.begin(), positioned_.end(), time,
                                            [](const TelemetrySample* s, TelemetryTimestamp t) { return *s->timestamp < t; });
        const TelemetrySample& b = **after;
        if (after == positioned_.begin()) return VideoLocation{*b.latitude, *b.longitude};
        const TelemetrySample& a = **(after - 1);
        const double span = secondsBetween(*a.timestamp, *b.timestamp);
        const double part = span > 0 ? secondsBetween(*a.timestamp, time) / span : 0;
        return VideoLocation{*a.latitude + (*b.latitude - *a.latitude) * part,
                             *a.longitude + (*b.longitude - *a.longitude) * part};
    }

private:
    std::vector<const TelemetrySample*> timed_;
    std::vector<const TelemetrySample*> positioned_;
};

TelemetryTimestamp plusSeconds(TelemetryTimestamp time, double seconds) {
    return time + std::chrono::microseconds(std::llround(seconds * 1e6));
}

bool overlaps(const RideTimeline& ride, TelemetryTimestamp first, TelemetryTimestamp last) {
    return last >= ride.start() && first <= ride.end();
}

double clipLength(double durationSeconds) {
    return std::isfinite(durationSeconds) && durationSeconds > 0 ? durationSeconds : 0.0;
}

// "10:00.4", "−00:03.0": elapsed text with tenths, signed.
std::string startLabel(double seconds) {
    const double tenths = std::round(std::fabs(seconds) * 10) / 10;
    const double whole = std::floor(tenths);
    return std::string(seconds < 0 && tenths > 0 ? "−" : "") + TelemetryFormatters::elapsed(whole) + "." +
           std::to_string(static_cast<int>(std::llround((tenths - whole) * 10)));
}

const std::string notPlaced = ": видео не синхронизировано.";

// The median distance between the camera's positions and the ride's at the
// same instants (on the clip's clock), over at most about 2000 samples.
std::optional<double> positionMismatch(const RideTimeline& ride, const ClipClock& clock,
                                       std::span<const CameraGPSSample> samples) {
    std::vector<const CameraGPSSample*> usable;
    for (const auto& sample : samples) {
        if (sample.isUsable()) usable.push_back(&sample);
    }
    const std::size_t step = std::max<std::size_t>(1, usable.size() / 2000);
    std::vector<double> distances;
    for (std::size_t i = 0; i < usable.size(); i += step) {
        const auto position = ride.positionAt(clock.utcAt(usable[i]->movieSeconds));
        if (!position) continue;
        distances.push_back(TelemetryActivity::haversineMeters(usable[i]->latitude, usable[i]->longitude,
                                                               position->latitude, position->longitude));
    }
    if (distances.empty()) return std::nullopt;
    const auto middle = distances.begin() + static_cast<std::ptrdiff_t>(distances.size() / 2);
    std::nth_element(distances.begin(), middle, distances.end());
    return *middle;
}

ClipPlacement placeByCamera(const RideTimeline& ride, const ClipClock& clock, const ClipSynchronizationInput& clip) {
    ClipPlacement placement;
    const TelemetryTimestamp first = clock.utcAt(0);
    const TelemetryTimestamp last = clock.utcAt(clipLength(clip.durationSeconds));
    if (!overlaps(ride, first, last)) {
        const bool before = last < ride.start();
        const double gap = before ? secondsBetween(last, ride.start()) : secondsBetween(ride.end(), first);
        placement.message = std::string("По GPS камеры видео снято ") +
                            (before ? "до начала трека" : "после конца трека") + " (на " +
                            TelemetryFormatters::elapsed(gap) + ")" + notPlaced;
        return placement;
    }
    placement.method = VideoSynchronizationMethod::cameraGPS;
    placement.startSeconds = ride.elapsedAt(first);
    placement.uncertaintySeconds = clock.uncertaintySeconds();
    placement.rate = clock.rate();
    if (clock.isVariable()) {
        for (const ClipClockKnot& knot : clock.knots()) {
            placement.rideKnots.push_back({knot.movieSeconds, ride.elapsedAt(knot.utc)});
        }
    }
    placement.message = "Синхронизировано по GPS камеры: старт " + startLabel(placement.startSeconds) + " (±" +
                        TelemetryFormatters::fixed(clock.uncertaintySeconds(), 1) + " с)";
    if (clock.rate() != 1) {
        placement.message += ", скорость ×" + TelemetryFormatters::fixed(clock.rate(), 1) +
                             (clock.isVariable() ? " (переменная)" : "");
    }
    placement.message += ".";
    placement.positionMismatchMeters = positionMismatch(ride, clock, clip.cameraGPS.bestSamples());
    if (placement.positionMismatchMeters && *placement.positionMismatchMeters > positionMismatchLimitMeters) {
        placement.message += " Внимание: позиции камеры в среднем в " + metersLabel(*placement.positionMismatchMeters) +
                             " от трека, похоже, видео не с этой поездки.";
    }
    return placement;
}

ClipPlacement placedByDate(const TelemetryActivity& activity, const RideTimeline& ride, TelemetryTimestamp date,
                           std::optional<int> zoneMinutes) {
    ClipPlacement placement;
    placement.method =
        zoneMinutes ? VideoSynchronizationMethod::creationDateZone : VideoSynchronizationMethod::creationDate;
    placement.startSeconds = static_cast<double>(std::llround(ride.elapsedAt(date)));
    placement.zoneOffsetMinutes = zoneMinutes;
    const auto nearest = nearestSample(date, activity);
    const double difference = nearest ? nearest->differenceSeconds : 0;
    placement.message = std::string("Синхронизировано по времени съемки") +
                        (zoneMinutes ? " с поправкой на часовой пояс " + zoneLabel(*zoneMinutes) : "") +
                        ": старт " + (placement.startSeconds < 0 ? "−" : "") +
                        TelemetryFormatters::elapsed(std::fabs(placement.startSeconds)) + ", разница " +
                        TelemetryFormatters::elapsed(difference) + ".";
    return placement;
}

ClipPlacement placeByDate(const TelemetryActivity& activity, const RideTimeline& ride, TelemetryTimestamp written,
                          double length) {
    // The instant a camera clock set to a zone `minutes` east of UTC shows as
    // `written` when it labels its local time as UTC.
    const auto shifted = [&](int minutes) { return written - std::chrono::minutes(minutes); };
    const auto fits = [&](TelemetryTimestamp date) { return overlaps(ride, date, plusSeconds(date, length)); };
    if (fits(written)) return placedByDate(activity, ride, written, std::nullopt);
    if (activity.localTimeOffsetSeconds && *activity.localTimeOffsetSeconds % 60 == 0) {
        const int minutes = static_cast<int>(*activity.localTimeOffsetSeconds / 60);
        if (minutes != 0 && fits(shifted(minutes))) return placedByDate(activity, ride, shifted(minutes), minutes);
    }
    // Whole hours first, then the half- and quarter-hour zones.
    for (const int step : {60, 30, 15}) {
        std::vector<int> fitting;
        for (int minutes = -maximumZoneOffsetMinutes; minutes <= maximumZoneOffsetMinutes; minutes += step) {
            if (minutes == 0 || (step < 60 && minutes % (2 * step) == 0)) continue;
            if (fits(shifted(minutes))) fitting.push_back(minutes);
        }
        if (fitting.size() == 1) return placedByDate(activity, ride, shifted(fitting.front()), fitting.front());
        if (fitting.size() > 1) {
            ClipPlacement placement;
            std::string zones;
            for (std::size_t i = 0; i < fitting.size() && i < 4; ++i) zones += (i ? ", " : "") + zoneLabel(fitting[i]);
            if (fitting.size() > 4) zones += "…";
            placement.message = "Дата съемки видео подходит к треку в нескольких часовых поясах (" + zones + ")" +
                                notPlaced;
            return placement;
        }
    }
    ClipPlacement placement;
    placement.message = "Дата съемки видео не попадает в трек ни в одном часовом поясе" + notPlaced;
    return placement;
}

}  // namespace

std::string_view methodName(VideoSynchronizationMethod method) {
    switch (method) {
    case VideoSynchronizationMethod::cameraGPS: return "camera-gps";
    case VideoSynchronizationMethod::videoLocation: return "video-location";
    case VideoSynchronizationMethod::creationDate: return "creation-date";
    case VideoSynchronizationMethod::creationDateZone: return "creation-date-zone";
    case VideoSynchronizationMethod::previousChapter: return "previous-chapter";
    case VideoSynchronizationMethod::none: return "none";
    }
    return "none";
}

std::string zoneLabel(int offsetMinutes) {
    if (offsetMinutes == 0) return "UTC";
    const int magnitude = std::abs(offsetMinutes);
    std::string label = std::string("UTC") + (offsetMinutes < 0 ? "−" : "+") + std::to_string(magnitude / 60);
    if (magnitude % 60) label += ":" + std::string(magnitude % 60 < 10 ? "0" : "") + std::to_string(magnitude % 60);
    return label;
}

ClipPlacement placeClip(const TelemetryActivity& activity, const ClipSynchronizationInput& clip) {
    const RideTimeline ride(activity);
    std::string cameraNote;
    if (clip.cameraProblem) {
        cameraNote = " GPS камеры не прочитан: " + *clip.cameraProblem;
    } else if (const auto clock = ClipClock::fromCameraGPS(clip.cameraGPS)) {
        if (!ride.isEmpty()) return placeByCamera(ride, *clock, clip);
        cameraNote = " В треке нет timestamp, GPS камеры не с чем сопоставить.";
    } else if (clip.cameraGPS.hasGPS()) {
        cameraNote = " GPS камеры без фиксации спутников, по нему время не определить.";
    }

    ClipPlacement placement;
    if (clip.metadata.location) {
        if (const auto match = nearestSample(*clip.metadata.location, activity)) {
            placement.method = VideoSynchronizationMethod::videoLocation;
            placement.startSeconds = static_cast<double>(std::llround(match->sample.elapsed));
            placement.message = "Синхронизировано по GPS видео: старт " + TelemetryFormatters::elapsed(match->sample.elapsed) +
                                ", ближайшая точка " + metersLabel(match->distanceMeters) + ".";
            placement.message += cameraNote;
            return placement;
        }
    }
    if (clip.metadata.creationDate && !ride.isEmpty()) {
        placement = placeByDate(activity, ride, *clip.metadata.creationDate, clipLength(clip.durationSeconds));
    } else {
        placement.message = noSynchronizationMessage(clip.metadata);
    }
    placement.message += cameraNote;
    return placement;
}

ClipPlacement placeAfterPreviousChapter(const TelemetryActivity& activity, const ClipPlacement& previous,
                                        double previousDurationSeconds, double durationSeconds,
                                        std::string_view previousName) {
    ClipPlacement placement;
    // A variable-speed chapter ends where its own clock says.
    const double start = previous.rideKnots.empty()
                             ? previous.startSeconds + clipLength(previousDurationSeconds) * previous.rate
                             : rideSecondsAt(previous.rideKnots, clipLength(previousDurationSeconds));
    const double end = start + clipLength(durationSeconds) * previous.rate;
    const double rideEnd = activity.durationSeconds();
    const std::string after = " (по предыдущей главе записи, " + std::string(previousName) + ")";
    if (end < 0 || start > rideEnd) {
        const bool before = end < 0;
        placement.message = std::string("Видео снято ") + (before ? "до начала трека" : "после конца трека") + after +
                            " (на " + TelemetryFormatters::elapsed(before ? -end : start - rideEnd) + ")" + notPlaced;
        return placement;
    }
    placement.method = VideoSynchronizationMethod::previousChapter;
    placement.startSeconds = start;
    placement.uncertaintySeconds = previous.uncertaintySeconds;
    placement.rate = previous.rate;
    placement.message = "Синхронизировано сразу после предыдущей главы записи (" + std::string(previousName) +
                        "): старт " + startLabel(start);
    if (previous.rate != 1) placement.message += ", скорость ×" + TelemetryFormatters::fixed(previous.rate, 1);
    placement.message += ".";
    return placement;
}

}  // namespace pacemark::VideoSynchronization
