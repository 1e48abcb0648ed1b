#include "FFmpegMovieWriterFactory.h"

#include "Export/TelemetryVideoExportError.h"

namespace pacemark {

FFmpegMovieWriterFactory::FFmpegMovieWriterFactory(std::shared_ptr<const MovieWriterFactory> hevcWriters,
                                                   ProResWriterOptions proResOptions)
    : hevcWriters_(std::move(hevcWriters)), proResOptions_(proResOptions) {}

std::unique_ptr<MovieWriter> FFmpegMovieWriterFactory::makeWriter(const MovieWriterSettings& settings) const {
    if (settings.codec == TelemetryVideoCodec::hevcWithAlpha) {
        if (hevcWriters_) return hevcWriters_->makeWriter(settings);
        throw TelemetryVideoExportError::writerFailed(
            "Запись HEVC с альфой в этой сборке недоступна. Выберите ProRes 4444.");
    }
    return std::make_unique<FFmpegProResMovieWriter>(settings, proResOptions_);
}

}  // namespace pacemark
