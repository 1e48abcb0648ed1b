// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Camera/ClipClock.h"
#include "Camera/GPMFReader.h"
#include "Video/ClipRideKnot.h"
#include "Telemetry/TelemetryActivity.h"
#include "Telemetry/TelemetryTime.h"

// Aligning an activity with a background video from the video's metadata:
// the recording location (ISO 6709) and the creation date. Everything here is
// pure and thread-agnostic; AppModel reads the metadata items through the movie
// reader, hands them to metadataFromItems() and applies the result.
namespace pacemark {

// A recording position in degrees, latitude −90…90, longitude −180…180.
struct VideoLocation {
    double latitude = 0;
    double longitude = 0;
    bool operator==(const VideoLocation&) const = default;
};

struct VideoSynchronizationMetadata {
    std::optional<VideoLocation> location;
    std::optional<TelemetryTimestamp> creationDate;
    bool operator==(const VideoSynchronizationMetadata&) const = default;
};

// One metadata item of a movie as the reader reports it: an identifier
// ("format/<key>", "stream/<index>/<key>"), the item's own key and its text,
// absent when the item has none.
struct VideoMetadataItem {
    std::string identifier;
    std::string key;
    std::optional<std::string> stringValue;
    bool operator==(const VideoMetadataItem&) const = default;
};

// The export segment in whole activity seconds.
struct VideoExportSegment {
    std::int64_t startOffsetSeconds = 0;
    std::int64_t exportEndSeconds = 0;
    bool operator==(const VideoExportSegment&) const = default;
};

struct VideoNearestLocationMatch {
    TelemetrySample sample;
    double distanceMeters = 0;
};

struct VideoNearestDateMatch {
    TelemetrySample sample;
    double differenceSeconds = 0;
};

// How a clip was placed on the ride, in the order they are tried.
enum class VideoSynchronizationMethod {
    cameraGPS,         // the camera's own GPS clock
    videoLocation,     // the recording location tag
    creationDate,      // the creation date as written
    creationDateZone,  // the creation date read as local time of a time zone
    previousChapter,   // right after the previous chapter of the same recording
    none,              // not placed
};

// What synchronization knows of one clip.
struct ClipSynchronizationInput {
    VideoSynchronizationMetadata metadata;
    CameraGPS cameraGPS;
    // Why the camera's metadata could not be read, when it could not.
    std::optional<std::string> cameraProblem;
    // Of the video track; NaN when unknown (the clip counts as an instant).
    double durationSeconds = std::numeric_limits<double>::quiet_NaN();
};

// Where a clip lies on the ride.
struct ClipPlacement {
    VideoSynchronizationMethod method = VideoSynchronizationMethod::none;
    // The ride's elapsed seconds at the clip's first frame: fractional and
    // possibly negative with the camera's clock, whole seconds otherwise.
    double startSeconds = 0;
    // How far the start may be off; absent when the method cannot say.
    std::optional<double> uncertaintySeconds;
    double rate = 1;  // ride seconds per clip second (from the first fix to the last)
    // A variable-speed clip's clock on the ride (at least two knots); empty
    // when the clip runs at `rate` throughout.
    std::vector<ClipRideKnot> rideKnots;
    std::optional<int> zoneOffsetMinutes;  // the camera clock's offset from UTC
    std::optional<double> positionMismatchMeters;
    std::string message;

    bool isPlaced() const { return method != VideoSynchronizationMethod::none; }
};

namespace VideoSynchronization {

// Median distances between the camera's and the ride's positions above this
// mean the clip is not from this ride.
inline constexpr double positionMismatchLimitMeters = 200;
// The farthest a camera clock's zone can be from UTC.
inline constexpr int maximumZoneOffsetMinutes = 14 * 60;

// "camera-gps", "video-location", "creation-date", "creation-date-zone",
// "previous-chapter", "none".
std::string_view methodName(VideoSynchronizationMethod method);

// Places a clip on the ride: the camera's GPS clock first (its UTC is the
// receiver's, so a clip it puts outside the ride is not placed by anything
// else); then the location tag; then the creation date, which when it puts
// the clip outside the ride is read as local time — the ride's own offset
// where the file gives it, else the one whole-hour (then half-, then
// quarter-hour) zone within ±14 h that makes the clip overlap the ride. A
// clip nothing can place is reported with the reason and `none`.
ClipPlacement placeClip(const TelemetryActivity& activity, const ClipSynchronizationInput& clip);

// Places a chapter of a recording that has no clock of its own right after
// the previous chapter: its first frame shows the ride where the previous
// chapter ended (previous start + previous duration × previous rate, or
// where a variable-speed chapter's clock says it ended), and
// it runs at the previous chapter's (mean) rate with its uncertainty. Durations
// that are not finite and positive count as 0. `previous` must be placed.
// Not placed (method none, with the reason) when that puts the chapter
// entirely before or after the ride. `previousName` names the previous
// chapter's file in the message.
ClipPlacement placeAfterPreviousChapter(const TelemetryActivity& activity, const ClipPlacement& previous,
                                        double previousDurationSeconds, double durationSeconds,
                                        std::string_view previousName);

// "UTC−8", "UTC+5:30", "UTC".
std::string zoneLabel(int offsetMinutes);

inline constexpr std::int64_t stillFrameMaximumWidth = 1920;
inline constexpr std::int64_t stillFrameMaximumHeight = 1080;
inline constexpr double playbackObserverPeriodSeconds = 0.1;

// The instant shown as a video's still frame: 0 for a duration that is not
// finite or at most 2 s, otherwise min(max(duration − 1, 1), 0.42 × duration),
// so the picture comes from the body of the clip rather than a black lead-in.
double stillFrameTimeSeconds(double durationSeconds);

// A creation date as cameras and phones write it: an internet date-time (with
// or without fraction), then the fixed forms "yyyy-MM-ddTHH:mm:ss.SSSSSS±hh:mm",
// ".SSS±hh:mm", "±hh:mm", "±hhmm", "yyyy-MM-dd HH:mm:ss ±hhmm", and, read in the
// process's current local time zone, "yyyy-MM-dd HH:mm:ss" and
// "yyyy:MM:dd HH:mm:ss". Surrounding white space and quotes are ignored.
std::optional<TelemetryTimestamp> parseVideoCreationDate(std::string_view text);

// An ISO 6709 position such as "+48.8577+002.2950+035.000/": the first two
// signed numbers are latitude and longitude (the altitude is ignored). Absent
// when fewer than two numbers are found or either is out of range.
std::optional<VideoLocation> parseISO6709Location(std::string_view text);

// Scans the items in order; the first location and the first creation date
// that parse win. Items whose identifier or key names "location.iso6709",
// "creationdate" or "creation_date" are consulted first; the reader's generic
// names for the same facts ("location", "location-<lang>", "creation_time")
// count only when no such item gave a value.
VideoSynchronizationMetadata metadataFromItems(std::span<const VideoMetadataItem> items);

// The sample closest to the location (haversine distance), among samples with
// finite coordinates; the earliest of equally close samples wins.
std::optional<VideoNearestLocationMatch> nearestSample(const VideoLocation& location,
                                                       const TelemetryActivity& activity);
// The sample whose timestamp is closest to the date; the earliest of equally
// close samples wins.
std::optional<VideoNearestDateMatch> nearestSample(TelemetryTimestamp date, const TelemetryActivity& activity);

// The status line when a clip's own metadata gave nothing to place it by.
std::string noSynchronizationMessage(const VideoSynchronizationMetadata& metadata);

// "999 м" below a kilometre, "1.50 км" from there on, "--" when not finite.
std::string metersLabel(double meters);

// The segment after synchronizing to `startSeconds`: the start moves there
// (kept inside 0…d − 1), the length is kept (at least 1 s) and the end is cut
// at d. Absent — leave the segment alone — when the activity's whole-second
// duration d is below 1. The result already satisfies the segment invariant.
std::optional<VideoExportSegment> applySynchronizedStartSeconds(std::int64_t startSeconds,
                                                                std::int64_t activityDurationSeconds,
                                                                VideoExportSegment segment);

}  // namespace VideoSynchronization
}  // namespace pacemark
