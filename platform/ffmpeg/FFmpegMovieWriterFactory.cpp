// SPDX-License-Identifier: GPL-3.0-or-later
#include "FFmpegMovieWriterFactory.h"

namespace pacemark {

FFmpegMovieWriterFactory::FFmpegMovieWriterFactory(ProResWriterOptions proResOptions) : proResOptions_(proResOptions) {}

std::unique_ptr<MovieWriter> FFmpegMovieWriterFactory::makeWriter(const MovieWriterSettings& settings) const {
    return std::make_unique<FFmpegProResMovieWriter>(settings, proResOptions_);
}

}  // namespace pacemark
