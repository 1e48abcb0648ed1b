// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/CodecMovieWriterFactory.h"

#include <string>

#include "Export/TelemetryVideoExportError.h"

namespace pacemark {

CodecMovieWriterFactory::CodecMovieWriterFactory(std::initializer_list<BackEnd> backEnds) {
    for (const auto& [codec, factory] : backEnds) backEnds_[TelemetryVideoCodec::Value(codec)] = factory;
}

bool CodecMovieWriterFactory::writes(TelemetryVideoCodec codec) const {
    return backEnds_[TelemetryVideoCodec::Value(codec)] != nullptr;
}

std::unique_ptr<MovieWriter> CodecMovieWriterFactory::makeWriter(const MovieWriterSettings& settings) const {
    const auto& backEnd = backEnds_[TelemetryVideoCodec::Value(settings.codec)];
    if (!backEnd) {
        throw TelemetryVideoExportError::writerFailed("Запись «" + std::string(settings.codec.rawValue()) +
                                                      "» в этой сборке недоступна. Выберите другой кодек.");
    }
    return backEnd->makeWriter(settings);
}

}  // namespace pacemark
