// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Layout/PacemarkLayoutFile.h"
#include "TestSupport.h"

using namespace pacemark;
using Case = PacemarkLayoutFileError::Case;
using pacemark::testing::thrownBy;

namespace {

const std::string kWidget =
    R"({"id": "e621e1f8-c36c-495a-93fc-0c247a3e6e5f", "kind": "speed", "style": "glass",
        "frame": {"x": 0.04, "y": 0.7, "width": 0.15, "height": 0.15},
        "accentColor": "#35D05B", "labelColor": "#a8a8a8", "valueColor": "#FFFFFF", "caption": "Темп"})";
const std::string kDocument = R"({"version": 1, "preset": "minimal", "widgets": [)" + kWidget + "]}";

// kDocument with the first `from` replaced by `to`.
std::string edited(const std::string& from, const std::string& to) {
    std::string text = kDocument;
    const auto at = text.find(from);
    if (at == std::string::npos) throw std::logic_error("not in the document: " + from);
    return text.replace(at, from.size(), to);
}

// kDocument with an "aspect" field holding `value`.
std::string withAspect(const std::string& value) {
    return edited(R"("preset": "minimal")", R"("preset": "minimal", "aspect": )" + value);
}

// Every kind in every style (styles cycle over the kinds twice), with odd
// binary fractions, colours with leading zeros, captions with white space or
// an emoji, and one widget hidden.
PacemarkLayoutFile everyKindAndStyle() {
    PacemarkLayoutFile file = PacemarkLayoutFile::fromPreset(PacemarkPreset::raceBroadcast);
    file.layout.widgets.clear();
    const auto& kinds = TelemetryWidgetKind::allCases();
    const auto& styles = TelemetryWidgetPanelStyle::allCases();
    for (std::size_t k = 0; k < 2 * kinds.size(); ++k) {
        const double step = static_cast<double>(k) / static_cast<double>(2 * kinds.size());
        const std::string caption = k % 3 == 0   ? ""
                                    : k % 3 == 1 ? "  Подъём № " + std::to_string(k) + "\n"
                                                 : " \U0001F6B4 ";
        const TelemetryWidgetFrame frame{0.1 + 0.2 * step, 1.0 / 3 + step * 0.4, 0.1 + step / 7, 0.07};
        const std::uint32_t accent = k == 0 ? 0 : 0x10FF80 + static_cast<std::uint32_t>(k) * 0x010203;
        file.layout.widgets.emplace_back(UUID::random(), kinds[k % kinds.size()], frame, caption, accent, 0xC0C0C0 - k,
                                         0xFFFFFF - 0x0F0F0F * (k % 4), styles[k % styles.size()], k != 5);
    }
    file.layout.aspect = {9, 16};  // arranged on a portrait picture
    return file;
}

}  // namespace

TEST(PacemarkLayoutFileTest, WrittenLayoutsReadBackEqual) {
    pacemark::testing::TemporaryFolder folder;
    // Through a file, with ids and every field's odd values (the renderer
    // draws from nothing else, so equal layouts render equal frames); writing
    // again replaces the first file. (A preset written by the command line
    // and read back: PacemarkCLITest.)
    const auto path = folder / "ride.pacemark-layout";
    PacemarkLayoutFile::fromPreset(PacemarkPreset::minimal).write(path);
    const PacemarkLayoutFile file = everyKindAndStyle();
    file.write(path);
    EXPECT_EQ(PacemarkLayoutFile::read(path), file);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1) << "a temporary file was left";

    EXPECT_TRUE(PacemarkLayoutFile::hasLayoutExtension("a/Ride.PaceMark-Layout"));
    EXPECT_FALSE(PacemarkLayoutFile::hasLayoutExtension("ride.pacemark-layout.json"));
}

// (An id in lower case is the same id.)
TEST(PacemarkLayoutFileTest, ReadsTheDocumentedFormatWithTheEditorsBounds) {
    const PacemarkLayoutFile file = PacemarkLayoutFile::parse(kDocument);
    EXPECT_EQ(file.basePreset, PacemarkPreset::minimal);
    ASSERT_EQ(file.layout.widgets.size(), 1u);
    const PacemarkWidget& widget = file.layout.widgets[0];
    EXPECT_EQ(widget, PacemarkWidget(*UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F"), TelemetryWidgetKind::speed,
                                     TelemetryWidgetFrame{0.04, 0.7, 0.15, 0.15}, "Темп", 0x35D05B, 0xA8A8A8, 0xFFFFFF,
                                     TelemetryWidgetPanelStyle::glass, true));

    // Within 0...1 a frame is clamped as the editor clamps it; a caption is
    // cut to 24 characters; "visible" may be given.
    std::string text = edited(R"("width": 0.15, "height": 0.15})", R"("width": 0.9, "height": 0.001}, "visible": false)");
    text.insert(text.find("Темп") + std::string("Темп").size(), std::string(60, 'x'));
    const PacemarkWidget clamped = PacemarkLayoutFile::parse(text).layout.widgets[0];
    EXPECT_EQ(clamped.frame, (TelemetryWidgetFrame{0.04, 0.7, 0.75, 0.018}).clamped());
    EXPECT_EQ(clamped.titleOverride, "Темп" + std::string(20, 'x'));
    EXPECT_FALSE(clamped.isVisible);

    EXPECT_TRUE(PacemarkLayoutFile::parse(edited("[" + kWidget + "]", "[]")).layout.widgets.empty());
}

// Files from before layouts recorded their shape were all made on 16:9 pictures.
TEST(PacemarkLayoutFileTest, AFileWithoutAnAspectWasMadeForSixteenByNine) {
    EXPECT_EQ(PacemarkLayoutFile::parse(kDocument).layout.aspect, (PacemarkLayoutAspect{16, 9}));
    EXPECT_EQ(PacemarkLayoutFile::parse(withAspect(R"({"width": 9, "height": 16})")).layout.aspect, (PacemarkLayoutAspect{9, 16}));
}

struct BadLayoutFile {
    const char* name;
    std::string text;
    Case errorCase;
    std::string field;  // empty for faults of the whole file

    friend void PrintTo(const BadLayoutFile& bad, std::ostream* out) { *out << bad.name; }
};

class PacemarkLayoutFileBadTest : public ::testing::TestWithParam<BadLayoutFile> {};

TEST_P(PacemarkLayoutFileBadTest, IsRefusedNamingTheField) {
    const BadLayoutFile& bad = GetParam();
    const auto error = thrownBy<PacemarkLayoutFileError>([&] { (void)PacemarkLayoutFile::parse(bad.text); });
    EXPECT_EQ(error.errorCase(), bad.errorCase) << error.errorDescription();
    EXPECT_EQ(error.field(), bad.field) << error.errorDescription();
    EXPECT_TRUE(error.errorDescription().starts_with("Не удалось открыть макет: ")) << error.errorDescription();
    if (!bad.field.empty()) {
        EXPECT_NE(error.errorDescription().find("«" + bad.field + "»"), std::string::npos) << error.errorDescription();
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachFault, PacemarkLayoutFileBadTest,
    ::testing::Values(
        BadLayoutFile{"TrailingGarbage", kDocument + "}", Case::notJSON, ""},
        BadLayoutFile{"Huge", kDocument + std::string(PacemarkLayoutFile::maxFileSizeBytes, ' '), Case::tooLarge, ""},
        BadLayoutFile{"DeepNesting", edited(R"("caption": "Темп")", R"("caption": )" + std::string(100000, '[')),
                      Case::nestedTooDeeply, "widgets[0].caption[0][0][0][0][0][0][0][0][0][0][0][0][0]"},
        BadLayoutFile{"DuplicateKey", edited(R"("kind": "speed")", R"("kind": "speed", "kind": "power")"),
                      Case::duplicateKey, "widgets[0].kind"},
        BadLayoutFile{"NewerVersion", edited(R"("version": 1)", R"("version": 2)"), Case::unsupportedVersion,
                      "version"},
        BadLayoutFile{"NoHeight", edited(R"(, "height": 0.15)", ""), Case::missingField, "widgets[0].frame.height"},
        BadLayoutFile{"UnknownTopField", edited(R"("version": 1)", R"("version": 1, "theme": "dark")"),
                      Case::unknownField, "theme"},
        BadLayoutFile{"XAsText", edited(R"("x": 0.04)", R"("x": "0.04")"), Case::wrongType, "widgets[0].frame.x"},
        BadLayoutFile{"KindInWrongCase", edited(R"("speed")", R"("Speed")"), Case::unknownKind, "widgets[0].kind"},
        BadLayoutFile{"UnknownStyle", edited(R"("glass")", R"("neon")"), Case::unknownStyle, "widgets[0].style"},
        BadLayoutFile{"PresetByRussianName", edited(R"("minimal")", R"("Минимум")"), Case::unknownPreset, "preset"},
        BadLayoutFile{"NegativeX", edited(R"("x": 0.04)", R"("x": -0.1)"), Case::valueOutOfRange,
                      "widgets[0].frame.x"},
        BadLayoutFile{"ColourWithoutHash", edited(R"("#35D05B")", R"("35D05B")"), Case::invalidColor,
                      "widgets[0].accentColor"},
        BadLayoutFile{"BadID", edited("e621e1f8-c36c", "e621e1f8-c36x"), Case::invalidID, "widgets[0].id"},
        BadLayoutFile{"AspectOfZero", withAspect(R"({"width": 16, "height": 0})"), Case::valueOutOfRange, "aspect.height"},
        BadLayoutFile{"DuplicateID", edited("[" + kWidget + "]", "[" + kWidget + ", " + kWidget + "]"),
                      Case::duplicateID, "widgets[1].id"}),
    [](const ::testing::TestParamInfo<BadLayoutFile>& entry) { return std::string(entry.param.name); });

TEST(PacemarkLayoutFileTest, FailedWritesKeepTheExistingFile) {
    pacemark::testing::TemporaryFolder folder;
    const auto path = folder / "mine.pacemark-layout";
    const PacemarkLayoutFile original = PacemarkLayoutFile::fromPreset(PacemarkPreset::classicGauges);
    original.write(path);

    // Writing: a layout that could not be opened again is not written, nor is
    // anything into a missing folder; the existing file stays as it was.
    PacemarkLayoutFile twins = original;
    twins.layout.widgets.push_back(twins.layout.widgets.front());
    const auto repeated = thrownBy<PacemarkLayoutFileError>([&] { twins.write(path); });
    EXPECT_EQ(repeated.errorCase(), Case::duplicateID);
    EXPECT_TRUE(repeated.errorDescription().starts_with("Не удалось сохранить макет «mine.pacemark-layout»: "));
    const auto unwritten =
        thrownBy<PacemarkLayoutFileError>([&] { original.write(folder / "missing" / "mine.pacemark-layout"); });
    EXPECT_EQ(unwritten.errorCase(), Case::writeFailed);
    EXPECT_EQ(unwritten.errorDescription(), "Не удалось сохранить макет «mine.pacemark-layout»: папка или файл не найдены.");
    EXPECT_EQ(PacemarkLayoutFile::read(path), original);
}
