#include "FFmpegMovieReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "TestSupport.h"
#include "Video/VideoSynchronization.h"
#include "VideoTestMovies.h"

namespace pacemark {
namespace {

using testing::makeTestMovie;
using testing::quoted;
using testing::runFFmpeg;
using testing::TemporaryFolder;

class FFmpegMovieReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "the ffmpeg command is not installed";
    }
    TemporaryFolder folder;
};

VideoSynchronizationMetadata synchronizationMetadata(const FFmpegMovieReader& reader) {
    std::vector<VideoMetadataItem> items;
    for (const auto& item : reader.metadataItems()) items.push_back({item.identifier, item.key, item.stringValue});
    return VideoSynchronization::metadataFromItems(items);
}

TelemetryTimestamp utc(std::string_view text) { return *parseISO8601InternetDateTime(text); }

struct Color {
    int blue, green, red, alpha;
};

Color pixel(const MovieImage& image, std::int64_t x, std::int64_t y) {
    const std::uint8_t* p = image.pixels.data() + (y * image.width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

bool isReddish(Color c) { return c.red > 180 && c.green < 80 && c.blue < 80; }
bool isBluish(Color c) { return c.blue > 180 && c.red < 80 && c.green < 80; }

// Which quadrants (top-left, top-right, bottom-left, bottom-right) are red.
std::vector<bool> redQuadrants(const std::uint8_t* bgra, std::int64_t width, std::int64_t height) {
    std::vector<bool> result;
    for (const auto& [fx, fy] : {std::pair{0.25, 0.25}, {0.75, 0.25}, {0.25, 0.75}, {0.75, 0.75}}) {
        const auto x = static_cast<std::int64_t>(fx * static_cast<double>(width));
        const auto y = static_cast<std::int64_t>(fy * static_cast<double>(height));
        const std::uint8_t* p = bgra + (y * width + x) * 4;
        result.push_back(isReddish({p[0], p[1], p[2], p[3]}));
    }
    return result;
}

// A phone's MP4 user data, a camera's QuickTime keys (read verbatim), and a
// movie without metadata.
TEST_F(FFmpegMovieReaderTest, MetadataGivesTheLocationAndCreationTimeToSynchronizeWith) {
    struct Case {
        const char* name;
        const char* arguments;
        VideoSynchronizationMetadata expected;
    };
    const Case cases[] = {
        {"phone.mp4", "-metadata location=+48.8577+002.2950/ -metadata creation_time=2023-05-01T10:00:00Z",
         {VideoLocation{48.8577, 2.295}, utc("2023-05-01T10:00:00Z")}},
        {"camera.mov",
         "-movflags use_metadata_tags -metadata com.apple.quicktime.location.ISO6709=-33.8688+151.2093+012.000/"
         " -metadata com.apple.quicktime.creationdate=2023-05-01T12:00:00+0200",
         {VideoLocation{-33.8688, 151.2093}, utc("2023-05-01T10:00:00Z")}},
        {"plain.mov", "-map_metadata -1", {}},
    };
    for (const Case& c : cases) {
        makeTestMovie(folder / c.name, "testsrc=size=320x240:rate=25", 3, c.arguments);
        const FFmpegMovieReader reader(folder / c.name);
        EXPECT_NEAR(reader.durationSeconds(), 3.0, 0.05);
        EXPECT_EQ(synchronizationMetadata(reader), c.expected) << c.name;
    }

    const auto items = FFmpegMovieReader(folder / "camera.mov").metadataItems();
    EXPECT_NE(std::find(items.begin(), items.end(),
                        MovieMetadataItem{"format/com.apple.quicktime.creationdate", "com.apple.quicktime.creationdate",
                                          "2023-05-01T12:00:00+0200"}),
              items.end());
    // Container items come before any stream's.
    const auto phone = FFmpegMovieReader(folder / "phone.mp4").metadataItems();
    const auto firstStream = std::find_if(phone.begin(), phone.end(), [](const MovieMetadataItem& item) {
        return item.identifier.starts_with("stream/");
    });
    ASSERT_NE(firstStream, phone.end());
    EXPECT_TRUE(std::any_of(phone.begin(), firstStream, [](const MovieMetadataItem& item) {
        return item == MovieMetadataItem{"format/location", "location", "+48.8577+002.2950/"};
    }));
    EXPECT_TRUE(std::none_of(firstStream, phone.end(), [](const MovieMetadataItem& item) {
        return item.identifier.starts_with("format/");
    }));
}

TEST_F(FFmpegMovieReaderTest, StillFrameIsTheFrameOnScreenAtTheTimeFittedKeepingItsShape) {
    // Red for two seconds, then blue; one key frame, so later frames are
    // reached by decoding forward, B-frames reordered on the way.
    const auto movie = folder / "colors.mp4";
    makeTestMovie(movie, "color=c=red:size=320x240:rate=25,drawbox=x=0:y=0:w=iw:h=ih:color=blue:t=fill:enable='gte(t,2)'",
                  4, "-g 250 -bf 2");
    FFmpegMovieReader reader(movie);
    const MovieImage early = reader.stillFrame(1.0, 1920, 1080);
    ASSERT_EQ(early.width, 320);
    ASSERT_EQ(early.height, 240);
    EXPECT_TRUE(isReddish(pixel(early, 160, 120)));
    EXPECT_TRUE(isReddish(pixel(reader.stillFrame(1.99, 1920, 1080), 160, 120)));
    EXPECT_TRUE(isBluish(pixel(reader.stillFrame(2.0, 1920, 1080), 160, 120)));
    EXPECT_TRUE(isBluish(pixel(reader.stillFrame(3.0, 1920, 1080), 160, 120)));
    EXPECT_TRUE(isBluish(pixel(reader.stillFrame(60.0, 1920, 1080), 160, 120)));  // past the end: last frame
    EXPECT_TRUE(isReddish(pixel(reader.stillFrame(0, 1920, 1080), 0, 0)));
    for (std::size_t i = 3; i < early.pixels.size(); i += 4) ASSERT_EQ(early.pixels[i], 255) << "pixel " << i / 4;

    // Fitted into the maximum keeping the aspect; anamorphic pixels (stored
    // 320×240, twice as wide as tall) are stretched; small pictures are not enlarged.
    const auto wide = folder / "wide.mp4";
    makeTestMovie(wide, "testsrc=size=2400x1200:rate=5", 0.4);
    FFmpegMovieReader wideReader(wide);
    const MovieImage fitted = wideReader.stillFrame(0, 1920, 1080);
    EXPECT_EQ(fitted.width, 1920);
    EXPECT_EQ(fitted.height, 960);
    EXPECT_EQ(fitted.pixels.size(), static_cast<std::size_t>(1920 * 960 * 4));
    const auto anamorphic = folder / "anamorphic.mp4";
    makeTestMovie(anamorphic, "testsrc=size=320x240:rate=25,setsar=2", 0.4);
    FFmpegMovieReader anamorphicReader(anamorphic);
    EXPECT_EQ(anamorphicReader.displayWidth(), 640);
    const MovieImage stretched = anamorphicReader.stillFrame(0, 1920, 1080);
    EXPECT_EQ(stretched.width, 640);
    EXPECT_EQ(stretched.height, 240);
    const MovieImage small = anamorphicReader.stillFrame(0, 320, 1080);
    EXPECT_EQ(small.width, 320);
    EXPECT_EQ(small.height, 120);
}

class FFmpegMovieReaderRotationTest : public FFmpegMovieReaderTest, public ::testing::WithParamInterface<int> {};

TEST_P(FFmpegMovieReaderRotationTest, StillFrameIsTurnedUprightLikeThePlayerShowsIt) {
    // A red block in the top-left quarter of a black 320×240 picture, with a
    // display matrix added by remuxing.
    const auto plain = folder / "block.mp4";
    makeTestMovie(plain, "color=c=black:size=320x240:rate=25,drawbox=x=0:y=0:w=160:h=120:color=red:t=fill", 1);
    const auto turned = folder / "turned.mp4";
    ASSERT_TRUE(runFFmpeg("-i " + quoted(plain) + " -c copy -metadata:s:v:0 rotate=" + std::to_string(GetParam()) +
                          " " + quoted(turned)));

    FFmpegMovieReader reader(turned);
    const MovieImage image = reader.stillFrame(0.5, 1920, 1080);
    const bool swapped = GetParam() % 180 != 0;
    EXPECT_EQ(image.width, swapped ? 240 : 320);
    EXPECT_EQ(image.height, swapped ? 320 : 240);
    EXPECT_EQ(reader.displayWidth(), image.width);
    EXPECT_EQ(reader.displayHeight(), image.height);

    // The ffmpeg command turns pictures by the display matrix too; the red
    // block must land in the same quarter.
    const auto reference = folder / "reference.bgra";
    ASSERT_TRUE(runFFmpeg("-i " + quoted(turned) + " -frames:v 1 -f rawvideo -pix_fmt bgra " + quoted(reference)));
    const auto referenceBytes = testing::readFileBytes(reference);
    ASSERT_EQ(referenceBytes.size(), image.pixels.size());
    const auto expected = redQuadrants(referenceBytes.data(), image.width, image.height);
    EXPECT_EQ(std::count(expected.begin(), expected.end(), true), 1);
    EXPECT_EQ(redQuadrants(image.pixels.data(), image.width, image.height), expected);
}

INSTANTIATE_TEST_SUITE_P(QuarterTurns, FFmpegMovieReaderRotationTest, ::testing::Values(90, 180, 270));

TEST_F(FFmpegMovieReaderTest, SequentialDecodingVisitsEveryFrameOnceRestartsAfterSeekAndStops) {
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
    const auto first = reader.decodeNextFrame();
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, 0);
    EXPECT_EQ(reader.currentFrameImage(1920, 1080).width, 160);

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

TEST_F(FFmpegMovieReaderTest, UnreadableFilesGiveRussianErrors) {
    const auto expectError = [](const std::filesystem::path& path, MovieReaderError::Case errorCase,
                                const std::string& description) {
        try {
            FFmpegMovieReader reader(path);
            ADD_FAILURE() << path << " opened";
        } catch (const MovieReaderError& error) {
            EXPECT_EQ(error.errorCase(), errorCase) << path;
            EXPECT_EQ(error.errorDescription(), description);
        }
    };
    std::vector<std::uint8_t> noise(4096);
    std::uint32_t state = 12345;
    for (auto& byte : noise) byte = static_cast<std::uint8_t>((state = state * 1103515245 + 12345) >> 24);
    testing::writeFileBytes(folder / "noise.mp4", noise);
    expectError(folder / "noise.mp4", MovieReaderError::Case::unreadable,
                "Не удалось открыть видео «noise.mp4»: формат не распознан или файл повреждён.");
    expectError(folder / "missing.mov", MovieReaderError::Case::unreadable,
                "Не удалось открыть видео «missing.mov»: файл не найден.");
    std::filesystem::create_directory(folder / "folder.mov");
    expectError(folder / "folder.mov", MovieReaderError::Case::unreadable,
                "Не удалось открыть видео «folder.mov»: это папка, а не файл.");

    // A recording cut off before its index was written.
    const auto whole = folder / "whole.mp4";
    makeTestMovie(whole, "testsrc=size=320x240:rate=25", 2);
    auto bytes = testing::readFileBytes(whole);
    bytes.resize(bytes.size() / 2);
    testing::writeFileBytes(folder / "cut.mp4", bytes);
    expectError(folder / "cut.mp4", MovieReaderError::Case::unreadable,
                "Не удалось открыть видео «cut.mp4»: формат не распознан или файл повреждён.");

    const auto sound = folder / "sound.m4a";
    ASSERT_TRUE(runFFmpeg("-f lavfi -i sine=frequency=440:duration=1 -c:a aac " + quoted(sound)));
    expectError(sound, MovieReaderError::Case::noVideoStream, "В файле «sound.m4a» нет видеодорожки.");
}

}  // namespace
}  // namespace pacemark
