#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "../Rendering/RideFixture.h"
#include "CairoDrawingSurface.h"
#include "FFmpegProResMovieWriter.h"
#include "Layout/PacemarkPreset.h"
#include "MovieCheck/MovieChecker.h"
#include "MovieCheck/ProResFrame.h"
#include "ProResPictureConverter.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using namespace pacemark::testing;

// A BGRA picture the writer and the oracle both get.
struct Picture {
    std::string name;
    std::vector<std::uint8_t> bgra;
};

Picture transparentPicture(std::int64_t width, std::int64_t height) {
    return {"прозрачный", std::vector<std::uint8_t>(std::size_t(width * height * 4), 0)};
}

// Every pixel a random alpha and premultiplied colour: no runs at all.
Picture noisyPicture(std::int64_t width, std::int64_t height) {
    std::mt19937 random(7);
    Picture picture{"шумная альфа", std::vector<std::uint8_t>(std::size_t(width * height * 4))};
    for (std::size_t i = 0; i < picture.bgra.size(); i += 4) {
        const auto alpha = std::uint8_t(random() & 0xFF);
        for (int c = 0; c < 3; ++c) picture.bgra[i + std::size_t(c)] = std::uint8_t(random() % (alpha + 1u));
        picture.bgra[i + 3] = alpha;
    }
    return picture;
}

Picture presetPicture(PacemarkPreset preset, std::int64_t width, std::int64_t height) {
    static const auto ride = makeRide(1800);
    static const auto surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
    Picture picture{std::string(preset.rawValue()), std::vector<std::uint8_t>(std::size_t(width * height * 4))};
    const LayoutFrameRenderer renderer(ride, PacemarkLayout::preset(preset), width, height, surfaces);
    renderer.render(754.0, {picture.bgra.data(), width, height, width * 4});
    return picture;
}

// The 10-bit planes the writer codes, tightly packed as the oracle reads them.
void appendPlanes(const Picture& picture, std::int64_t width, std::int64_t height, std::ofstream& out) {
    const std::size_t plane = std::size_t(width * height);
    std::vector<std::uint16_t> planes(plane * 4);
    ProResPictureConverter::Planes into;
    into.y = planes.data();
    into.cb = planes.data() + plane;
    into.cr = planes.data() + 2 * plane;
    into.alpha = planes.data() + 3 * plane;
    into.yStride = into.cbStride = into.crStride = into.alphaStride = width;
    std::vector<std::uint8_t> source = picture.bgra;
    ProResPictureConverter().convert({source.data(), width, height, width * 4}, into, 0, height);
    out.write(reinterpret_cast<const char*>(planes.data()), std::streamsize(planes.size() * 2));
}

std::vector<std::vector<std::uint8_t>> movieFrames(const fs::path& movie) {
    FileMovieSource source(movie);
    const QuickTimeVideoTrack track = readQuickTimeVideoTrack(source);
    std::vector<std::vector<std::uint8_t>> frames;
    for (const auto& sample : track.samples) {
        frames.emplace_back(sample.size);
        source.read(sample.offset, frames.back());
    }
    return frames;
}

std::vector<std::vector<std::uint8_t>> splitFrames(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (std::size_t at = 0; at + 4 <= bytes.size();) {
        const std::size_t size = std::size_t(bytes[at]) << 24 | std::size_t(bytes[at + 1]) << 16 |
                                 std::size_t(bytes[at + 2]) << 8 | bytes[at + 3];
        if (size < 8 || size > bytes.size() - at) break;
        frames.emplace_back(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + size));
        at += size;
    }
    return frames;
}

using testing::quoted;

// The frames our writer stores are what a corrected encoder writes: FFmpeg 8
// (through node-av, no code shared with ours) coding the same 10-bit planes
// with the same settings gives the same bytes, frame for frame. The planes
// are handed over rather than the BGRA pictures because its picture
// conversion is not ours; the conversion is checked by the decode-back tests.
TEST(ProResOracleTest, RepairedFramesEqualThoseOfACorrectedEncoder) {
    const fs::path packages = PACEMARK_HEVC_ALPHA_DECODER_FOLDER;
    if (std::string(PACEMARK_NODE).empty() || !fs::exists(PACEMARK_NODE)) GTEST_SKIP() << "node not found";
    if (!fs::exists(packages / "node_modules" / "node-av" / "package.json")) {
        GTEST_SKIP() << "encoder node-av not installed in " << packages << " (npm missing or registry unreachable)";
    }
    TemporaryFolder folder;
    for (const std::int64_t width : {1920, 1918}) {
        const std::int64_t height = 1080;
        std::vector<Picture> pictures;
        if (width == 1920) {
            pictures.push_back(transparentPicture(width, height));
            for (const PacemarkPreset preset : PacemarkPreset::allCases()) pictures.push_back(presetPicture(preset, width, height));
        } else {
            pictures.push_back(presetPicture(PacemarkPreset::allCases()[0], width, height));
        }
        pictures.push_back(noisyPicture(width, height));

        const fs::path movie = folder / "ours.mov";
        const fs::path planes = folder / "planes.yuva";
        const fs::path oracle = folder / "oracle.prores";
        {
            MovieWriterSettings settings;
            settings.url = movie;
            settings.width = width;
            settings.height = height;
            settings.framesPerSecond = 30;
            FFmpegProResMovieWriter writer(settings);
            writer.startWriting();
            std::ofstream out(planes, std::ios::binary);
            for (std::size_t i = 0; i < pictures.size(); ++i) {
                const PixelBufferView buffer = writer.makePixelBuffer();
                std::copy(pictures[i].bgra.begin(), pictures[i].bgra.end(), buffer.data);
                writer.append(buffer, std::int64_t(i));
                appendPlanes(pictures[i], width, height, out);
            }
            writer.finish();
        }
        const std::string command = std::string(PACEMARK_NODE) + " " + quoted(PACEMARK_PRORES_ORACLE_SCRIPT) + " " +
                                    quoted(packages) + " " + quoted(planes) + " " + quoted(oracle) + " " +
                                    std::to_string(width) + " " + std::to_string(height) + " 1 " +
                                    std::to_string(ProResWriterOptions{}.alphaBits) + " 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        const auto ours = movieFrames(movie);
        const auto theirs = splitFrames(readFileBytes(oracle));
        ASSERT_EQ(ours.size(), pictures.size());
        ASSERT_EQ(theirs.size(), pictures.size());
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            SCOPED_TRACE(pictures[i].name + ", " + std::to_string(width) + "×1080");
            const ProResFrame frame = ProResFrame::parse(ours[i]);
            EXPECT_EQ(frame.version, 1);
            EXPECT_EQ(frame.alphaTypeByte, ProResWriterOptions{}.alphaBits == 16 ? 2 : 1);
            EXPECT_EQ(ours[i].size(), theirs[i].size());
            EXPECT_TRUE(ours[i] == theirs[i]) << "coded frames differ";
        }
        FileMovieSource source(movie);
        const MovieCheckReport report = MovieChecker().check(source);
        EXPECT_TRUE(report.wellFormed()) << (report.findings.empty() ? "" : report.findings[0].message);
    }
}

}  // namespace
}  // namespace pacemark
