// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <future>
#include <thread>
#include <tuple>

#include "Telemetry/FITParser.h"
#include "Telemetry/FITWriter.h"
#include "Telemetry/GPXParser.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "MovieCheck/QuickTimeTrackReader.h"
#include "Telemetry/TelemetrySampleCollector.h"
#include "TestSupport.h"

using namespace pacemark;
using pacemark::testing::readFileBytes;
using pacemark::testing::TemporaryFolder;
using pacemark::testing::writeFileBytes;
using pacemark::testing::writeFileText;

namespace {

const std::string twoPointTrack = R"(<?xml version="1.0"?>
<gpx version="1.1"><trk><trkseg>
  <trkpt lat="47.0" lon="8.0"><time>2024-05-01T10:00:00Z</time></trkpt>
  <trkpt lat="47.001" lon="8.0"><time>2024-05-01T10:00:10Z</time><gpxtpx:hr>120</gpxtpx:hr></trkpt>
</trkseg></trk></gpx>
)";

TelemetrySample numbered(std::size_t k) {
    TelemetrySample sample;
    sample.powerWatts = static_cast<std::int64_t>(k);
    return sample;
}

template <typename Error>
Error thrownBy(const std::filesystem::path& path) {
    return pacemark::testing::thrownBy<Error>([&] { (void)TelemetryFileLoader::load(path); });
}

}  // namespace

TEST(TelemetryFileLoaderTest, PicksTheDecoderByExtensionInAnyLetterCase) {
    TemporaryFolder folder;
    // Lower-case names: every real recording is decoded through the loader (RecordingConformanceTest).
    writeFileText(folder / "Track.GPX", twoPointTrack);
    const TelemetryActivity activity = TelemetryFileLoader::load(folder / "Track.GPX");
    EXPECT_EQ(activity.sourceFile, folder / "Track.GPX");
    ASSERT_EQ(activity.samples.size(), 2u);
    // The activity is normalized (TelemetryActivityTest has the rules): elapsed from the timestamps.
    EXPECT_EQ(activity.samples[1].elapsed, 10.0);

    // The content is never sniffed; the decoder's errors pass unchanged (the
    // GPX position too, although the file is read in pieces).
    writeFileText(folder / "track.fit", twoPointTrack);
    EXPECT_EQ(thrownBy<FITParserError>(folder / "track.fit").errorCase(), FITParserError::Case::invalidHeader);
    writeFileText(folder / "broken.gpx", "<gpx><trk>\n</gpx>");
    EXPECT_EQ(thrownBy<GPXParserError>(folder / "broken.gpx").line(), 2u);
}

TEST(TelemetryFileLoaderTest, RefusesOtherExtensions) {
    TemporaryFolder folder;
    writeFileText(folder / "ride.gpx.Zip", twoPointTrack);
    const auto error = thrownBy<TelemetryLoadError>(folder / "ride.gpx.Zip");
    EXPECT_EQ(error.errorCase(), TelemetryLoadError::Case::unsupportedExtension);
    EXPECT_EQ(error.errorDescription(), "Неподдерживаемое расширение файла телеметрии: .zip");
}

TEST(TelemetryFileLoaderTest, RefusesFilesWithoutUsablePoints) {
    TemporaryFolder folder;
    writeFileText(folder / "waypoints.gpx", R"(<gpx><wpt lat="1" lon="2"/><rte><rtept lat="1" lon="2"/></rte></gpx>)");
    writeFileBytes(folder / "norecords.fit", FITWriter().finish());
    for (const char* name : {"waypoints.gpx", "norecords.fit"}) {
        const auto error = thrownBy<TelemetryLoadError>(folder / name);
        EXPECT_EQ(error.errorCase(), TelemetryLoadError::Case::emptyActivity) << name;
        EXPECT_EQ(error.errorDescription(), "В файле телеметрии нет пригодных точек.");
        EXPECT_TRUE(TelemetryFileLoader::decode(folder / name).empty()) << name;
    }
}

// Missing, or above the size limit (sparse: the loader must refuse before
// reading).
TEST(TelemetryFileLoaderTest, ReportsReadFailuresBeforeJudgingTheExtension) {
    TemporaryFolder folder;
    writeFileText(folder / "huge.gpx", "");
    std::filesystem::resize_file(folder / "huge.gpx", TelemetryFileLoader::maxFileSizeBytes + 1);
    const std::tuple<const char*, int, const char*> cases[] = {
        {"notes.txt", ENOENT, "файл не найден"},
        {"huge.gpx", EFBIG, "файл слишком большой"},
    };
    for (const auto& [name, errorNumber, reason] : cases) {
        const auto error = thrownBy<FileReadError>(folder / name);
        EXPECT_EQ(error.errorNumber(), errorNumber) << name;
        EXPECT_EQ(error.errorDescription(), std::string("Не удалось прочитать файл «") + name + "»: " + reason + ".");
    }
}

// A named pipe without a writer (whose plain open blocks for ever) is refused
// at once, with the reason in Russian, by every reader of user files: the
// telemetry loader, the whole-file reader of the layout files and the movie
// checker's source.
TEST(TelemetryFileLoaderTest, RefusesANamedPipeWithoutOpeningIt) {
    TemporaryFolder folder;
    const auto path = folder / "pipe.gpx";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    // Run aside, so that a reader that blocks fails the test instead of
    // hanging it; a writer opened on the pipe then releases it.
    auto loading = std::async(std::launch::async, [path] {
        std::vector<std::string> reasons;
        const auto reasonOf = [&](auto read) {
            try {
                read();
                reasons.push_back("read");
            } catch (const FileReadError& error) {
                reasons.push_back(error.errorDescription());
            } catch (const std::exception& error) {
                reasons.push_back(error.what());
            }
        };
        reasonOf([&] { (void)TelemetryFileLoader::load(path); });
        reasonOf([&] { (void)TelemetryFileLoader::readWholeFile(path); });
        reasonOf([&] { FileMovieSource source(path); });
        return reasons;
    });
    if (loading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the pipe blocked the reader";
        const int writer = ::open(path.c_str(), O_WRONLY);
        if (writer >= 0) ::close(writer);
    }
    const std::string expected = "Не удалось прочитать файл «pipe.gpx»: это именованный канал, а не обычный файл.";
    EXPECT_EQ(loading.get(), std::vector<std::string>(3, expected));
}

// A stop requested during a load ends it with its own type, not an error of
// the file.
TEST(TelemetryFileLoaderTest, AStopRequestEndsTheLoadAsCancelled) {
    TemporaryFolder folder;
    std::string points;
    for (int k = 0; k < 200'000; ++k) points += R"(<trkpt lat="47.0" lon="8.0"><ele>512.5</ele></trkpt>)" "\n";
    writeFileText(folder / "long.gpx", "<gpx><trk><trkseg>\n" + points + "</trkseg></trk></gpx>\n");
    // The stop arrives once the loader has started reading the file (seen
    // through inotify): the load ends without completing and without
    // calling the file damaged, although it recovers damage.
    const int watcher = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(::inotify_add_watch(watcher, (folder / "long.gpx").c_str(), IN_ACCESS), 0);
    std::stop_source stop;
    std::jthread stopper([&] {
        alignas(inotify_event) char event[sizeof(inotify_event) + NAME_MAX + 1];
        if (::read(watcher, event, sizeof(event)) > 0) stop.request_stop();
    });
    EXPECT_THROW((void)TelemetryFileLoader::load(folder / "long.gpx", TelemetryDecoding::recover, nullptr, stop.get_token()),
                 TelemetryLoadCancelled);
    stopper.join();
    ::close(watcher);
}

// Samples come back in order and complete whether they fit the reserved room,
// overflow it into blocks, or span several blocks.
TEST(TelemetrySampleCollectorTest, KeepsOrderAcrossBlocks) {
    for (const std::size_t reserved : {std::size_t{0}, std::size_t{10}, std::size_t{40'000}}) {
        TelemetrySampleCollector collector(100'000);
        collector.reserve(reserved);
        const std::size_t count = 2 * TelemetrySampleCollector::blockSamples + 7;
        for (std::size_t k = 0; k < count; ++k) collector.append(numbered(k));
        const auto samples = collector.take();
        ASSERT_EQ(samples.size(), count) << reserved;
        for (std::size_t k = 0; k < count; ++k) ASSERT_EQ(samples[k], numbered(k)) << reserved;
        EXPECT_LE(samples.capacity(), count + count / 8) << "no slack kept";
        EXPECT_EQ(collector.size(), 0u);
    }
}

TEST(TelemetrySampleCollectorTest, RefusesSamplesPastTheBudget) {
    TelemetrySampleCollector small(3);
    for (std::size_t k = 0; k < 3; ++k) small.append(numbered(k));
    const auto error = pacemark::testing::thrownBy<TelemetryLoadError>([&] { small.append(numbered(3)); });
    EXPECT_EQ(error.errorCase(), TelemetryLoadError::Case::tooManySamples);
    EXPECT_EQ(error.errorDescription(),
              "Файл телеметрии слишком велик: в нём больше 3 точек, столько не поместится в памяти.");
}
