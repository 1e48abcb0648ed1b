// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppModelServices.h"

#include <exception>
#include <thread>
#include <utility>

#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark {

// Runs `work` on a thread of its own at a lower scheduling priority and waits
// for it; what it throws is rethrown here. An export keeps every core busy
// for as long as it runs (the movie writers start their threads from this
// one, and those inherit the priority); at the same priority as the window's
// thread it kept the window waiting behind it for up to 50 ms at a time. A
// thread cannot raise its priority again without privileges, so the lowered
// one is never left on a thread of the shared worker pool.
void runAtBackgroundPriority(const std::function<void()>& work) {
    std::exception_ptr failure;
    std::thread thread([&] {
#if defined(__linux__)
        // Linux gives each thread its own nice value. Best effort: a refusal
        // leaves the export at the normal priority.
        constexpr int backgroundNice = 10;
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), backgroundNice);
#endif
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    thread.join();
    if (failure) std::rethrow_exception(failure);
}

AppModelServices makeAppModelServices(std::shared_ptr<const MovieWriterFactory> writers,
                                      ExportFrameRendererMaker renderers) {
    AppModelServices services;
    services.loadTelemetry = [](const std::filesystem::path& file, std::stop_token stop) {
        return TelemetryFileLoader::load(file, TelemetryDecoding::strict, nullptr, std::move(stop));
    };
    services.recoverTelemetry = [](const std::filesystem::path& file, std::optional<TelemetryDamage>* damage,
                                   std::stop_token stop) {
        return TelemetryFileLoader::load(file, TelemetryDecoding::recover, damage, std::move(stop));
    };
    // One exporter serves every export: it keeps no state between calls.
    auto exporter = std::make_shared<const TelemetryVideoExporter>(std::move(writers), std::move(renderers));
    services.exportMovie = [exporter](std::shared_ptr<const TelemetryActivity> activity,
                                      const TelemetryRenderConfig& config,
                                      const std::function<void(double)>& progress, std::stop_token stop) {
        runAtBackgroundPriority([&] { exporter->exportMovie(std::move(activity), config, progress, std::move(stop)); });
    };
    return services;
}

}  // namespace pacemark
