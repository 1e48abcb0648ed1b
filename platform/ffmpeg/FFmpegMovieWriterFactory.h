// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Export/MovieWriter.h"
#include "FFmpegProResMovieWriter.h"

namespace pacemark {

// Opens the ProRes 4444 writer: the back-end of the codec table's ProRes row.
// Refuses settings of any other codec.
class FFmpegMovieWriterFactory final : public MovieWriterFactory {
public:
    explicit FFmpegMovieWriterFactory(ProResWriterOptions proResOptions = {});

    std::unique_ptr<MovieWriter> makeWriter(const MovieWriterSettings& settings) const override;

private:
    ProResWriterOptions proResOptions_;
};

}  // namespace pacemark
