// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CLIRun.h"

#include "Layout/PacemarkLayoutFile.h"
#include "Telemetry/TelemetryFileLoader.h"

using namespace pacemark;
using pacemark::testing::CLIRun;
using pacemark::testing::runCLI;
using pacemark::testing::sampleRide;

// Every double printed reads back to exactly the model's value.
TEST(PacemarkCLITest, SamplesRoundTripExactly) {
    pacemark::testing::TemporaryFolder folder;
    const auto activity = TelemetryFileLoader::load(sampleRide());
    const auto result = runCLI({"samples", sampleRide().string()}, folder);
    ASSERT_EQ(result.status, 0) << result.err;
    const auto lines = pacemark::testing::jsonLines(result.out);
    ASSERT_EQ(lines.size(), activity.samples.size());
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const auto& s = activity.samples[index];
        const auto& json = lines[index];
        ASSERT_EQ(json.at("elapsed"), s.elapsed) << json;
        for (const auto& [key, value] : {std::pair{"distanceMeters", s.distanceMeters}, {"latitude", s.latitude}}) {
            if (value) {
                ASSERT_EQ(json.at(key), *value) << json;
            }
        }
        ASSERT_EQ(json.contains("gradePercent"), s.gradePercent.has_value()) << json;
    }
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

    const auto info = runCLI({"info", "--recover", cut.string()}, folder);
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("Точек: " + std::to_string(readable) + "\n"), std::string::npos) << info.out;
    EXPECT_NE(info.err.find("Внимание: Файл повреждён с байта "), std::string::npos) << info.err;
}

TEST(PacemarkCLITest, LayoutFileDrawsWhatItHolds) {
    pacemark::testing::TemporaryFolder folder;
    const std::string ride = pacemark::testing::sampleRide().string();
    const std::string layoutPath = (folder / "gauges.pacemark-layout").string();
    ASSERT_EQ(runCLI({"layout", "--preset", "classicGauges", "-o", layoutPath}, folder).status, 0);
    PacemarkLayoutFile file = PacemarkLayoutFile::read(layoutPath);

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
}
