// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <stop_token>

#include "Camera/ClipFacts.h"
#include "Video/VideoSynchronization.h"

namespace pacemark {

// Everything synchronization and a clip export need to know of a clip.
struct ClipReading {
    ClipSynchronizationInput synchronization;
    ClipFacts facts;
};

// Reads a clip's metadata items, its camera metadata track and its facts.
// A malformed camera track does not fail the reading: its Russian error goes
// to `cameraProblem` and synchronization falls back to the other methods.
// Throws MovieReaderError when the movie cannot be read at all.
ClipReading readClip(const std::filesystem::path& path, std::stop_token stop = {});

}  // namespace pacemark
