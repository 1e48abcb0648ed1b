// SPDX-License-Identifier: GPL-3.0-or-later
// Update pictures decode to exactly the picture the writer keeps as its
// reference: any difference would drift from picture to picture.
#include "HEVCAlphaStreamEncoder.h"
#include "HEVCUpdatePictureWriter.h"
#include "TestSupport.h"
#include "X265Encoder.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace pacemark {
namespace {

using namespace testing;

constexpr int width = 200, height = 120;  // neither a multiple of the 64-sample units nor of 32

struct PlanarFrame {
    std::array<std::vector<std::uint8_t>, 3> planes{std::vector<std::uint8_t>(width * height),
                                                    std::vector<std::uint8_t>(width * height / 4),
                                                    std::vector<std::uint8_t>(width * height / 4)};
    X265PlanarPicture picture() const {
        X265PlanarPicture p;
        for (int c = 0; c < 3; ++c) {
            p.planes[c] = planes[static_cast<std::size_t>(c)].data();
            p.strides[c] = c == 0 ? width : width / 2;
        }
        return p;
    }
    // Fills a rectangle (luma coordinates, even) of the planes chosen.
    template <typename Value>
    void fill(int x, int y, int w, int h, std::array<bool, 3> which, Value value) {
        for (int c = 0; c < 3; ++c) {
            if (!which[static_cast<std::size_t>(c)]) continue;
            const int s = c == 0 ? 0 : 1, stride = width >> s;
            for (int j = y >> s; j < (y + h) >> s; ++j) {
                for (int i = x >> s; i < (x + w) >> s; ++i) {
                    auto& sample = planes[static_cast<std::size_t>(c)][static_cast<std::size_t>(j * stride + i)];
                    sample = static_cast<std::uint8_t>(value(sample, i, j));
                }
            }
        }
    }
};

void appendAnnexB(std::vector<std::uint8_t>& stream, const HEVCNalUnit& nal) {
    stream.insert(stream.end(), {0, 0, 0, 1});
    const std::vector<std::uint8_t> bytes = nal.serialize();
    stream.insert(stream.end(), bytes.begin(), bytes.end());
}

// The visible part of a coded-size picture, as a decoder writes it.
std::vector<std::uint8_t> visible(const X265PlanarPicture& picture) {
    std::vector<std::uint8_t> bytes;
    for (int c = 0; c < 3; ++c) {
        const int w = c == 0 ? width : width / 2, h = c == 0 ? height : height / 2;
        for (int y = 0; y < h; ++y) bytes.insert(bytes.end(), picture.planes[c] + y * picture.strides[c], picture.planes[c] + y * picture.strides[c] + w);
    }
    return bytes;
}

// An IDR picture from x265, then updates with every kind of change -- noise
// (large levels and escape codes), flat patches, changes below the
// quantiser, chroma alone, nothing -- at quantisers from 0 to 51.
TEST(HEVCUpdatePictureWriterTest, DecodersShowExactlyTheWritersReconstruction) {
    HEVCAlphaEncoderSettings settings;
    settings.width = width;
    settings.height = height;
    X265Encoder encoder(width, height, settings.preset, settings.sharedOptions());
    const std::vector<HEVCNalUnit> headers = encoder.headers();
    const auto rbspOf = [&](int type) {
        for (const HEVCNalUnit& nal : headers) if (nal.type == type) return nal.rbsp;
        return std::vector<std::uint8_t>{};
    };
    HEVCUpdatePictureWriter writer(rbspOf(HEVCNalType::sps), rbspOf(HEVCNalType::pps), 0, 0);

    std::mt19937 random(7);
    const auto noise = [&](auto, int, int) { return random() % 256; };
    PlanarFrame frame;
    frame.fill(0, 0, width, height, {true, true, true}, [](auto, int i, int j) { return (i * 3 + j * 5) % 256; });
    frame.fill(40, 20, 100, 60, {true, true, true}, noise);

    std::vector<std::uint8_t> stream;
    for (const HEVCNalUnit& nal : headers) appendAnnexB(stream, nal);
    const std::vector<HEVCEncodedPicture> key = encoder.encode(frame.picture(), 0, true, 30);
    ASSERT_EQ(key.size(), 1u);
    for (const HEVCNalUnit& nal : key.front().nalUnits) appendAnnexB(stream, nal);
    writer.restart(frame.picture(), encoder.lastReconstruction());
    std::vector<std::vector<std::uint8_t>> expected{visible(writer.decodedPicture())};

    const std::vector<std::function<void(PlanarFrame&)>> changes = {
        [&](PlanarFrame& f) { f.fill(0, 0, 64, 64, {true, true, true}, noise); },
        [&](PlanarFrame& f) { f.fill(96, 32, 32, 32, {true, false, false}, [](auto, int, int) { return 235; }); },
        [&](PlanarFrame& f) { f.fill(130, 70, 70, 50, {true, true, true}, [](auto s, int, int) { return s ^ 1; }); },
        [&](PlanarFrame& f) { f.fill(0, 64, 200, 56, {false, true, false}, noise); },
        [](PlanarFrame&) {},
        [&](PlanarFrame& f) { f.fill(160, 0, 40, 120, {true, true, true}, noise); },
    };
    const std::array<int, 5> quantisers = {0, 12, 22, 37, 51};
    for (std::size_t k = 0; k < 2 * changes.size(); ++k) {
        changes[k % changes.size()](frame);
        appendAnnexB(stream, writer.update(frame.picture(), static_cast<std::int32_t>(k + 1), quantisers[k % quantisers.size()]));
        expected.push_back(visible(writer.decodedPicture()));
    }
    appendAnnexB(stream, writer.skipPicture(static_cast<std::int32_t>(expected.size())));
    expected.push_back(expected.back());

    TemporaryFolder folder;
    writeFileBytes(folder / "updates.hevc", stream);
    const auto result = runCommand("ffmpeg -nostdin -v error -i " + quoted(folder / "updates.hevc") +
                                   " -f rawvideo -pix_fmt yuv420p " + quoted(folder / "decoded.yuv"));
    ASSERT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, "");
    const std::vector<std::uint8_t> decoded = readFileBytes(folder / "decoded.yuv");
    const std::size_t frameSize = expected.front().size();
    ASSERT_EQ(decoded.size(), frameSize * expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(std::equal(expected[i].begin(), expected[i].end(), decoded.begin() + static_cast<std::ptrdiff_t>(i * frameSize)))
            << "picture " << i;
    }
}

}  // namespace
}  // namespace pacemark
