// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "CLIArguments.h"
#include "CLICommands.h"
#include "CLIGlobalOptions.h"
#include "CLIJSON.h"
#include "ClipSynchronizationReading.h"
#include "Export/ClipOverlayPlan.h"
#include "Telemetry/TelemetryFormatters.h"

namespace pacemark::cli {
namespace {

// One clip's answer as a JSON object. The start is null for a clip that was
// not placed; the uncertainty is null when the method cannot bound it.
std::string placementJSON(const std::string& clip, const ClipPlacement& placement, const ClipFacts& facts) {
    JSONObjectWriter json;
    json.add("clip", clip);
    json.add("method", VideoSynchronization::methodName(placement.method));
    if (placement.isPlaced()) {
        json.add("startSeconds", placement.startSeconds);
    } else {
        json.addRaw("startSeconds", "null");
    }
    if (placement.uncertaintySeconds) {
        json.add("uncertaintySeconds", *placement.uncertaintySeconds);
    } else {
        json.addRaw("uncertaintySeconds", "null");
    }
    json.add("rate", placement.rate);
    json.add("durationSeconds", facts.durationSeconds);
    if (facts.frameRate.isKnown()) {
        json.add("frameRate", facts.frameRate.text());
    } else {
        json.addRaw("frameRate", "null");
    }
    if (placement.zoneOffsetMinutes) json.add("zoneOffsetMinutes", std::int64_t{*placement.zoneOffsetMinutes});
    json.addIfPresent("positionMismatchMeters", placement.positionMismatchMeters);
    json.add("message", placement.message);
    return json.finish();
}

}  // namespace

// Places every clip on the ride and prints one line (or JSON object) per
// clip, chapters of a recording in chapter order.
int runSyncCommand(std::span<const std::string> arguments) {
    const CLIArguments args(arguments, {}, {"--json"});
    if (args.positional().size() < 2) throw CLIUsageError("Укажи файл заезда и хотя бы один видеоклип.");
    const std::filesystem::path ridePath = args.positional().front();
    const TelemetryActivity activity = loadActivity(ridePath);
    const bool asJSON = args.has("--json");

    // Read every clip first: chapters of one recording are placed together,
    // in chapter order, as an export of the same clips places them.
    std::vector<ClipOverlayInput> clips;
    for (std::size_t i = 1; i < args.positional().size(); ++i) {
        ClipOverlayInput clip{args.positional()[i], {}, {}, std::nullopt};
        try {
            ClipReading reading = readClip(clip.file);
            clip.synchronization = std::move(reading.synchronization);
            clip.facts = reading.facts;
        } catch (const PacemarkError& error) {
            // An unreadable clip is reported like an unplaced one; the others go on.
            clip.readError = error.errorDescription();
        }
        clips.push_back(std::move(clip));
    }
    bool allPlaced = true;
    for (const ClipOverlay& clip : ClipOverlayPlan::make(activity, clips, {}).overlays) {
        allPlaced = allPlaced && clip.placement.isPlaced();
        if (asJSON) {
            std::cout << placementJSON(clip.clip.string(), clip.placement, clip.facts) << "\n";
        } else {
            std::cout << clip.clip.filename().string() << ": " << clip.placement.message << "\n";
        }
    }
    return allPlaced ? 0 : 1;
}

}  // namespace pacemark::cli
