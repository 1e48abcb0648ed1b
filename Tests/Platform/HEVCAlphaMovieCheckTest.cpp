#include "ExportEncoderSettings.h"
#include "HEVCAlphaMovieCheck.h"
#include "HEVCAlphaMovieWriter.h"
#include "HEVCAlphaParameterSets.h"
#include "HEVCDecoderConfigurationRecord.h"
#include "HEVCNalUnit.h"
#include "OverlayTestFrames.h"
#include "ProResTestFrames.h"
#include "QuickTimeTestReader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace pacemark {
namespace {

using Bytes = std::vector<std::uint8_t>;
using pacemark::testing::QuickTimeHEVCTrack;
using pacemark::testing::quickTimeBox;

constexpr int trackFrames = 8;

QuickTimeHEVCTrack writeTrack(const std::filesystem::path& path, const X265Encoder::Options& alphaOptions = {}) {
    HEVCAlphaEncoderSettings settings = testing::exportEncoderSettings(96, 64, 10);
    settings.alphaExtraOptions = alphaOptions;
    HEVCAlphaMovieWriter writer(path, settings);
    writer.startWriting();
    pacemark::testing::OverlayTestFrame frame(96, 64);
    for (int i = 0; i < trackFrames; ++i) {
        frame.draw(i);
        writer.append(frame.view(), i);
    }
    writer.finish();
    return pacemark::testing::readQuickTimeHEVCTrack(path);
}

std::vector<std::span<const std::uint8_t>> spans(const std::vector<Bytes>& samples) {
    return {samples.begin(), samples.end()};
}

// A track taken apart into what the tests change: the sample entry's fixed
// fields, the hvcC's NAL units and every sample's NAL units.
struct EditableTrack {
    Bytes entryFields;  // the first 86 bytes of the sample entry
    std::vector<HEVCNalUnit> configuration;
    std::vector<std::vector<HEVCNalUnit>> samples;

    explicit EditableTrack(const QuickTimeHEVCTrack& track)
        : entryFields(track.sampleEntry.begin(), track.sampleEntry.begin() + 86) {
        for (const auto& bytes : pacemark::testing::hvcCNalUnits(track.hvcC)) configuration.push_back(HEVCNalUnit::parse(bytes));
        for (const auto& sample : track.samples) {
            samples.emplace_back();
            for (const auto& bytes : pacemark::testing::lengthPrefixedNalUnits(sample)) samples.back().push_back(HEVCNalUnit::parse(bytes));
        }
    }

    std::vector<MovieCheckFinding> check() const {
        const HEVCSequenceParameterSet base = HEVCSequenceParameterSet::parse(configuration.at(1).rbsp);
        const Bytes hvcC = quickTimeBox("hvcC", hevcMakeDecoderConfigurationRecord(base, configuration));
        Bytes entry = entryFields;
        entry.insert(entry.end(), hvcC.begin(), hvcC.end());
        for (int i = 0; i < 4; ++i) entry[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(entry.size() >> (24 - 8 * i));
        std::vector<Bytes> sampleBytes;
        for (const auto& units : samples) {
            Bytes& sample = sampleBytes.emplace_back();
            for (const auto& unit : units) {
                const Bytes nal = unit.serialize();
                for (const int shift : {24, 16, 8, 0}) sample.push_back(static_cast<std::uint8_t>(nal.size() >> shift));
                sample.insert(sample.end(), nal.begin(), nal.end());
            }
        }
        return checkHEVCAlphaTrack(entry, spans(sampleBytes));
    }
};

std::string joined(const std::vector<MovieCheckFinding>& findings) {
    std::string text;
    for (const auto& finding : findings) text += finding.message + "\n";
    return text;
}

// Our writer's track, written once for every test here.
const QuickTimeHEVCTrack& ours() {
    static const pacemark::testing::TemporaryFolder folder;
    static const QuickTimeHEVCTrack track = writeTrack(folder / "ours.mov");
    return track;
}

TEST(HEVCAlphaMovieCheckTest, OurMoviePassesAndOtherEncodersLayoutsAreNamed) {
    EXPECT_EQ(joined(checkHEVCAlphaTrack(ours().sampleEntry, spans(ours().samples))), "");
    // Taking the track apart and putting it back together changes nothing.
    EXPECT_EQ(joined(EditableTrack(ours()).check()), "");

    // The reference movie of another encoder: two layers, AuxId alpha, but
    // layer set {0, 1} in the base VPS, both layers output, three
    // profile-tier-level entries, unaligned POC LSBs, a limited-range alpha
    // layer.
    const auto path = pacemark::testing::sharedReferenceFolder() / "hevc-alpha" / "ref_hvc1_bframes.mov";
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "reference movie not found: " << path;
    const auto reference = pacemark::testing::readQuickTimeHEVCTrack(path);
    const auto findings = checkHEVCAlphaTrack(reference.sampleEntry, spans(reference.samples));
    EXPECT_EQ(joined(findings),
              "VPS: в базовой части наборы слоёв {0}, {0, 1}; нужен только {0}.\n"
              "VPS: дополнительные наборы слоёв: нет; нужен один набор {1} с альфа-слоем.\n"
              "VPS: выходной набор слоёв 1 должен состоять из слоя 1 и выводить его.\n"
              "VPS: записей profile_tier_level 3, а нужно две.\n"
              "VPS: vps_poc_lsb_aligned_flag 0, а нужно 1 (оба слоя кадра с одним POC).\n"
              "SPS альфа-слоя: video_full_range_flag 0 — значения альфы 0–255 будут прочитаны как ограниченный "
              "диапазон; нужен полный диапазон (1).\n");
}

struct BrokenTrack {
    const char* name;
    std::function<void(EditableTrack&)> damage;
    std::vector<const char*> expected;  // one finding each, in order
};

TEST(HEVCAlphaMovieCheckTest, EachFaultOfAnAlphaTrackIsNamedOnce) {
    auto withoutLayer1 = [](std::vector<HEVCNalUnit>& units) {
        std::erase_if(units, [](const HEVCNalUnit& unit) { return unit.layerId == 1; });
    };
    auto replaceVps = [](EditableTrack& track, const HEVCAlphaLayerSignalling& signalling) {
        const auto base = HEVCSequenceParameterSet::parse(track.configuration.at(1).rbsp);
        track.configuration.at(0).rbsp = hevcWriteAlphaVideoParameterSet(base, signalling);
    };
    const std::vector<BrokenTrack> cases{
        {"VPS of the shared layer set",
         [&](EditableTrack& t) { replaceVps(t, {true, false, false}); },
         {"VPS: в базовой части наборы слоёв {0}, {0, 1}", "VPS: дополнительные наборы слоёв: нет",
          "VPS: выходной набор слоёв 1", "VPS: записей profile_tier_level 3", "VPS: vps_poc_lsb_aligned_flag 0"}},
        {"no alpha layer",
         [&](EditableTrack& t) {
             withoutLayer1(t.configuration);
             for (auto& sample : t.samples) withoutLayer1(sample);
         },
         {"В hvcC нет SPS слоя альфа-канала", "В hvcC нет PPS слоя альфа-канала",
          "Кадр 1 дорожки: нет среза альфа-канала (nuh_layer_id 1). Таких кадров: 8."}},
        {"alpha slices missing from one frame",
         [&](EditableTrack& t) { withoutLayer1(t.samples.at(5)); },
         {"Кадр 6 дорожки: нет среза альфа-канала (nuh_layer_id 1)."}},
        {"layers in the wrong order",
         [](EditableTrack& t) { std::reverse(t.samples.at(2).begin(), t.samples.at(2).end()); },
         {"Кадр 3 дорожки: срез цвета идёт после среза альфа-канала."}},
        {"no SEI", [](EditableTrack& t) { t.configuration.pop_back(); }, {"Нет SEI alpha_channel_info (тип 165)"}},
        {"use_idc unspecified", [](EditableTrack& t) { t.configuration.back().rbsp.at(2) = 0x20; }, {"alpha_channel_use_idc 2"}},
        {"use_idc reserved", [](EditableTrack& t) { t.configuration.back().rbsp.at(2) = 0x50; }, {"alpha_channel_use_idc 5"}},
        {"alpha cancelled", [](EditableTrack& t) { t.configuration.back().rbsp.at(2) = 0x80; }, {"alpha_channel_cancel_flag 1"}},
        {"SEI cut short", [](EditableTrack& t) { t.configuration.back().rbsp.resize(4); }, {"SEI слоя цвета в hvcC не разобран", "Нет SEI alpha_channel_info"}},
        {"hev1 sample entry", [](EditableTrack& t) { t.entryFields[5] = 'e', t.entryFields[6] = 'v'; }, {"«hev1»"}},
        {"parameter sets inside samples",
         [](EditableTrack& t) {
             for (auto& sample : t.samples) sample.insert(sample.begin(), t.configuration.at(1));
         },
         {"Кадр 1 дорожки: параметры потока внутри кадра; у «hvc1» они должны быть только в hvcC. Таких кадров: 8."}},
    };
    for (const BrokenTrack& broken : cases) {
        EditableTrack track(ours());
        broken.damage(track);
        const auto findings = track.check();
        ASSERT_EQ(findings.size(), broken.expected.size()) << broken.name << ":\n" << joined(findings);
        for (std::size_t i = 0; i < findings.size(); ++i) {
            EXPECT_NE(findings[i].message.find(broken.expected[i]), std::string::npos) << broken.name << ":\n" << joined(findings);
        }
    }

    // A real encode whose alpha layer keeps the colour layer's limited range.
    const pacemark::testing::TemporaryFolder folder;
    const auto limited = writeTrack(folder / "limited.mov", {{"range", "limited"}});
    const auto findings = checkHEVCAlphaTrack(limited.sampleEntry, spans(limited.samples));
    ASSERT_EQ(findings.size(), 1u) << joined(findings);
    EXPECT_NE(findings[0].message.find("video_full_range_flag 0"), std::string::npos);
}

TEST(HEVCAlphaMovieCheckTest, TruncatedAndGarbageInputGivesFindingsNotCrashes) {
    const Bytes& entry = ours().sampleEntry;
    // Every cut of the sample entry is told (its size no longer matches).
    for (std::size_t size = 0; size < entry.size(); ++size) {
        const auto findings = checkHEVCAlphaTrack(std::span(entry).first(size), spans(ours().samples));
        ASSERT_FALSE(findings.empty()) << "sample entry cut to " << size << " bytes";
    }
    // Cut samples: a NAL length runs past the end, or the sample ends inside
    // one (a cut inside slice data cannot be seen without decoding).
    std::vector<Bytes> cut = ours().samples;
    cut[3].resize(cut[3].size() - 1);
    cut[4].resize(20);
    cut[5].resize(2);
    EXPECT_EQ(joined(checkHEVCAlphaTrack(entry, spans(cut))),
              "Кадр 4 дорожки: длина NAL-блока выходит за конец кадра. Таких кадров: 2.\n"
              "Кадр 4 дорожки: нет среза альфа-канала (nuh_layer_id 1). Таких кадров: 3.\n"
              "Кадр 5 дорожки: нет среза слоя цвета (nuh_layer_id 0). Таких кадров: 2.\n"
              "Кадр 6 дорожки: обрезан посреди длины NAL-блока.\n");

    // Random bytes and random damage never escape as an exception or a
    // crash (the fuzzer runs the same under the sanitizers).
    std::mt19937 random(5);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 1000; ++round) {
        Bytes damagedEntry = entry;
        std::vector<Bytes> damagedSamples = ours().samples;
        // The boxes of the sample entry, or a sample anywhere.
        Bytes& target = round % 2 ? damagedEntry : damagedSamples[static_cast<std::size_t>(round) % damagedSamples.size()];
        const std::size_t start = round % 2 ? 86 : 0;
        std::uniform_int_distribution<std::size_t> position(start, target.size() - 1);
        for (int flips = 0; flips < 1 + round % 5; ++flips) target[position(random)] = static_cast<std::uint8_t>(byte(random));
        if (round % 3 == 0) target.resize(position(random));
        EXPECT_NO_THROW(checkHEVCAlphaTrack(damagedEntry, spans(damagedSamples)));
        Bytes garbage(static_cast<std::size_t>(byte(random)) * 4);
        for (auto& b : garbage) b = static_cast<std::uint8_t>(byte(random));
        EXPECT_FALSE(checkHEVCAlphaTrack(garbage, spans({garbage})).empty());
    }
}

}  // namespace
}  // namespace pacemark
