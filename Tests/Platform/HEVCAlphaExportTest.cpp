#include "Export/TelemetryVideoExporter.h"
#include "FFmpegMovieWriterFactory.h"
#include "HEVCAlphaMovieWriter.h"
#include "HEVCNalUnit.h"
#include "HEVCParameterSets.h"
#include "HEVCSkipPictureWriter.h"
#include "HEVCSliceHeader.h"
#include "OverlayTestFrames.h"
#include "PacemarkError.h"
#include "QuickTimeTestReader.h"
#include "TestRides.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pacemark {
namespace {

using pacemark::testing::filesIn;
using pacemark::testing::TemporaryFolder;

TelemetryActivity activityOfSeconds(int seconds, int samplesPerSecond = 1) {
    std::vector<TelemetrySample> samples;
    for (int s = 0; s <= seconds * samplesPerSecond; ++s) {
        TelemetrySample sample;
        sample.elapsed = double(s) / samplesPerSecond;
        sample.speedMetersPerSecond = 5.0 + s;
        samples.push_back(sample);
    }
    return TelemetryActivity(std::nullopt, std::move(samples));
}

// Draws the overlay test frame of the sample in force, so that frames within
// one second repeat and the exporter hands them over as repeats.
class OverlayFrameRenderer : public ExportFrameRenderer {
public:
    OverlayFrameRenderer(std::shared_ptr<const TelemetryActivity> activity, std::int64_t width, std::int64_t height)
        : activity_(std::move(activity)), frame_(std::make_unique<pacemark::testing::OverlayTestFrame>(int(width), int(height))) {}
    void render(double elapsed, PixelBufferView into) const override {
        frame_->draw(static_cast<int>(activity_->sampleIndex(elapsed)) * 5);
        for (std::int64_t y = 0; y < into.height; ++y) {
            std::memcpy(into.row(y), frame_->pixels().data() + y * into.width * 4, static_cast<std::size_t>(into.width * 4));
        }
    }
    std::size_t frameKey(double elapsed) const override { return activity_->sampleIndex(elapsed); }

private:
    std::shared_ptr<const TelemetryActivity> activity_;
    std::unique_ptr<pacemark::testing::OverlayTestFrame> frame_;
};

ExportFrameRendererMaker overlayRenderers() {
    return [](std::shared_ptr<const TelemetryActivity> activity, const PacemarkLayout&, std::int64_t width, std::int64_t height) {
        return std::make_unique<OverlayFrameRenderer>(std::move(activity), width, height);
    };
}

// Opens HEVC writers whose alpha encode is told something different.
class DisagreeingWriterFactory : public MovieWriterFactory {
public:
    explicit DisagreeingWriterFactory(X265Encoder::Options alphaOptions) : alphaOptions_(std::move(alphaOptions)) {}
    std::unique_ptr<MovieWriter> makeWriter(const MovieWriterSettings& settings) const override {
        auto encoderSettings = HEVCAlphaEncoderSettings::fromMovieWriterSettings(settings);
        encoderSettings.alphaExtraOptions = alphaOptions_;
        return std::make_unique<HEVCAlphaMovieWriter>(settings.url, encoderSettings);
    }

private:
    X265Encoder::Options alphaOptions_;
};


TEST(HEVCAlphaExportTest, ExporterWritesHevcWithAlphaThroughTheWriterFactories) {
    TemporaryFolder folder;
    const auto output = folder / "ride-telemetry.mov";
    auto writers = std::make_shared<FFmpegMovieWriterFactory>(std::make_shared<X265MovieWriterFactory>());
    TelemetryVideoExporter exporter(writers, overlayRenderers());
    const TelemetryRenderConfig config(output, 96, 64, 10, TelemetryVideoCodec::hevcWithAlpha, 0, 3.0, PacemarkLayout{});
    std::vector<double> progress;
    exporter.exportMovie(testing::rideOfSeconds(5), config, [&](double p) { progress.push_back(p); });

    EXPECT_EQ(filesIn(folder.path()), std::vector<std::filesystem::path>{"ride-telemetry.mov"});
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 1.0);
    // The HEVC writer wrote it (its layers are checked in HEVCAlphaMovieWriterTest).
    const auto track = pacemark::testing::readQuickTimeHEVCTrack(output);
    EXPECT_EQ(track.sampleEntryType, "hvc1");
    EXPECT_EQ(track.width, 96);
    EXPECT_EQ(track.samples.size(), 30u);
}

// How many samples of the movie hold skip pictures: layer-0 slices equal to
// the skip picture for their picture order count.
std::size_t skipPictureCount(const pacemark::testing::QuickTimeHEVCTrack& track) {
    std::vector<std::uint8_t> sps, pps;
    for (const auto& bytes : pacemark::testing::hvcCNalUnits(track.hvcC)) {
        const auto unit = HEVCNalUnit::parse(bytes);
        if (unit.layerId == 0 && unit.type == HEVCNalType::sps) sps = unit.rbsp;
        if (unit.layerId == 0 && unit.type == HEVCNalType::pps) pps = unit.rbsp;
    }
    const HEVCSkipPictureWriter skips(sps, pps, 0, 0);
    const auto parsedSps = HEVCSequenceParameterSet::parse(sps);
    const auto parsedPps = HEVCPictureParameterSet::parse(pps);
    std::size_t count = 0;
    for (const auto& sample : track.samples) {
        const auto slice = HEVCNalUnit::parse(pacemark::testing::lengthPrefixedNalUnits(sample).at(0));
        if (HEVCNalType::isIrap(slice.type)) continue;
        const auto lsb = HEVCSliceHeader::parse(slice, parsedSps, parsedPps).picOrderCntLsb;
        if (slice.rbsp == skips.skipPicture(static_cast<std::int32_t>(lsb)).rbsp) ++count;
    }
    return count;
}

TEST(HEVCAlphaExportTest, OnlyFramesThatShowTheSameSampleBecomeSkipPictures) {
    // 3 s at 30 fps: a 1 Hz recording changes at frames 0, 30 and 60 (60 is
    // also the key frame interval); a 30 Hz one changes every frame.
    for (const auto& [samplesPerSecond, expectedSkips] : {std::pair{1, 87u}, std::pair{30, 0u}}) {
        TemporaryFolder folder;
        const auto output = folder / "ride-telemetry.mov";
        TelemetryVideoExporter exporter(std::make_shared<X265MovieWriterFactory>(), overlayRenderers());
        const TelemetryRenderConfig config(output, 96, 64, 30, TelemetryVideoCodec::hevcWithAlpha, 0, 3.0, PacemarkLayout{});
        exporter.exportMovie(activityOfSeconds(5, samplesPerSecond), config, [](double) {});
        const auto track = pacemark::testing::readQuickTimeHEVCTrack(output);
        ASSERT_EQ(track.samples.size(), 90u);
        EXPECT_EQ(skipPictureCount(track), expectedSkips) << samplesPerSecond << " Hz";
    }
}

// A different B-frame pattern or key-frame interval in the alpha encode is
// noticed rather than written as a broken stream.
TEST(HEVCAlphaExportTest, DisagreeingEncodesFailTheExportAndKeepTheOldMovie) {
    for (const X265Encoder::Options& alphaOptions : {X265Encoder::Options{{"bframes", "1"}},
                                                     X265Encoder::Options{{"keyint", "7"}, {"min-keyint", "7"}}}) {
        SCOPED_TRACE(alphaOptions.front().first);
        TemporaryFolder folder;
        const auto output = folder / "ride-telemetry.mov";
        pacemark::testing::writeFileText(output, "old movie");
        TelemetryVideoExporter exporter(std::make_shared<DisagreeingWriterFactory>(alphaOptions), overlayRenderers());
        const TelemetryRenderConfig config(output, 96, 64, 10, TelemetryVideoCodec::hevcWithAlpha, 0, 3.0, PacemarkLayout{});
        try {
            exporter.exportMovie(activityOfSeconds(5, 10), config, [](double) {});  // every frame a new picture
            ADD_FAILURE() << "the export succeeded";
        } catch (const PacemarkError& error) {
            EXPECT_NE(error.errorDescription().find("Кодировщики цвета и альфа-канала разошлись"), std::string::npos)
                << error.errorDescription();
        }
        EXPECT_EQ(filesIn(folder.path()), std::vector<std::filesystem::path>{"ride-telemetry.mov"}) << "temporary file left";
        const auto bytes = pacemark::testing::readFileBytes(output);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old movie");
    }
}

}  // namespace
}  // namespace pacemark
