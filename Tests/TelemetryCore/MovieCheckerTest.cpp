// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <utility>

#include "MovieCheck/MovieChecker.h"
#include "ProResTestFrames.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using namespace pacemark::testing;
using Bytes = std::vector<std::uint8_t>;

const std::vector<std::vector<std::uint16_t>> kAlpha = {
    [] {
        std::vector<std::uint16_t> values(512, 0);
        values.back() = 0xFFFF;
        return values;
    }(),
    std::vector<std::uint16_t>(256, 0x4000),
};

Bytes goodFrame() { return buildProResFrame(48, 16, kAlpha, {}); }
Bytes faultyFrame() { return buildProResFrame(48, 16, kAlpha, {true, true, true}); }

const Bytes kBT709 = {'n', 'c', 'l', 'c', 0, 1, 0, 1, 0, 1};

// What our writer puts in the sample entry, but the box `skipped` and with
// the given colour and field payloads.
std::vector<Bytes> appleExtensions(const std::string& skipped = "", const Bytes& colr = kBT709,
                                   const Bytes& fiel = {1, 0}) {
    std::vector<Bytes> boxes;
    for (const auto& [type, payload] : {std::pair{"colr", colr}, {"fiel", fiel}, {"pasp", {0, 0, 0, 1, 0, 0, 0, 1}}}) {
        if (type != skipped) boxes.push_back(quickTimeBox(type, payload));
    }
    return boxes;
}

MovieCheckReport check(const Bytes& movie, HEVCAlphaTrackChecker hevc = {}) {
    MemoryMovieSource source(movie);
    return MovieChecker(std::move(hevc)).check(source);
}

std::string allFindings(const MovieCheckReport& report) {
    std::string text;
    for (const auto& finding : report.findings) text += finding.message + "\n";
    return text;
}

// (That a correct movie gives no finding is held by each case below having
// exactly its own one.)
TEST(MovieCheckerTest, EachProResFrameFaultIsPlaced) {
    Bytes garbage = goodFrame();
    garbage.back() |= 0x01;  // a set bit in the padding after the second slice's alpha
    const MovieCheckReport bad = check(
        buildQuickTimeMovie("ap4h", 48, 16, 32, appleExtensions(), {goodFrame(), faultyFrame(), faultyFrame(), garbage}));
    ASSERT_EQ(bad.findings.size(), 4u) << allFindings(bad);
    EXPECT_EQ(bad.findings[0].message,
              "Кадр ProRes нарушает формат: после альфа-канала среза лишние данные — в 1 из 4 кадров, впервые в "
              "кадре 4, срез 2.");
    EXPECT_EQ(bad.findings[1].message,
              "Заголовок кадра: версия битового потока 0, а для 4:4:4 и альфа-канала нужна 1 — в 2 из 4 кадров, "
              "впервые в кадре 2.");
    EXPECT_EQ(bad.findings[2].message,
              "Заголовок кадра: заняты зарезервированные старшие биты байта типа альфа-канала: 0x42 вместо 0x02 — в "
              "2 из 4 кадров, впервые в кадре 2.");
    // Slice 1 ends in a differing value; slice 2 ends in a run and is fine.
    EXPECT_EQ(bad.findings[3].message,
              "Альфа-канал среза: нет завершающего кода серии, строгий декодер прочтёт альфу неверно — в 2 из 4 "
              "кадров (срезов: 2), впервые в кадре 2, срез 1.");
}

TEST(MovieCheckerTest, SampleEntryMustDescribeTheFramesFully) {
    struct Case {
        const char* name;
        std::string format;
        int depth;
        std::vector<Bytes> extensions;
        const char* finding;
    };
    const std::vector<Case> cases = {
        {"depth", "ap4h", 24, appleExtensions(), "Глубина в описании сэмплов — 24"},
        {"format", "apch", 32, appleExtensions(), "формат дорожки «apch»"},
        {"colr", "ap4h", 32, appleExtensions("colr"), "нет блока «colr»"},
        {"bt601", "ap4h", 32, appleExtensions("", {'n', 'c', 'l', 'c', 0, 6, 0, 1, 0, 6}),
         "не BT.709 (основные цвета 6, передаточная функция 1, матрица 6)"},
        {"fields", "ap4h", 32, appleExtensions("", kBT709, {2, 9}), "«fiel» не совпадает"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MovieCheckReport report = check(buildQuickTimeMovie(c.format, 48, 16, c.depth, c.extensions, {goodFrame()}));
        ASSERT_EQ(report.findings.size(), 1u) << allFindings(report);
        EXPECT_NE(report.findings[0].message.find(c.finding), std::string::npos) << report.findings[0].message;
    }
    const Bytes opaque = buildProResFrame(48, 16, {{}, {}}, {}, 0);
    const MovieCheckReport noAlpha = check(buildQuickTimeMovie("ap4h", 48, 16, 24, appleExtensions(), {opaque}));
    EXPECT_EQ(allFindings(noAlpha), "В кадрах нет альфа-канала: фон будет непрозрачным.\n");
}

// (Real HEVC movies through the real checker: ExportCommandTest.)
TEST(MovieCheckerTest, HEVCTracksGoToTheHEVCChecker) {
    const Bytes movie = buildQuickTimeMovie("hvc1", 64, 32, 24, {quickTimeBox("hvcC", {1, 2, 3})}, {{1, 2, 3}, {4, 5}});
    const MovieCheckReport report = check(movie, [](std::span<const std::uint8_t>, const auto& samples) {
        EXPECT_EQ(Bytes(samples[1].begin(), samples[1].end()), (Bytes{4, 5}));
        return std::vector<MovieCheckFinding>{{"нет SEI"}};
    });
    EXPECT_EQ(report.findings, std::vector<MovieCheckFinding>{{"нет SEI"}});
    EXPECT_EQ(report.frameCount, 2u);
}

Bytes goodMovie(const QuickTimeTestTiming& timing) {
    return buildQuickTimeMovie("ap4h", 48, 16, 32, appleExtensions(), {goodFrame(), goodFrame(), goodFrame()}, timing);
}

TEST(MovieCheckerTest, ConstantSampleDurationsGiveTheExactRate) {
    const MovieCheckReport ntsc = check(goodMovie(QuickTimeTestTiming::constant(30000, 1001)));
    EXPECT_EQ(allFindings(ntsc), "");
    EXPECT_EQ(ntsc.frameRate, FrameRate(30000, 1001));
    // FFmpeg's muxer doubles a small time scale: 15360 units, 512 a frame.
    EXPECT_EQ(check(goodMovie(QuickTimeTestTiming::constant(15360, 512))).frameRate, FrameRate(30));
    // Runs of one duration are still one rate.
    EXPECT_EQ(check(goodMovie(QuickTimeTestTiming::ofRuns(24000, {{1, 1001}, {2, 1001}}))).frameRate, FrameRate(24000, 1001));
}

TEST(MovieCheckerTest, VaryingSampleDurationsAreAFinding) {
    const MovieCheckReport report = check(goodMovie(QuickTimeTestTiming::ofRuns(30000, {{2, 1001}, {1, 1000}})));
    EXPECT_EQ(allFindings(report),
              "Кадры длятся по-разному (от 1000 до 1001 единиц при 30000 в секунду): у фильма нет постоянной частоты "
              "кадров, монтажная программа сдвинет кадры.\n");
    EXPECT_FALSE(report.frameRate.isKnown());
}

TEST(MovieCheckerTest, DurationsMustCoverEverySample) {
    EXPECT_EQ(allFindings(check(goodMovie(QuickTimeTestTiming::ofRuns(30, {{2, 1}})))),
              "Таблица длительностей описывает кадров: 2, а в дорожке их 3.\n");
    EXPECT_EQ(allFindings(check(goodMovie(QuickTimeTestTiming::constant(30, 0)))),
              "Кадры дорожки имеют нулевую длительность: частота кадров не определена.\n");
}

TEST(MovieCheckerTest, HEVCStreamMustStateTheTracksRate) {
    const Bytes movie = buildQuickTimeMovie("hvc1", 64, 32, 24, {quickTimeBox("hvcC", {1, 2, 3})}, {{1, 2, 3}},
                                            QuickTimeTestTiming::constant(30000, 1001));
    const auto noFindings = [](std::span<const std::uint8_t>, const auto&) { return std::vector<MovieCheckFinding>{}; };
    const auto checkWith = [&](std::optional<FrameRate> stated) {
        MemoryMovieSource source(movie);
        return MovieChecker(noFindings, [stated](std::span<const std::uint8_t>) { return stated; }).check(source);
    };
    EXPECT_EQ(allFindings(checkWith(FrameRate(30000, 1001))), "");
    EXPECT_EQ(allFindings(checkWith(std::nullopt)), "");  // a stream without timing leaves the track's rate
    EXPECT_EQ(allFindings(checkWith(FrameRate(30))),
              "Частота кадров в параметрах потока HEVC (30/1) не совпадает с частотой дорожки (30000/1001).\n");
    EXPECT_EQ(checkWith(FrameRate(30)).frameRate, FrameRate(30000, 1001));
}

TEST(MovieCheckerTest, DamagedContainersAreRefusedNeverMisread) {
    const Bytes movie = buildQuickTimeMovie("ap4h", 48, 16, 32, appleExtensions(), {goodFrame(), goodFrame()});
    for (std::size_t size = 0; size < movie.size(); ++size) {
        const Bytes cut(movie.begin(), movie.begin() + std::ptrdiff_t(size));
        EXPECT_THROW(check(cut), MovieCheckError) << "size " << size;
    }
    EXPECT_THROW(check(buildQuickTimeMovie("avc1", 48, 16, 24, {}, {{1}})), MovieCheckError);
}

}  // namespace
}  // namespace pacemark
