// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <initializer_list>
#include <memory>
#include <utility>

#include "Export/MovieWriter.h"

namespace pacemark {

// Opens each codec's writer through the back-end given for it: the one place
// writers are chosen by codec. The application and the command-line tool
// build it with every back-end of their build (platform/writers); a codec
// without one fails with a clear Russian error before anything is written.
class CodecMovieWriterFactory final : public MovieWriterFactory {
public:
    using BackEnd = std::pair<TelemetryVideoCodec, std::shared_ptr<const MovieWriterFactory>>;

    CodecMovieWriterFactory(std::initializer_list<BackEnd> backEnds);

    // Whether a back-end writes `codec`.
    bool writes(TelemetryVideoCodec codec) const;

    std::unique_ptr<MovieWriter> makeWriter(const MovieWriterSettings& settings) const override;

private:
    std::array<std::shared_ptr<const MovieWriterFactory>, TelemetryVideoCodec::caseCount> backEnds_;
};

}  // namespace pacemark
