// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClipSynchronizationReading.h"

#include "FFmpegMovieReader.h"

namespace pacemark {

ClipReading readClip(const std::filesystem::path& path, std::stop_token stop) {
    const FFmpegMovieReader reader(path, std::move(stop));
    ClipReading reading;
    std::vector<VideoMetadataItem> items;
    for (auto& item : reader.metadataItems()) {
        items.push_back({std::move(item.identifier), std::move(item.key), std::move(item.stringValue)});
    }
    reading.synchronization.metadata = VideoSynchronization::metadataFromItems(items);
    reading.facts = reader.clipFacts();
    reading.synchronization.durationSeconds = reading.facts.durationSeconds;
    if (const auto track = reader.cameraMetadataTrack()) {
        try {
            reading.synchronization.cameraGPS = GPMFReader::readGPS(track->payloads());
        } catch (const GPMFError& error) {
            reading.synchronization.cameraProblem = error.errorDescription();
        }
    }
    return reading;
}

}  // namespace pacemark
