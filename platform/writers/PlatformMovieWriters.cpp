// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlatformMovieWriters.h"

#include "FFmpegMovieWriterFactory.h"
#include "HEVCAlphaMovieWriter.h"

namespace pacemark {

std::shared_ptr<const CodecMovieWriterFactory> platformMovieWriters(PlatformMovieWriterOptions options) {
    ProResWriterOptions proRes;
    proRes.compact = options.compactStorage;
    return std::make_shared<const CodecMovieWriterFactory>(std::initializer_list<CodecMovieWriterFactory::BackEnd>{
        {TelemetryVideoCodec::hevcWithAlpha, std::make_shared<const X265MovieWriterFactory>()},
        {TelemetryVideoCodec::proRes4444, std::make_shared<const FFmpegMovieWriterFactory>(proRes)},
    });
}

}  // namespace pacemark
