// SPDX-License-Identifier: GPL-3.0-or-later
#include "CLIGlobalOptions.h"

#include <algorithm>
#include <iostream>

#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark::cli {

namespace {

CLIGlobalOptions& storedOptions() {
    static CLIGlobalOptions options;
    return options;
}

TelemetryDecoding decoding() {
    return CLIGlobalOptions::current().recoverDamagedFiles ? TelemetryDecoding::recover : TelemetryDecoding::strict;
}

void reportDamage(const std::optional<TelemetryDamage>& damage) {
    if (damage) std::cerr << "Внимание: " << damage->noteText() << "\n";
}

}  // namespace

CLIGlobalOptions CLIGlobalOptions::take(std::vector<std::string>& arguments) {
    CLIGlobalOptions options;
    std::erase_if(arguments, [&](const std::string& argument) {
        const bool recover = argument == "--recover";
        const bool verbose = argument == "--verbose";
        options.recoverDamagedFiles = options.recoverDamagedFiles || recover;
        options.verbose = options.verbose || verbose;
        return recover || verbose;
    });
    return options;
}

const CLIGlobalOptions& CLIGlobalOptions::current() { return storedOptions(); }

void CLIGlobalOptions::setCurrent(const CLIGlobalOptions& options) { storedOptions() = options; }

TelemetryActivity loadActivity(const std::filesystem::path& path, std::stop_token stop) {
    std::optional<TelemetryDamage> damage;
    TelemetryActivity activity = TelemetryFileLoader::load(path, decoding(), &damage, std::move(stop));
    reportDamage(damage);
    return activity;
}

std::vector<TelemetrySample> decodeSamples(const std::filesystem::path& path) {
    std::optional<TelemetryDamage> damage;
    std::vector<TelemetrySample> samples = TelemetryFileLoader::decode(path, decoding(), &damage);
    reportDamage(damage);
    return samples;
}

}  // namespace pacemark::cli
