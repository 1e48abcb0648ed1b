#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "../Rendering/RideFixture.h"
#include "CairoDrawingSurface.h"
#include "Layout/PacemarkPreset.h"
#include "ProResSliceEncoder.h"
#include "Rendering/LayoutFrameRenderer.h"

namespace pacemark {
namespace {

using Pixels = std::vector<std::uint8_t>;

struct SliceCase {
    std::string name;
    std::int64_t width;
    std::int64_t height;
    std::vector<PacemarkPreset> presets;
};

// Successive pictures of an export: the ride a second apart, a picture drawn
// again unchanged, the empty overlay, one where every slice changes, and the
// ride again.
std::vector<Pixels> pictureSequence(PacemarkPreset preset, std::int64_t width, std::int64_t height) {
    static const auto ride = testing::makeRide(1800);
    static const auto surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
    const LayoutFrameRenderer renderer(ride, PacemarkLayout::preset(preset), width, height, surfaces);
    const auto rendered = [&](double seconds) {
        Pixels pixels(std::size_t(width * height * 4));
        renderer.render(seconds, {pixels.data(), width, height, width * 4});
        return pixels;
    };
    Pixels noise(std::size_t(width * height * 4));
    std::mt19937 random(3);
    for (std::size_t i = 0; i < noise.size(); i += 4) {
        const auto alpha = std::uint8_t(random() & 0xFF);
        for (int c = 0; c < 3; ++c) noise[i + std::size_t(c)] = std::uint8_t(random() % (alpha + 1u));
        noise[i + 3] = alpha;
    }
    return {rendered(600), rendered(601), rendered(602), rendered(602), Pixels(noise.size(), 0),
            rendered(603), noise, rendered(604), rendered(605)};
}

void PrintTo(const SliceCase& c, std::ostream* out) { *out << c.name << " " << c.width << "x" << c.height; }

class ProResSliceEncoderTest : public ::testing::TestWithParam<SliceCase> {};

// Frames assembled from re-encoded and reused slices are byte for byte the
// frames of encoding every picture whole (both repaired), including slices
// narrower than 8 macroblocks at a row's end and partial macroblocks at the
// right and bottom edges, which the encoder pads from the slice's own pixels.
TEST_P(ProResSliceEncoderTest, SplicedFramesEqualWholeEncodes) {
    const SliceCase& c = GetParam();
    ProResWriterOptions whole;
    whole.reuseSlices = false;
    for (const PacemarkPreset preset : c.presets) {
        SCOPED_TRACE(std::string(preset.rawValue()));
        ProResSliceEncoder reference(c.width, c.height, 30, whole);
        ProResSliceEncoder spliced(c.width, c.height, 30, ProResWriterOptions{});
        const auto pictures = pictureSequence(preset, c.width, c.height);
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
                      SliceCase{"UHD", 3840, 2160, {PacemarkPreset::allCases()[0]}},
                      // partial macroblocks at both edges
                      SliceCase{"Odd", 1918, 1082, {PacemarkPreset::allCases()[1], PacemarkPreset::allCases()[4]}},
                      // 63 macroblocks a row: slices of 8, 4, 2 and 1
                      SliceCase{"Narrow", 1000, 270, {PacemarkPreset::allCases()[2], PacemarkPreset::allCases()[7]}}),
    [](const ::testing::TestParamInfo<SliceCase>& param) { return param.param.name; });

}  // namespace
}  // namespace pacemark
