#include "Export/TelemetryExportSettings.h"

#include <algorithm>

namespace pacemark {

std::int64_t TelemetryExportSettings::maximumSidePixels(TelemetryVideoCodec) { return 16384; }

std::optional<std::string> TelemetryExportSettings::sizeError() const {
    const std::int64_t maximum = maximumSidePixels(codec);
    const auto valid = [maximum](std::int64_t side) {
        return side >= minimumSidePixels && side <= maximum && side % 2 == 0;
    };
    if (valid(width) && valid(height)) return std::nullopt;
    return "Размер кадра " + std::to_string(width) + "×" + std::to_string(height) +
           " не подходит: стороны должны быть чётными, от " + std::to_string(minimumSidePixels) + " до " +
           std::to_string(maximum) + " пикселей.";
}

std::optional<std::string> TelemetryExportSettings::framesPerSecondError() const {
    if (framesPerSecond >= minimumFramesPerSecond && framesPerSecond <= maximumFramesPerSecond) return std::nullopt;
    return "Частота " + std::to_string(framesPerSecond) + " кадров в секунду не подходит: нужно от " +
           std::to_string(minimumFramesPerSecond) + " до " + std::to_string(maximumFramesPerSecond) + ".";
}

std::optional<std::string> TelemetryExportSettings::validationError() const {
    if (auto error = sizeError()) return error;
    return framesPerSecondError();
}

std::int64_t TelemetryExportSettings::timingFramesPerSecond() const {
    return std::max<std::int64_t>(framesPerSecond, 1);
}

std::int64_t TelemetryExportSettings::hevcAverageBitRate(std::int64_t width, std::int64_t height) {
    const std::int64_t pixels = std::max<std::int64_t>(width * height, 1);
    const auto rate = static_cast<std::int64_t>(static_cast<double>(pixels) * 2'500'000.0 / 2'073'600.0);
    return std::max<std::int64_t>(rate, 900'000);
}

MovieWriterSettings TelemetryExportSettings::writerSettings(std::filesystem::path url) const {
    MovieWriterSettings settings;
    settings.url = std::move(url);
    settings.codec = codec;
    settings.width = width;
    settings.height = height;
    settings.framesPerSecond = timingFramesPerSecond();
    if (codec == TelemetryVideoCodec::hevcWithAlpha) {
        MovieWriterHEVCSettings hevc;
        hevc.averageBitRateBitsPerSecond = hevcAverageBitRate(width, height);
        // A key frame every two seconds of output.
        hevc.maxKeyFrameIntervalFrames = std::max<std::int64_t>(2 * framesPerSecond, 1);
        hevc.premultipliedAlpha = true;
        settings.hevc = hevc;
    }
    return settings;
}

std::string TelemetryExportSettings::outputFileName(const std::filesystem::path& source) {
    return source.stem().string() + "-telemetry.mov";
}

std::filesystem::path TelemetryExportSettings::defaultOutputPath(const std::filesystem::path& source) {
    return source.parent_path() / outputFileName(source);
}

}  // namespace pacemark
