// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/TelemetryExportSettings.h"

#include "Export/ExportDestination.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
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

// "1 234 567": digits in groups of three, for numbers too long to read.
std::string groupedNumber(std::int64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const std::size_t left = digits.size() - i;
        if (i > 0 && digits[i - 1] != '-' && left % 3 == 0) grouped += ' ';
        grouped += digits[i];
    }
    return grouped;
}

// A movie's length in hours up to two days, in days above.
std::string lengthText(std::int64_t seconds) {
    if (seconds < 48 * 3600) return groupedNumber(std::max<std::int64_t>(seconds / 3600, 0)) + " ч";
    return groupedNumber(seconds / 86400) + " сут.";
}

}  // namespace

std::int64_t TelemetryExportSettings::minimumSidePixels(TelemetryVideoCodec codec) {
    return codec.row().minimumSidePixels;
}

std::int64_t TelemetryExportSettings::maximumSidePixels(TelemetryVideoCodec codec) {
    return codec.row().maximumSidePixels;
}

bool TelemetryExportSettings::acceptsSize(TelemetryVideoCodec codec, std::int64_t width, std::int64_t height) {
    const auto accepts = codec.row().acceptsSize;
    return accepts == nullptr || accepts(width, height);
}

std::int64_t TelemetryExportSettings::proResSliceCount(std::int64_t width, std::int64_t height) {
    const std::int64_t rowMacroblocks = (width + 15) / 16;
    const std::int64_t rows = (height + 15) / 16;
    const std::int64_t rest = rowMacroblocks % 8;
    const std::int64_t rowSlices = rowMacroblocks / 8 + (rest & 1) + (rest >> 1 & 1) + (rest >> 2 & 1);
    return rowSlices * rows;
}

bool TelemetryExportSettings::proResAcceptsSize(std::int64_t width, std::int64_t height) {
    return (8 * width + 1024) * (height + 128) < std::int64_t{INT32_MAX} &&
           proResSliceCount(width, height) <= maximumProResSlices;
}

std::int64_t TelemetryExportSettings::largestProResHeight(std::int64_t width) {
    std::int64_t height = largestSidePixels;
    while (height >= smallestSidePixels && !proResAcceptsSize(width, height)) height -= 2;
    return height >= smallestSidePixels ? height : 0;
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
    if (!acceptsSize(codec, width, height)) {
        // The nearest sizes that are taken: this width with a lower height,
        // this height with a narrower width, and the largest square.
        const auto accepts = [this](std::int64_t w, std::int64_t h) { return acceptsSize(codec, w, h); };
        std::string proposals;
        std::int64_t lower = maximum;
        while (lower >= minimum && !accepts(width, lower)) lower -= 2;
        if (lower >= minimum) proposals += std::to_string(width) + "×" + std::to_string(lower);
        std::int64_t narrower = width;
        while (narrower >= minimum && !accepts(narrower, height)) narrower -= 2;
        if (narrower >= minimum) {
            proposals += (proposals.empty() ? "" : ", ") + std::to_string(narrower) + "×" + std::to_string(height);
        }
        std::int64_t square = maximum;
        while (square > minimum && !accepts(square, square)) square -= 2;
        proposals += (proposals.empty() ? "" : " или ") + std::to_string(square) + "×" + std::to_string(square);
        return "Размер кадра " + size + " слишком велик для " + std::string(codec.row().name) + ": " +
               std::string(codec.row().sizeLimitReason) + ". Подойдёт, например, " + proposals + ".";
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

bool TelemetryExportSettings::exceedsUnaskedMovieLength(std::int64_t frameCount) const {
    // frameCount × D / N seconds, compared in integers.
    __extension__ typedef __int128 Wide;  // exact for any 64-bit count and term
    const FrameRate rate = timingFrameRate();
    return static_cast<Wide>(frameCount) * rate.denominator() >
           static_cast<Wide>(longestUnaskedMovieSeconds) * rate.numerator();
}

std::optional<std::string> TelemetryExportSettings::movieLengthError(std::int64_t frameCount,
                                                                    bool lengthAskedFor) const {
    const FrameRate rate = timingFrameRate();
    const std::string frames = "кадров: " + groupedNumber(frameCount);
    const std::string length = lengthText(rate.secondOfFrame(frameCount));
    // The bound a user may pass first: its text says how.
    if (!lengthAskedFor && exceedsUnaskedMovieLength(frameCount)) {
        return "Фильм получился бы длиной " + length + " (" + frames + ") — это больше 7 суток. Такой длинный фильм "
               "пишется только по явной просьбе: задайте конец отрезка явно.";
    }
    if (frameCount > maximumFrameCount) {
        return "Фильм не поместится в файл QuickTime (" + frames + ", это " + length + " при " + rate.title() +
               " к/с): в нём может быть не больше " + groupedNumber(maximumFrameCount) +
               " кадров. Выберите отрезок короче или частоту ниже.";
    }
    const std::int64_t indexBytes = frameCount * indexBytesPerFrame;
    const std::int64_t available = physicalMemoryBytes();
    if (indexBytes + estimatedMemoryBytes() > available) {
        return "Не хватает памяти для такого длинного фильма (" + frames + "): его оглавление займёт около " +
               gigabytes(indexBytes) + ", а всего доступно " + gigabytes(available) +
               ". Выберите отрезок короче или частоту ниже.";
    }
    return std::nullopt;
}

std::optional<std::string> TelemetryExportSettings::outputFileError(const std::filesystem::path& output,
                                                                    std::span<const std::filesystem::path> inputs) {
    return ExportDestination::error(output, inputs);
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

std::optional<std::string> TelemetryExportSettings::outputError(const std::filesystem::path& output,
                                                                std::span<const std::filesystem::path> inputs) {
    if (auto error = outputFileError(output, inputs)) return error;
    return outputPlaceError(output);
}

std::optional<std::string> TelemetryExportSettings::frameRateError() const {
    const std::int64_t n = frameRate.numerator(), d = frameRate.denominator();
    if (frameRate.isKnown() && (n > FrameRate::largestParsedTerm || d > FrameRate::largestParsedTerm)) {
        return "Частота " + frameRate.text() + " кадров в секунду не подходит: числитель и знаменатель дроби должны "
               "быть не больше " + std::to_string(FrameRate::largestParsedTerm) + ".";
    }
    // minimum ≤ N / D ≤ maximum, in integers (the terms are bounded above).
    if (frameRate.isKnown() && n >= minimumFramesPerSecond * d && n <= maximumFramesPerSecond * d) return std::nullopt;
    return "Частота " + frameRate.title() + " кадров в секунду не подходит: нужно от " +
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
    if (auto error = frameRateError()) return error;
    if (auto error = motionError()) return error;
    return memoryError();
}

FrameRate TelemetryExportSettings::timingFrameRate() const {
    if (!frameRate.isKnown() || frameRate.numerator() < frameRate.denominator()) return FrameRate(1);
    return frameRate;
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
    settings.frameRate = timingFrameRate();
    if (codec == TelemetryVideoCodec::hevcWithAlpha) {
        MovieWriterHEVCSettings hevc;
        hevc.averageBitRateBitsPerSecond = hevcAverageBitRate(width, height);
        // A key frame about every two seconds of output: the nearest whole
        // number of frames (60 at 29.97, 2.002 s), 1 for an unknown rate.
        // Rounding down instead would give 59 at 29.97, shorter than two
        // runs of a 1 Hz ride's repeated frames (30 + 30): every new picture
        // would then have to be an intra picture, at several times the cost.
        hevc.maxKeyFrameIntervalFrames = std::max<std::int64_t>(
            (2 * 2 * frameRate.numerator() + frameRate.denominator()) / (2 * frameRate.denominator()), 1);
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
