#include "Export/TelemetryExportSettings.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace pacemark {

namespace {

std::string gigabytes(std::int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e9);
    std::string result = text;
    std::replace(result.begin(), result.end(), '.', ',');
    return result + " ГБ";
}

}  // namespace

std::int64_t TelemetryExportSettings::minimumSidePixels(TelemetryVideoCodec codec) {
    return codec.row().minimumSidePixels;
}

std::int64_t TelemetryExportSettings::maximumSidePixels(TelemetryVideoCodec codec) {
    return codec.row().maximumSidePixels;
}

bool TelemetryExportSettings::acceptsArea(TelemetryVideoCodec codec, std::int64_t width, std::int64_t height) {
    const auto accepts = codec.row().acceptsArea;
    return accepts == nullptr || accepts(width, height);
}

std::optional<std::string> TelemetryExportSettings::sizeError() const {
    const std::int64_t minimum = minimumSidePixels(codec);
    const std::int64_t maximum = maximumSidePixels(codec);
    const auto valid = [minimum, maximum](std::int64_t side) {
        return side >= minimum && side <= maximum && side % 2 == 0;
    };
    const std::string size = std::to_string(width) + "×" + std::to_string(height);
    if (!valid(width) || !valid(height)) {
        return "Размер кадра " + size + " не подходит для " + std::string(codec.row().name) +
               ": стороны должны быть чётными, от " + std::to_string(minimum) + " до " + std::to_string(maximum) +
               " пикселей.";
    }
    if (!acceptsArea(codec, width, height)) {
        return "Размер кадра " + size + " слишком велик для " + std::string(codec.row().name) +
               ": кадр должен быть меньше, например " + std::string(codec.row().largestAreaExamples) + ".";
    }
    return std::nullopt;
}

std::int64_t TelemetryExportSettings::estimatedMemoryBytes() const {
    const TelemetryVideoCodecRow& row = codec.row();
    return static_cast<std::int64_t>(row.fixedBytes + row.bytesPerPixel * static_cast<double>(width * height));
}

std::int64_t TelemetryExportSettings::estimatedAddressSpaceBytes() const {
    const TelemetryVideoCodecRow& row = codec.row();
    return static_cast<std::int64_t>(row.fixedAddressSpaceBytes +
                                     row.addressSpaceBytesPerPixel * static_cast<double>(width * height));
}

std::int64_t TelemetryExportSettings::physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? std::int64_t{pages} * pageSize : INT64_MAX;
}

std::optional<std::int64_t> TelemetryExportSettings::addressSpaceLimitBytes() {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    return static_cast<std::int64_t>(std::min<rlim_t>(limit.rlim_cur, INT64_MAX));
}

std::optional<std::string> TelemetryExportSettings::memoryError() const {
    std::int64_t needed = estimatedMemoryBytes();
    std::int64_t available = physicalMemoryBytes();
    const auto limit = addressSpaceLimitBytes();
    if (limit && estimatedAddressSpaceBytes() > *limit) {
        needed = estimatedAddressSpaceBytes();
        available = *limit;
    }
    if (needed <= available) return std::nullopt;
    return "Не хватает памяти для кадра " + std::to_string(width) + "×" + std::to_string(height) + " в " +
           std::string(codec.row().name) + ": нужно около " + gigabytes(needed) + ", доступно " + gigabytes(available) +
           ". Выберите размер кадра меньше.";
}

std::optional<std::string> TelemetryExportSettings::outputFolderError(const std::filesystem::path& output) {
    std::error_code error;
    if (!std::filesystem::is_directory(output, error)) return std::nullopt;
    return "«" + output.string() + "» — это папка; укажите имя файла фильма.";
}

std::optional<std::string> TelemetryExportSettings::outputPlaceError(const std::filesystem::path& output) {
    // The exporter creates missing folders, so what must be writable is the
    // nearest folder that exists.
    std::filesystem::path folder = std::filesystem::absolute(output).parent_path();
    std::error_code error;
    while (!std::filesystem::exists(folder, error) && folder.has_relative_path()) folder = folder.parent_path();
    if (!std::filesystem::is_directory(folder, error)) return "«" + folder.string() + "» — не папка, в ней нельзя сохранить фильм.";
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        const std::string reason = errno == EROFS ? "она только для чтения" : "нет прав на запись";
        return "Нельзя сохранить фильм в папку «" + folder.string() + "»: " + reason + ".";
    }
    return std::nullopt;
}

std::optional<std::string> TelemetryExportSettings::outputError(const std::filesystem::path& output) {
    if (auto error = outputFolderError(output)) return error;
    return outputPlaceError(output);
}

std::optional<std::string> TelemetryExportSettings::framesPerSecondError() const {
    if (framesPerSecond >= minimumFramesPerSecond && framesPerSecond <= maximumFramesPerSecond) return std::nullopt;
    return "Частота " + std::to_string(framesPerSecond) + " кадров в секунду не подходит: нужно от " +
           std::to_string(minimumFramesPerSecond) + " до " + std::to_string(maximumFramesPerSecond) + ".";
}

std::optional<std::string> TelemetryExportSettings::motionError() const {
    if (!motion.isSmooth() || motion.updatesPerSecond == TelemetryMotion::everyFrame ||
        (motion.updatesPerSecond >= 1 && motion.updatesPerSecond <= maximumFramesPerSecond)) {
        return std::nullopt;
    }
    return "Частота обновления " + std::to_string(motion.updatesPerSecond) + " Гц не подходит: нужно от 1 до " +
           std::to_string(maximumFramesPerSecond) + " Гц или каждый кадр.";
}

std::string TelemetryExportSettings::motionModeTitle(TelemetryMotionMode mode) {
    return mode == TelemetryMotionMode::smooth ? "Плавно" : "По секундам";
}

std::string TelemetryExportSettings::motionUpdateRateTitle(std::int64_t updatesPerSecond) {
    if (updatesPerSecond == TelemetryMotion::everyFrame) return "каждый кадр";
    return std::to_string(updatesPerSecond) + " Гц";
}

std::string TelemetryExportSettings::motionSmoothingTitle() { return "Сглаживать скорость и мощность"; }

std::optional<std::string> TelemetryExportSettings::validationError() const {
    if (auto error = sizeError()) return error;
    if (auto error = framesPerSecondError()) return error;
    if (auto error = motionError()) return error;
    return memoryError();
}

std::int64_t TelemetryExportSettings::timingFramesPerSecond() const {
    return std::max<std::int64_t>(framesPerSecond, 1);
}

std::int64_t TelemetryExportSettings::hevcAverageBitRate(std::int64_t width, std::int64_t height) {
    const std::int64_t pixels = std::max<std::int64_t>(width * height, 1);
    const auto rate = static_cast<std::int64_t>(static_cast<double>(pixels) * 2'500'000.0 / 2'073'600.0);
    return std::max<std::int64_t>(rate, 900'000);
}

MovieWriterSettings TelemetryExportSettings::writerSettings(std::filesystem::path file) const {
    MovieWriterSettings settings;
    settings.file = std::move(file);
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

std::string TelemetryExportSettings::outputFileName(const std::filesystem::path& source, TelemetryVideoCodec codec) {
    return source.stem().string() + "-telemetry." + std::string(codec.row().container);
}

std::filesystem::path TelemetryExportSettings::defaultOutputPath(const std::filesystem::path& source,
                                                                 TelemetryVideoCodec codec) {
    return source.parent_path() / outputFileName(source, codec);
}

}  // namespace pacemark
