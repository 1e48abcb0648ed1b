#include <gtest/gtest.h>

#include "CLIRun.h"
#include "Layout/PacemarkLayoutFile.h"

using namespace pacemark;
using pacemark::testing::CLIRun;
using pacemark::testing::runCLI;

namespace {

std::string ride() { return pacemark::testing::sampleRide().string(); }

}  // namespace

TEST(PacemarkCLILayoutTest, PresetFileDrawsLikeThePresetAndEditsShow) {
    pacemark::testing::TemporaryFolder folder;
    const std::string layoutPath = (folder / "gauges.pacemark-layout").string();
    ASSERT_EQ(runCLI({"layout", "--preset", "classicGauges", "-o", layoutPath}, folder).status, 0);
    PacemarkLayoutFile file = PacemarkLayoutFile::read(layoutPath);
    EXPECT_EQ(file.basePreset, PacemarkPreset::classicGauges);
    EXPECT_EQ(file.layout.widgets.size(), PacemarkLayout::preset(PacemarkPreset::classicGauges).widgets.size());

    const auto frame = [&](const std::vector<std::string>& overlay, const std::string& name) {
        std::vector<std::string> arguments = {"frame", ride(), "--size", "320x180", "--at", "30", "-o",
                                              (folder / name).string()};
        arguments.insert(arguments.end(), overlay.begin(), overlay.end());
        const CLIRun run = runCLI(arguments, folder);
        EXPECT_EQ(run.status, 0) << run.err;
        return pacemark::testing::readFileBytes(folder / name);
    };
    const auto fromPreset = frame({"--preset", "classicGauges"}, "preset.png");
    EXPECT_EQ(frame({"--layout", layoutPath}, "file.png"), fromPreset);
    file.layout.widgets.front().accentHex = 0xFF00FF;
    file.write(layoutPath);
    EXPECT_NE(frame({"--layout", layoutPath}, "edited.png"), fromPreset);

    // The sheet shows the one layout; the export takes it too.
    ASSERT_EQ(runCLI({"sheet", ride(), "--layout", layoutPath, "-o", (folder / "sheet.png").string()}, folder).status,
              0);
    const auto sheet = pacemark::testing::readFileBytes(folder / "sheet.png");
    ASSERT_GE(sheet.size(), 24u);
    EXPECT_EQ((sheet[16] << 24 | sheet[17] << 16 | sheet[18] << 8 | sheet[19]), 640 + 2 * 20);  // PNG width
    const CLIRun exported = runCLI({"export", ride(), "--layout", layoutPath, "--size", "64x36", "--fps", "2", "--end",
                                 "2", "-o", (folder / "out.mov").string()},
                                folder);
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_TRUE(std::filesystem::exists(folder / "out.mov"));
}

TEST(PacemarkCLILayoutTest, BadLayoutOrOptionsAreReportedInRussian) {
    pacemark::testing::TemporaryFolder folder;
    const auto bad = folder / "bad.pacemark-layout";
    pacemark::testing::writeFileText(bad, R"({"version": 1, "preset": "minimal", "widgets": [{"kind": "speed"}]})");
    const std::string png = (folder / "x.png").string();
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {{"frame", ride(), "--layout", bad.string(), "-o", png}, 1,
         "Ошибка: Не удалось открыть макет «bad.pacemark-layout»: нет поля «widgets[0].id»."},
        {{"export", ride(), "--layout", (folder / "absent.pacemark-layout").string()}, 1, "файл не найден"},
        {{"frame", ride(), "--layout", bad.string(), "--preset", "minimal", "-o", png}, 2,
         "Укажите либо --preset, либо --layout"},
        {{"layout", "--preset", "nonsense", "-o", (folder / "l.pacemark-layout").string()}, 2, "Неизвестный пресет"},
        {{"layout", "--preset", "minimal"}, 2, "Не указан выходной файл"},
    };
    for (const Case& c : cases) {
        const CLIRun run = runCLI(c.arguments, folder);
        EXPECT_EQ(run.status, c.status) << c.arguments[0] << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(png));
}
