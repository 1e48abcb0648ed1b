// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "../Rendering/RideFixture.h"
#include "CairoDrawingSurface.h"
#include "Layout/PacemarkPreset.h"
#include "ProResSliceEncoder.h"
#include "ProResTestFrames.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

namespace fs = std::filesystem;
using Pixels = std::vector<std::uint8_t>;

// `preset` drawn over a half-hour ride at each of `seconds`.
std::vector<Pixels> renderedRide(PacemarkPreset preset, std::int64_t width, std::int64_t height,
                                 const std::vector<double>& seconds) {
    static const auto ride = testing::makeRide(1800);
    static const auto surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
    const LayoutFrameRenderer renderer(ride, PacemarkLayout::preset(preset), width, height, surfaces);
    std::vector<Pixels> pictures;
    for (const double at : seconds) {
        pictures.emplace_back(std::size_t(width * height * 4));
        renderer.render(at, {pictures.back().data(), width, height, width * 4});
    }
    return pictures;
}

struct SliceCase {
    std::string name;
    std::int64_t width;
    std::int64_t height;
    std::vector<PacemarkPreset> presets;
};

void PrintTo(const SliceCase& c, std::ostream* out) { *out << c.name << " " << c.width << "x" << c.height; }

class ProResSliceEncoderTest : public ::testing::TestWithParam<SliceCase> {};

// Frames assembled from re-encoded and reused slices are byte for byte the
// frames of encoding every picture whole (both repaired), including slices
// narrower than 8 macroblocks at a row's end and partial macroblocks at the
// right and bottom edges, which the encoder pads from the slice's own pixels.
TEST_P(ProResSliceEncoderTest, SplicedFramesEqualWholeEncodes) {
    const SliceCase& c = GetParam();
    const ProResWriterOptions whole{.reuseSlices = false};
    const Pixels noise = testing::noisyPicture(c.width, c.height, 3);
    for (const PacemarkPreset preset : c.presets) {
        SCOPED_TRACE(std::string(preset.rawValue()));
        ProResSliceEncoder reference(c.width, c.height, 30, whole);
        ProResSliceEncoder spliced(c.width, c.height, 30, ProResWriterOptions{});
        // Successive pictures of an export: the ride a second apart, a picture
        // drawn again unchanged, the empty overlay, one where every slice
        // changes, and the ride again.
        const auto ride = renderedRide(preset, c.width, c.height, {600, 601, 602, 602, 603, 604, 605});
        const std::vector<Pixels> pictures = {ride[0], ride[1], ride[2], ride[3], Pixels(noise.size(), 0),
                                              ride[4], noise,   ride[5], ride[6]};
        for (std::size_t i = 0; i < pictures.size(); ++i) {
            const PixelBufferView view{const_cast<std::uint8_t*>(pictures[i].data()), c.width, c.height, c.width * 4};
            const auto expected = reference.encode(view);
            const auto actual = spliced.encode(view);
            ASSERT_TRUE(std::equal(expected.begin(), expected.end(), actual.begin(), actual.end())) << "picture " << i;
        }
        // Beyond the picture drawn again unchanged, slices came from earlier
        // frames: splicing was exercised.
        const std::int64_t perPicture = (spliced.encodedSlices() + spliced.reusedSlices()) / std::int64_t(pictures.size());
        EXPECT_GT(spliced.reusedSlices(), 2 * perPicture) << spliced.encodedSlices();
        EXPECT_EQ(reference.reusedSlices(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ProResSliceEncoderTest,
    ::testing::Values(SliceCase{"HD", 1920, 1080, {PacemarkPreset::allCases().begin(), PacemarkPreset::allCases().end()}},
                      // partial macroblocks at both edges
                      SliceCase{"Odd", 1918, 1082, {PacemarkPreset::allCases()[1], PacemarkPreset::allCases()[4]}},
                      // 63 macroblocks a row: slices of 8, 4, 2 and 1
                      SliceCase{"Narrow", 1000, 270, {PacemarkPreset::allCases()[2], PacemarkPreset::allCases()[7]}}),
    [](const ::testing::TestParamInfo<SliceCase>& param) { return param.param.name; });

// The 10-bit planes the writer codes, tightly packed as the oracle reads them.
void appendPlanes(const Pixels& picture, std::int64_t width, std::int64_t height, std::ofstream& out) {
    const std::size_t plane = std::size_t(width * height);
    std::vector<std::uint16_t> planes(plane * 4);
    const ProResPictureConverter::Planes into{planes.data(), planes.data() + plane, planes.data() + 2 * plane,
                                              planes.data() + 3 * plane, width, width, width, width};
    Pixels source = picture;
    ProResPictureConverter().convert({source.data(), width, height, width * 4}, into, 0, height);
    out.write(reinterpret_cast<const char*>(planes.data()), std::streamsize(planes.size() * 2));
}

// The frames the writer stores (its encoder, slices reused) are what a
// corrected encoder writes: FFmpeg 8 (through node-av, no code shared with
// ours) coding the same 10-bit planes with the same settings gives the same
// bytes, frame for frame. The planes are handed over rather than the BGRA
// pictures because its picture conversion is not ours; the conversion is
// checked by the decode-back tests.
TEST(ProResOracleTest, RepairedFramesEqualThoseOfACorrectedEncoder) {
    const fs::path packages = PACEMARK_HEVC_ALPHA_DECODER_FOLDER;
    if (std::string(PACEMARK_NODE).empty() || !fs::exists(PACEMARK_NODE)) GTEST_SKIP() << "node not found";
    if (!fs::exists(packages / "node_modules" / "node-av" / "package.json")) {
        GTEST_SKIP() << "encoder node-av not installed in " << packages << " (npm missing or registry unreachable)";
    }
    testing::TemporaryFolder folder;
    for (const std::int64_t width : {1920, 1918}) {
        const std::int64_t height = 1080;
        // Transparent, the presets (one at the odd width) and noisy alpha.
        std::vector<Pixels> pictures = {Pixels(std::size_t(width * height * 4), 0)};
        for (const PacemarkPreset preset : PacemarkPreset::allCases()) {
            pictures.push_back(renderedRide(preset, width, height, {754}).front());
            if (width != 1920) break;
        }
        pictures.push_back(testing::noisyPicture(width, height, 7));

        const fs::path planes = folder / "planes.yuva";
        const fs::path oracle = folder / "oracle.prores";
        {
            std::ofstream out(planes, std::ios::binary);
            for (const Pixels& picture : pictures) appendPlanes(picture, width, height, out);
        }
        const std::string command = std::string(PACEMARK_NODE) + " " + testing::quoted(PACEMARK_PRORES_ORACLE_SCRIPT) +
                                    " " + testing::quoted(packages) + " " + testing::quoted(planes) + " " +
                                    testing::quoted(oracle) + " " + std::to_string(width) + " " +
                                    std::to_string(height) + " 1 " + std::to_string(ProResWriterOptions{}.alphaBits) +
                                    " 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;

        // Our frames one after another, as the oracle writes them.
        ProResSliceEncoder encoder(width, height, 30, ProResWriterOptions{});
        Pixels ours;
        std::vector<std::size_t> ends;
        for (Pixels& picture : pictures) {
            const auto frame = encoder.encode({picture.data(), width, height, width * 4});
            ours.insert(ours.end(), frame.begin(), frame.end());
            ends.push_back(ours.size());
        }
        const Pixels theirs = testing::readFileBytes(oracle);
        const auto differs = std::mismatch(ours.begin(), ours.end(), theirs.begin(), theirs.end()).first - ours.begin();
        EXPECT_TRUE(ours == theirs) << std::to_string(width) << "×1080: coded frames differ from picture "
                                    << std::upper_bound(ends.begin(), ends.end(), std::size_t(differs)) - ends.begin()
                                    << " of " << pictures.size() << " on";
    }
}

}  // namespace
}  // namespace pacemark
