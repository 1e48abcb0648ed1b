// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <functional>

#include "MovieCheck/ProResFrame.h"
#include "MovieCheck/ProResFrameRepair.h"
#include "ProResTestFrames.h"

namespace pacemark {
namespace {

using namespace pacemark::testing;

// Three macroblocks across: slices of 2 and 1 macroblocks (512 and 256
// alpha values), one row.
constexpr int kWidth = 48;
constexpr int kHeight = 16;

std::vector<std::uint16_t> opaqueThenEdge(std::size_t count) {
    std::vector<std::uint16_t> values(count, 0xFFFF);
    values.back() = 0x1234;  // the last value differs: the faulty encoder drops the final run code
    return values;
}

// Alpha whose last value differs from the one before, with `smallSteps`
// small differences at the start to move where the final code ends.
std::vector<std::uint16_t> stepsThenEdge(std::size_t count, int smallSteps) {
    std::vector<std::uint16_t> values(count, 0x8000);
    for (int i = 0; i < smallSteps; ++i) values[std::size_t(i)] = std::uint16_t(0x8000 + 2 * (i + 1));
    values.back() = 0x0100;
    return values;
}

TEST(ProResFrameRepairTest, FaultyFramesBecomeWhatACorrectEncoderWrites) {
    // Both ways to add the missing run code: in the padding bits, and (when
    // the alpha data ends on a byte) in one more byte.
    int grownCases = 0;
    int paddedCases = 0;
    for (int steps = 0; steps < 8; ++steps) {
        SCOPED_TRACE("small steps " + std::to_string(steps));
        const std::vector<std::vector<std::uint16_t>> alpha = {stepsThenEdge(512, steps), opaqueThenEdge(256)};
        const auto correct = buildProResFrame(kWidth, kHeight, alpha, ProResFrameFaults{});
        const auto faulty = buildProResFrame(kWidth, kHeight, alpha, ProResFrameFaults{true, true, true});
        (faulty.size() < correct.size() ? grownCases : paddedCases) += 1;
        EXPECT_EQ(ProResFrameRepair::repair(faulty), correct);
        EXPECT_EQ(ProResFrameRepair::repair(correct), correct);  // a correct frame passes untouched
    }
    EXPECT_GT(grownCases, 0);
    EXPECT_GT(paddedCases, 0);

    // Runs at the end (no fault), 8-bit alpha, and an interlaced frame of two fields.
    const std::vector<std::vector<std::uint16_t>> endsInRun = {std::vector<std::uint16_t>(512, 0),
                                                             std::vector<std::uint16_t>(256, 0x00FF)};
    const auto correct8 = buildProResFrame(kWidth, kHeight, endsInRun, {}, 8);
    EXPECT_EQ(ProResFrameRepair::repair(correct8), correct8);
    const std::vector<std::vector<std::uint16_t>> fields = {opaqueThenEdge(512), opaqueThenEdge(256),
                                                          opaqueThenEdge(512), opaqueThenEdge(256)};
    const auto interlaced = buildProResFrame(kWidth, 2 * kHeight, fields, {}, 16, true);
    EXPECT_EQ(ProResFrameRepair::repair(buildProResFrame(kWidth, 2 * kHeight, fields, {false, false, true}, 16, true)),
              interlaced);
}

struct GrammarCase {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> damage;
    const char* message;  // part of the error text
    int slice;
};

TEST(ProResFrameRepairTest, FramesThatBreakTheGrammarAreRefusedWithTheirPlace) {
    const std::vector<std::vector<std::uint16_t>> alpha = {opaqueThenEdge(512), opaqueThenEdge(256)};
    const auto good = buildProResFrame(kWidth, kHeight, alpha, {});
    const ProResFrame layout = ProResFrame::parse(good);
    const std::size_t alpha1 = layout.slices[1].alphaOffset;
    const std::vector<GrammarCase> cases = {
        {"frame size", [](auto& f) { f[3] ^= 1; }, "размер кадра", -1},
        {"version", [](auto& f) { f[11] = 2; }, "версия", -1},
        {"run past the slice", [&](auto& f) { f[alpha1 + 3] = 0xFF; }, "за его пределы", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto frame = good;
        c.damage(frame);
        try {
            const ProResFrame parsed = ProResFrame::parse(frame);
            const ProResSlice& slice = parsed.slices.at(std::size_t(c.slice));
            scanProResAlpha(std::span(frame).subspan(slice.alphaOffset, slice.alphaSize), 16, slice.macroblocks * 256);
            ADD_FAILURE() << "accepted";
        } catch (const ProResFormatError& error) {
            EXPECT_NE(error.errorDescription().find(c.message), std::string::npos) << error.errorDescription();
            if (c.slice < 0) {
                EXPECT_EQ(error.slice(), -1);
            }
        }
        EXPECT_THROW(ProResFrameRepair::repair(frame), ProResFormatError);
    }

    // Every truncation is refused. (Random damage: MovieCheckFuzzer.)
    for (std::size_t size = 0; size < good.size(); ++size) {
        auto cut = std::vector<std::uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(size));
        if (cut.size() >= 4) cut[0] = 0, cut[1] = 0, cut[2] = std::uint8_t(size >> 8), cut[3] = std::uint8_t(size);
        EXPECT_THROW(ProResFrameRepair::repair(cut), ProResFormatError) << "size " << size;
    }
}

}  // namespace
}  // namespace pacemark
