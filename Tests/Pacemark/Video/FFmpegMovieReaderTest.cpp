// SPDX-License-Identifier: GPL-3.0-or-later
#include "FFmpegMovieReader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Video/VideoSynchronization.h"
#include "VideoTestMovies.h"

namespace pacemark {
namespace {

using namespace testing;

class FFmpegMovieReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    }
    TemporaryFolder folder;
};

TelemetryTimestamp utc(std::string_view text) { return *parseISO8601InternetDateTime(text); }

using Size = std::pair<std::int64_t, std::int64_t>;
Size sizeOf(const MovieImage& image) { return {image.width, image.height}; }

// 'r' or 'b' where the pixel at (x, y) is clearly red or blue, '?' otherwise.
char colourAt(const MovieImage& image, std::int64_t x, std::int64_t y) {
    const std::uint8_t* p = image.pixels.data() + (y * image.width + x) * 4;
    if (p[2] > 180 && p[1] < 80 && p[0] < 80) return 'r';
    if (p[0] > 180 && p[1] < 80 && p[2] < 80) return 'b';
    return '?';
}

// A phone's MP4 user data, a camera's QuickTime keys (read verbatim), and a
// movie without metadata.
TEST_F(FFmpegMovieReaderTest, MetadataGivesWhatSynchronizationNeeds) {
    const std::tuple<const char*, const char*, VideoSynchronizationMetadata> cases[] = {
        {"phone.mp4", "-metadata location=+48.8577+002.2950/ -metadata creation_time=2023-05-01T10:00:00Z",
         {VideoLocation{48.8577, 2.295}, utc("2023-05-01T10:00:00Z")}},
        {"camera.mov",
         "-movflags use_metadata_tags -metadata com.apple.quicktime.location.ISO6709=-33.8688+151.2093+012.000/"
         " -metadata com.apple.quicktime.creationdate=2023-05-01T12:00:00+0200",
         {VideoLocation{-33.8688, 151.2093}, utc("2023-05-01T10:00:00Z")}},
        {"plain.mov", "-map_metadata -1", {}},
    };
    for (const auto& [name, arguments, expected] : cases) {
        makeTestMovie(folder / name, "testsrc=size=320x240:rate=25", 3, arguments);
        std::vector<VideoMetadataItem> items;
        for (const auto& item : FFmpegMovieReader(folder / name).metadataItems()) {
            items.push_back({item.identifier, item.key, item.stringValue});
        }
        EXPECT_EQ(VideoSynchronization::metadataFromItems(items), expected) << name;
    }

    // Container items come before any stream's (whose creation time is the encoder's).
    const auto phone = FFmpegMovieReader(folder / "phone.mp4").metadataItems();
    const auto ofContainer = [](const MovieMetadataItem& item) { return item.identifier.starts_with("format/"); };
    EXPECT_TRUE(std::is_partitioned(phone.begin(), phone.end(), ofContainer));
    EXPECT_FALSE(std::all_of(phone.begin(), phone.end(), ofContainer));  // there are stream items
}

TEST_F(FFmpegMovieReaderTest, StillFrameIsTheFrameOnScreenAtTheTimeFittedKeepingItsShape) {
    // Red for two seconds, then blue; one key frame, so later frames are
    // reached by decoding forward, B-frames reordered on the way.
    const auto movie = folder / "colors.mp4";
    makeTestMovie(movie, "color=c=red:size=320x240:rate=25,drawbox=x=0:y=0:w=iw:h=ih:color=blue:t=fill:enable='gte(t,2)'",
                  4, "-g 250 -bf 2");
    FFmpegMovieReader reader(movie);
    std::string colours;
    for (double seconds : {0.0, 1.0, 1.99, 2.0, 3.0, 60.0}) {  // past the end: the last frame
        const MovieImage image = reader.stillFrame(seconds, 1920, 1080);
        ASSERT_EQ(sizeOf(image), Size(320, 240));
        colours += colourAt(image, 160, 120);
        for (std::size_t i = 3; i < image.pixels.size(); i += 4) ASSERT_EQ(image.pixels[i], 255) << "pixel " << i / 4;
    }
    EXPECT_EQ(colours, "rrrbbb");

    // Fitted into the maximum keeping the aspect; anamorphic pixels (stored
    // 320×240, twice as wide as tall) are stretched; small pictures are not enlarged.
    makeTestMovie(folder / "wide.mp4", "testsrc=size=2400x1200:rate=5", 0.4);
    makeTestMovie(folder / "anamorphic.mp4", "testsrc=size=320x240:rate=25,setsar=2", 0.4);
    const std::tuple<const char*, std::int64_t, Size> fits[] = {
        {"wide.mp4", 1920, {1920, 960}}, {"anamorphic.mp4", 1920, {640, 240}}, {"anamorphic.mp4", 320, {320, 120}}};
    for (const auto& [name, maximumWidth, size] : fits) {
        const MovieImage image = FFmpegMovieReader(folder / name).stillFrame(0, maximumWidth, 1080);
        EXPECT_EQ(sizeOf(image), size) << name << " within " << maximumWidth;
        EXPECT_EQ(image.pixels.size(), static_cast<std::size_t>(size.first * size.second * 4));
    }
}

// A red block in the top-left quarter of a black 320×240 picture, with a
// display matrix added by remuxing, lands in the quarter where the ffmpeg
// command shows it too: with "rotate=90" the top-left corner comes to the
// bottom left.
TEST_F(FFmpegMovieReaderTest, StillFrameIsTurnedUprightLikeThePlayerShowsIt) {
    const auto plain = folder / "block.mp4";
    makeTestMovie(plain, "color=c=black:size=320x240:rate=25,drawbox=x=0:y=0:w=160:h=120:color=red:t=fill", 1);
    for (const auto& [degrees, quarters] : {std::pair{90, "??r?"}, {180, "???r"}, {270, "?r??"}}) {
        const auto turned = folder / ("turned" + std::to_string(degrees) + ".mp4");
        ASSERT_TRUE(runFFmpeg("-i " + quoted(plain) + " -c copy -metadata:s:v:0 rotate=" + std::to_string(degrees) +
                              " " + quoted(turned)));
        const MovieImage image = FFmpegMovieReader(turned).stillFrame(0.5, 1920, 1080);
        EXPECT_EQ(sizeOf(image), degrees == 180 ? Size(320, 240) : Size(240, 320)) << degrees;
        // The centres of the top-left, top-right, bottom-left and bottom-right quarters.
        std::string shown;
        for (const auto& [x, y] : {std::pair{1, 1}, {3, 1}, {1, 3}, {3, 3}}) {
            shown += colourAt(image, x * image.width / 4, y * image.height / 4);
        }
        EXPECT_EQ(shown, quarters) << degrees;
    }
}

TEST_F(FFmpegMovieReaderTest, SequentialDecodingVisitsEveryFrameOnce) {
    const auto movie = folder / "count.mp4";
    makeTestMovie(movie, "testsrc=size=160x120:rate=25", 8, "-bf 2");
    FFmpegMovieReader reader(movie);
    std::vector<double> times;
    while (auto time = reader.decodeNextFrame()) times.push_back(*time);
    ASSERT_EQ(times.size(), 200U);
    for (std::size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(times[i], static_cast<double>(i) * 0.04, 1e-6);
    EXPECT_NEAR(reader.currentFrameDurationSeconds(), 0.04, 1e-6);
    EXPECT_FALSE(reader.decodeNextFrame());

    reader.seek(0);
    EXPECT_EQ(reader.decodeNextFrame(), 0.0);

    // Stopping gives up reading the file: at once when asked before opening,
    // after what was already buffered when asked while decoding.
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_THROW(FFmpegMovieReader(movie, stopped.get_token()), MovieReaderError);
    std::stop_source source;
    FFmpegMovieReader stopping(movie, source.get_token());
    ASSERT_TRUE(stopping.decodeNextFrame());
    source.request_stop();
    int frames = 1;
    while (stopping.decodeNextFrame()) ++frames;
    EXPECT_LT(frames, 200);
}

// A file without a video stream is refused as unreadable files are (their
// Russian text is VideoPreviewPlayerTest's), not opened.
TEST_F(FFmpegMovieReaderTest, FileWithoutVideoIsRefused) {
    ASSERT_TRUE(runFFmpeg("-f lavfi -i sine=frequency=440:duration=1 -c:a aac " + quoted(folder / "sound.m4a")));
    const auto error = thrownBy<MovieReaderError>([&] { FFmpegMovieReader reader(folder / "sound.m4a"); });
    EXPECT_EQ(error.errorCase(), MovieReaderError::Case::noVideoStream);
    EXPECT_EQ(error.errorDescription(), "В файле «sound.m4a» нет видеодорожки.");
}

}  // namespace
}  // namespace pacemark
