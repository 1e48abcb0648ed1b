// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Export/CodecMovieWriterFactory.h"

namespace pacemark {

// How the back-ends write, where a codec's row allows a choice.
struct PlatformMovieWriterOptions {
    // Store a repeated frame once, for the codecs whose row has compactStorage.
    bool compactStorage = false;
};

// The writers of every codec: one back-end per row of the codec table
// (`PlatformMovieWritersTest` fails for a codec without one).
std::shared_ptr<const CodecMovieWriterFactory> platformMovieWriters(PlatformMovieWriterOptions options = {});

}  // namespace pacemark
