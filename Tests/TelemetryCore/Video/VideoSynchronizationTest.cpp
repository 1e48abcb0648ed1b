// SPDX-License-Identifier: GPL-3.0-or-later
#include "Video/VideoSynchronization.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <vector>

namespace pacemark {
namespace {

using namespace VideoSynchronization;

TelemetryTimestamp utc(std::string_view text) { return *parseISO8601InternetDateTime(text); }

// Runs `body` with TZ set to `zone`, then restores the previous setting.
void inTimeZone(const char* zone, const std::function<void()>& body) {
    const char* previous = std::getenv("TZ");
    const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
    setenv("TZ", zone, 1);
    tzset();
    body();
    if (saved) {
        setenv("TZ", saved->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TelemetrySample sampleAt(double elapsed, std::optional<double> latitude, std::optional<double> longitude,
                         std::optional<TelemetryTimestamp> timestamp = std::nullopt) {
    TelemetrySample sample;
    sample.elapsed = elapsed;
    sample.latitude = latitude;
    sample.longitude = longitude;
    sample.timestamp = timestamp;
    return sample;
}

TEST(VideoSynchronizationTest, StillFrameTimeComesFromTheBodyOfTheClip) {
    EXPECT_DOUBLE_EQ(stillFrameTimeSeconds(2.5), 1.05);
    EXPECT_EQ(stillFrameTimeSeconds(2), 0);
    EXPECT_EQ(stillFrameTimeSeconds(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(VideoSynchronizationTest, CreationDatesParseStrictly) {
    const auto expected = utc("2023-05-01T10:00:00.250Z");
    EXPECT_EQ(parseVideoCreationDate("2023-05-01T12:00:00.250+02:00"), expected);
    EXPECT_EQ(parseVideoCreationDate("  \"2023-05-01T10:00:00.250Z\"\n"), expected);
    // The phone form with a zone without colon, and the space-separated form.
    EXPECT_EQ(parseVideoCreationDate("2023-05-01T12:00:00+0200"), utc("2023-05-01T10:00:00Z"));
    EXPECT_EQ(parseVideoCreationDate("2023-05-01 12:00:00 +0200"), utc("2023-05-01T10:00:00Z"));
    // Without a zone: local time, here three hours east of UTC.
    inTimeZone("PMK-3", [] {
        EXPECT_EQ(parseVideoCreationDate("2023:05:01 13:00:00"), utc("2023-05-01T10:00:00Z"));
    });
    for (const char* text : {"", "2023-02-30 10:00:00", "2023-05-01T10:00:00", "2023:05:01 10:00:00 extra"}) {
        EXPECT_EQ(parseVideoCreationDate(text), std::nullopt) << text;
    }
}

TEST(VideoSynchronizationTest, ISO6709LocationsParseStrictly) {
    EXPECT_EQ(parseISO6709Location("+48.8577+002.2950+035.000/"), (VideoLocation{48.8577, 2.295}));
    EXPECT_EQ(parseISO6709Location(" -33.8688+151.2093/\n"), (VideoLocation{-33.8688, 151.2093}));
    EXPECT_EQ(parseISO6709Location("+91.0000+002.0000/"), std::nullopt);
    EXPECT_EQ(parseISO6709Location("+48.8577/"), std::nullopt);
    EXPECT_EQ(parseISO6709Location("+45.0000-180.5000/"), std::nullopt);
    EXPECT_EQ(parseISO6709Location("+nan+002.0/"), std::nullopt);
    // A token that is not a number is skipped; the next two are used.
    EXPECT_EQ(parseISO6709Location("+12abc+34.5+056.0/"), (VideoLocation{34.5, 56}));
}

TEST(VideoSynchronizationTest, MetadataScanTakesTheFirstUsableItemsPreferringSpecificOnes) {
    const std::vector<VideoMetadataItem> items = {
        {"format/major_brand", "major_brand", "qt  "},
        {"format/com.apple.quicktime.location.ISO6709", "com.apple.quicktime.location.ISO6709", "+95+10/"},
        {"format/com.apple.quicktime.creationdate", "com.apple.quicktime.creationdate", std::nullopt},
        {"format/com.apple.quicktime.location.ISO6709", "com.apple.quicktime.location.ISO6709", " +10+20/\n"},
        {"format/com.apple.quicktime.creationdate", "com.apple.quicktime.creationdate", "2023-05-01T12:00:00+0200"},
        {"format/com.apple.quicktime.location.ISO6709", "com.apple.quicktime.location.ISO6709", "+30+40/"},
    };
    EXPECT_EQ(metadataFromItems(items),
              (VideoSynchronizationMetadata{VideoLocation{10, 20}, utc("2023-05-01T10:00:00Z")}));

    // The container's creation_time comes first in the file, but the dedicated
    // creation-date item wins; the user-data location is used when nothing else names one.
    const std::vector<VideoMetadataItem> withBoth = {
        {"format/creation_time", "creation_time", "2023-05-01T09:00:00.000000Z"},
        {"format/location", "location", "+10+20/"},
        {"format/com.apple.quicktime.creationdate", "com.apple.quicktime.creationdate", "2023-05-01T12:00:00+0200"},
    };
    EXPECT_EQ(metadataFromItems(withBoth),
              (VideoSynchronizationMetadata{VideoLocation{10, 20}, utc("2023-05-01T10:00:00Z")}));

    // Phones write the location with a language suffix; the container's time wins over a stream's.
    const std::vector<VideoMetadataItem> phoneMP4 = {
        {"format/creation_time", "creation_time", "2023-05-01T09:00:00.000000Z"},
        {"format/location-eng", "location-eng", "+48.8577+002.2950/"},
        {"stream/0/creation_time", "creation_time", "2020-01-01T00:00:00.000000Z"},
    };
    EXPECT_EQ(metadataFromItems(phoneMP4),
              (VideoSynchronizationMetadata{VideoLocation{48.8577, 2.295}, utc("2023-05-01T09:00:00Z")}));
}

TEST(VideoSynchronizationTest, NearestSampleIsTheFirstCompleteOne) {
    TelemetryActivity activity;
    const auto start = utc("2023-05-01T10:00:00Z");
    activity.samples = {
        sampleAt(0, std::nullopt, 2.0),
        sampleAt(1, 48.0, 2.0, start + std::chrono::seconds(1)),
        sampleAt(2, 48.0, 2.0, start + std::chrono::seconds(3)),
        sampleAt(3, std::numeric_limits<double>::quiet_NaN(), 2.0),
        sampleAt(4, 48.1, 2.0, start + std::chrono::seconds(5)),
    };
    // The distances and differences themselves are in the messages of the
    // synchronization results below.
    const auto byLocation = nearestSample(VideoLocation{48.09, 2.0}, activity);
    ASSERT_TRUE(byLocation);
    EXPECT_EQ(byLocation->sample.elapsed, 4);
    const auto byDate = nearestSample(start + std::chrono::seconds(2), activity);  // 1 s from both
    ASSERT_TRUE(byDate);
    EXPECT_EQ(byDate->sample.elapsed, 1);
}

// Where a clip with only its own metadata (no camera GPS) lands on `activity`.
ClipPlacement placedBy(const TelemetryActivity& activity, const VideoSynchronizationMetadata& metadata) {
    ClipSynchronizationInput clip;
    clip.metadata = metadata;
    return placeClip(activity, clip);
}

TEST(VideoSynchronizationTest, VideoLocationWinsOverTheDateHoweverFarAway) {
    TelemetryActivity activity;
    const auto start = utc("2023-05-01T10:00:00Z");
    activity.samples = {sampleAt(0, 48.0, 2.0, start), sampleAt(1234.5, 49.0, 2.0, start + std::chrono::seconds(1234))};
    // The video's location is about 56 km from the nearest point; its date
    // matches the first sample exactly.
    const ClipPlacement byLocation = placedBy(activity, {VideoLocation{49.5, 2.0}, start});
    EXPECT_EQ(byLocation.method, VideoSynchronizationMethod::videoLocation);
    EXPECT_EQ(byLocation.startSeconds, 1235);
    EXPECT_EQ(byLocation.message, "Синхронизировано по GPS видео: старт 20:35, ближайшая точка 55.60 км.");

    const ClipPlacement byDate = placedBy(activity, {std::nullopt, start + std::chrono::seconds(1200)});
    EXPECT_EQ(byDate.method, VideoSynchronizationMethod::creationDate);
    EXPECT_EQ(byDate.startSeconds, 1200);
    EXPECT_EQ(byDate.message, "Синхронизировано по времени съемки: старт 20:00, разница 00:34.");
}

TEST(VideoSynchronizationTest, MetadataTheTrackCannotMatchIsExplained) {
    // AppModelVideoTest shows the GPS case of a track without positions; GPS
    // the track cannot use falls back to the date it can.
    const auto start = utc("2023-05-01T10:00:00Z");
    TelemetryActivity timesOnly;
    timesOnly.samples = {sampleAt(0, std::nullopt, std::nullopt, start)};
    TelemetryActivity positionsOnly;
    positionsOnly.samples = {sampleAt(0, 48.0, 2.0)};
    const ClipPlacement both = placedBy(timesOnly, {VideoLocation{48, 2}, start});
    EXPECT_EQ(both.method, VideoSynchronizationMethod::creationDate);
    EXPECT_EQ(both.message, "Синхронизировано по времени съемки: старт 00:00, разница 00:00.");
    EXPECT_EQ(placedBy(positionsOnly, {}).message, "В metadata видео не нашел GPS или дату съемки.");
}

TEST(VideoSynchronizationTest, SynchronizedStartMovesTheWholeSegment) {
    // A start inside the activity keeps the length, or ends at the
    // activity's end (AppModelVideoTest moves a segment both ways).
    const VideoExportSegment segment{600, 900};
    EXPECT_EQ(applySynchronizedStartSeconds(5000, 2000, segment), (VideoExportSegment{1999, 2000}));
    EXPECT_EQ(applySynchronizedStartSeconds(-20, 2000, segment), (VideoExportSegment{0, 300}));
    // An empty segment becomes one second long.
    EXPECT_EQ(applySynchronizedStartSeconds(10, 2000, VideoExportSegment{0, 0}), (VideoExportSegment{10, 11}));
    // An activity shorter than a whole second leaves everything alone.
    EXPECT_EQ(applySynchronizedStartSeconds(7, 0, segment), std::nullopt);
}

}  // namespace
}  // namespace pacemark
