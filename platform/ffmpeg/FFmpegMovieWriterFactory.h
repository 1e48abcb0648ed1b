#pragma once

#include <memory>

#include "Export/MovieWriter.h"
#include "FFmpegProResMovieWriter.h"

namespace pacemark {

// Opens the ProRes 4444 writer. HEVC with alpha is written by another back
// end: pass its factory to have those requests forwarded; without one they
// fail with a clear error before anything is written.
class FFmpegMovieWriterFactory final : public MovieWriterFactory {
public:
    explicit FFmpegMovieWriterFactory(std::shared_ptr<const MovieWriterFactory> hevcWriters = nullptr,
                                      ProResWriterOptions proResOptions = {});

    std::unique_ptr<MovieWriter> makeWriter(const MovieWriterSettings& settings) const override;

private:
    std::shared_ptr<const MovieWriterFactory> hevcWriters_;
    ProResWriterOptions proResOptions_;
};

}  // namespace pacemark
