// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "CLIArguments.h"
#include "CLICommands.h"
#include "CLIGlobalOptions.h"
#include "CLIJSON.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark::cli {

// Prints one JSON object per sample: the normalized samples of the activity,
// or with --raw what the decoder produced before normalization.
int runSamplesCommand(std::span<const std::string> arguments) {
    const CLIArguments args(arguments, {}, {"--raw"});
    const std::filesystem::path path = args.requireOneFile();
    std::vector<TelemetrySample> samples;
    if (args.has("--raw")) {
        samples = decodeSamples(path);
    } else {
        samples = loadActivity(path).samples;
    }
    std::string out;
    for (const auto& sample : samples) {
        out += sampleJSON(sample);
        out += '\n';
        if (out.size() > (1 << 20)) {
            std::cout << out;
            out.clear();
        }
    }
    std::cout << out << std::flush;
    return std::cout ? 0 : 1;
}

}  // namespace pacemark::cli
