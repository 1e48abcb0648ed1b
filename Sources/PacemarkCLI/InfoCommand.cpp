// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "CLIArguments.h"
#include "CLICommands.h"
#include "CLIGlobalOptions.h"
#include "CLIJSON.h"
#include "Telemetry/TelemetryFileLoader.h"
#include "Telemetry/TelemetryFormatters.h"

namespace pacemark::cli {

// Prints the file's summary with the window's labels, or as JSON.
int runInfoCommand(std::span<const std::string> arguments) {
    const CLIArguments args(arguments, {}, {"--json"});
    const std::filesystem::path path = args.requireOneFile();
    const TelemetryActivity activity = loadActivity(path);
    const TelemetrySummary& s = activity.summary;

    if (args.has("--json")) {
        JSONObjectWriter json;
        json.add("file", path.filename().string());
        json.add("sampleCount", static_cast<std::int64_t>(activity.samples.size()));
        json.addRaw("summary", summaryJSON(s));
        std::cout << json.finish() << "\n";
        return 0;
    }

    namespace F = TelemetryFormatters;
    const std::pair<const char*, std::string> rows[] = {
        {"Файл", path.filename().string()},
        {"Длительность", F::elapsed(s.durationSeconds)},
        {"Дистанция", F::distance(s.totalDistanceMeters)},
        {"Точек", std::to_string(activity.samples.size())},
        {"Ср. скорость", F::speedKPH(s.averageSpeedMetersPerSecond) + " км/ч"},
        {"Ср. мощность", F::integer(s.averagePowerWatts, "Вт")},
        {"Ср. пульс", F::integer(s.averageHeartRateBPM, "уд/мин")},
        {"Набор", F::elevation(s.elevationGainMeters)},
        {"Макс. уклон", F::gradePercent(s.maxGradePercent, true)},
    };
    for (const auto& [label, value] : rows) std::cout << label << ": " << value << "\n";
    return 0;
}

}  // namespace pacemark::cli
