// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <sstream>
#include <tuple>

#include "CLIRun.h"

#include "Layout/PacemarkLayoutFile.h"
#include "Telemetry/TelemetryFileLoader.h"

using namespace pacemark;
using pacemark::testing::CLIRun;
using pacemark::testing::runCLI;
using pacemark::testing::sampleRide;

TEST(PacemarkCLITest, InfoPrintsTheSummaryWithRussianLabels) {
    pacemark::testing::TemporaryFolder folder;
    const auto result = runCLI({"info", sampleRide().string()}, folder);
    ASSERT_EQ(result.status, 0) << result.err;
    for (const char* label : {"Файл: sample-ride.fit", "Длительность: ", "Дистанция: ", "Точек: ", "Ср. скорость: ",
                              "Ср. мощность: ", "Ср. пульс: ", "Набор: ", "Макс. уклон: "}) {
        EXPECT_NE(result.out.find(label), std::string::npos) << label << "\n" << result.out;
    }
    const auto activity = TelemetryFileLoader::load(sampleRide());
    EXPECT_NE(result.out.find("Точек: " + std::to_string(activity.samples.size()) + "\n"), std::string::npos);

    const auto run = runCLI({"info", "--json", sampleRide().string()}, folder);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json.at("sampleCount"), activity.samples.size());
    EXPECT_EQ(json.at("summary").at("durationSeconds"), activity.durationSeconds());
}

// Every double printed reads back to exactly the model's value.
TEST(PacemarkCLITest, SamplesRoundTripExactly) {
    pacemark::testing::TemporaryFolder folder;
    const auto activity = TelemetryFileLoader::load(sampleRide());
    const auto result = runCLI({"samples", sampleRide().string()}, folder);
    ASSERT_EQ(result.status, 0) << result.err;
    std::istringstream lines(result.out);
    std::string line;
    std::size_t index = 0;
    while (std::getline(lines, line)) {
        ASSERT_LT(index, activity.samples.size());
        const auto& s = activity.samples[index++];
        const auto json = nlohmann::json::parse(line);
        ASSERT_EQ(json.at("elapsed"), s.elapsed) << line;
        for (const auto& [key, value] : {std::pair{"distanceMeters", s.distanceMeters}, {"latitude", s.latitude}}) {
            if (value) {
                ASSERT_EQ(json.at(key), *value) << line;
            }
        }
        ASSERT_EQ(json.contains("gradePercent"), s.gradePercent.has_value()) << line;
        if (s.timestamp) {
            ASSERT_EQ(json.at("timestamp"), formatISO8601Milliseconds(*s.timestamp));
        }
    }
    EXPECT_EQ(index, activity.samples.size());

    const auto raw = runCLI({"samples", "--raw", sampleRide().string()}, folder);
    ASSERT_EQ(raw.status, 0) << raw.err;
    EXPECT_EQ(raw.out.find("\"gradePercent\""), std::string::npos) << "raw samples are not normalized";
    EXPECT_NE(raw.out.find("\"elapsed\":0,"), std::string::npos);
}

// Wrong calls, unreadable rides and layouts: a Russian message, status 1 for
// a file that cannot be used and 2 for a wrong call, and no picture written.
// (Every loading error goes through the same handler; the loader's own
// messages are checked in TelemetryFileLoaderTest.)
TEST(PacemarkCLITest, ErrorsAreRussianWithNonZeroStatus) {
    pacemark::testing::TemporaryFolder folder;
    const std::string bad = (folder / "bad.pacemark-layout").string();
    const std::string png = (folder / "x.png").string();
    pacemark::testing::writeFileText(bad, R"({"version": 1, "preset": "minimal", "widgets": [{"kind": "speed"}]})");
    const std::string ride = sampleRide().string();
    const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
        {{"info", (folder / "absent.fit").string()}, 1, "Не удалось прочитать файл «absent.fit»"},
        {{"info"}, 2, ""},
        {{"info", "a.fit", "--colour"}, 2, ""},
        {{"frobnicate"}, 2, ""},
        {{"frame", ride, "--layout", bad, "-o", png}, 1,
         "Ошибка: Не удалось открыть макет «bad.pacemark-layout»: нет поля «widgets[0].id»."},
        {{"export", ride, "--layout", (folder / "absent.pacemark-layout").string()}, 1, "файл не найден"},
        {{"frame", ride, "--layout", bad, "--preset", "minimal", "-o", png}, 2, "Укажите либо --preset, либо --layout"},
        {{"layout", "--preset", "minimal"}, 2, "Не указан выходной файл"},
        {{"sync", ride}, 2, "Укажи файл заезда и хотя бы один видеоклип."},
        {{"check", ride, ride}, 2, ""},
        {{"check", (folder / "missing.mov").string()}, 1, "файл не найден"},
        {{"check", ride}, 1, "Файл не читается как фильм QuickTime"},
    };
    for (const auto& [arguments, status, message] : cases) {
        const auto run = runCLI(arguments, folder);
        EXPECT_EQ(run.status, status) << arguments[0] << " " << arguments.back();
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(png));
    const auto help = runCLI({"--help"}, folder);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("samples FILE [--raw]"), std::string::npos);

    // Out of memory is said in Russian, not as the library's exception name:
    // a frame of 16384 x 16384 needs 1 GiB, more than the process may have.
    const auto tooLarge = runCLI({"frame", ride, "--size", "16384x16384", "-o", (folder / "huge.png").string()}, folder,
                                 "ulimit -v 700000; ");
    EXPECT_EQ(tooLarge.status, 1);
    EXPECT_EQ(tooLarge.err.rfind("Ошибка: Не хватает памяти", 0), 0u) << tooLarge.err;
    EXPECT_FALSE(std::filesystem::exists(folder / "huge.png"));
}

TEST(PacemarkCLITest, CutRecordingIsRefusedUnlessRecovered) {
    pacemark::testing::TemporaryFolder folder;
    auto bytes = pacemark::testing::readFileBytes(sampleRide());
    bytes.resize(bytes.size() * 3 / 5);
    const auto cut = folder / "cut.fit";
    pacemark::testing::writeFileBytes(cut, bytes);
    const std::size_t readable = TelemetryFileLoader::load(cut, TelemetryDecoding::recover).samples.size();
    ASSERT_GT(readable, 0u);

    const auto strict = runCLI({"info", cut.string()}, folder);
    EXPECT_EQ(strict.status, 1);
    EXPECT_NE(strict.err.find("Секция данных FIT-файла обрезана."), std::string::npos) << strict.err;

    // The option is accepted before or after the file, by every loading command.
    const auto info = runCLI({"info", "--recover", cut.string()}, folder);
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Точек: " + std::to_string(readable) + "\n"), std::string::npos) << info.out;
    EXPECT_NE(info.err.find("Внимание: Файл повреждён с байта "), std::string::npos) << info.err;
    const auto samples = runCLI({"samples", cut.string(), "--raw", "--recover"}, folder);
    ASSERT_EQ(samples.status, 0) << samples.err;
    EXPECT_EQ(static_cast<std::size_t>(std::count(samples.out.begin(), samples.out.end(), '\n')), readable);
}

TEST(PacemarkCLITest, LayoutFileDrawsWhatItHolds) {
    pacemark::testing::TemporaryFolder folder;
    const std::string ride = pacemark::testing::sampleRide().string();
    const std::string layoutPath = (folder / "gauges.pacemark-layout").string();
    ASSERT_EQ(runCLI({"layout", "--preset", "classicGauges", "-o", layoutPath}, folder).status, 0);
    PacemarkLayoutFile file = PacemarkLayoutFile::read(layoutPath);
    EXPECT_EQ(file.basePreset, PacemarkPreset::classicGauges);

    const auto frame = [&](const std::vector<std::string>& overlay, const std::string& name) {
        std::vector<std::string> arguments = {"frame", ride, "--size", "320x180", "--at", "30", "-o",
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

    // The sheet shows the one layout. (The export reads --layout too: the
    // absent layout file in ErrorsAreRussianWithNonZeroStatus.)
    ASSERT_EQ(runCLI({"sheet", ride, "--layout", layoutPath, "-o", (folder / "sheet.png").string()}, folder).status,
              0);
    const auto sheet = pacemark::testing::readFileBytes(folder / "sheet.png");
    ASSERT_GE(sheet.size(), 24u);
    EXPECT_EQ((sheet[16] << 24 | sheet[17] << 16 | sheet[18] << 8 | sheet[19]), 640 + 2 * 20);  // PNG width
}
