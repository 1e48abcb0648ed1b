#include "AppModelServices.h"

#include <utility>

#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark {

AppModelServices makeAppModelServices(std::shared_ptr<const MovieWriterFactory> writers,
                                      ExportFrameRendererMaker renderers) {
    AppModelServices services;
    services.loadTelemetry = [](const std::filesystem::path& file) { return TelemetryFileLoader::load(file); };
    services.recoverTelemetry = [](const std::filesystem::path& file, std::optional<TelemetryDamage>* damage) {
        return TelemetryFileLoader::load(file, TelemetryDecoding::recover, damage);
    };
    // One exporter serves every export: it keeps no state between calls.
    auto exporter = std::make_shared<const TelemetryVideoExporter>(std::move(writers), std::move(renderers));
    services.exportMovie = [exporter](std::shared_ptr<const TelemetryActivity> activity,
                                      const TelemetryRenderConfig& config,
                                      const std::function<void(double)>& progress, std::stop_token stop) {
        exporter->exportMovie(std::move(activity), config, progress, std::move(stop));
    };
    return services;
}

}  // namespace pacemark
