// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameCommand.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include "CairoDrawingSurface.h"
#include "CLIArguments.h"
#include "CLIDestination.h"
#include "CLICommands.h"
#include "CLIGlobalOptions.h"
#include "Export/TelemetryExportSettings.h"
#include "ExportMotionOption.h"
#include "LayoutOption.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark::cli {

namespace {

std::uint8_t byte(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

FrameBackground FrameBackground::parse(const std::string& text) {
    if (text == "checker") return {Kind::checker, {}};
    if (text == "dark") return {Kind::dark, {}};
    if (text.empty()) throw CLIUsageError("Пустой параметр --background: укажите checker, dark или PNG-файл.");
    return {Kind::picture, std::filesystem::path(text)};
}

PacemarkPreset presetNamed(const std::optional<std::string>& name) {
    if (!name) return PacemarkPreset::allCases().front();
    if (auto preset = PacemarkPreset::fromRawValueOrCaseName(*name)) return *preset;
    std::string names;
    for (PacemarkPreset known : PacemarkPreset::allCases()) {
        names += (names.empty() ? "" : ", ") + std::string(known.caseName());
    }
    throw CLIUsageError("Неизвестный пресет «" + *name + "». Есть: " + names + ".");
}

std::vector<std::filesystem::path> inputFiles(const CLIArguments& options, std::filesystem::path ride,
                                              std::initializer_list<const char*> fileOptions) {
    std::vector<std::filesystem::path> files{std::move(ride)};
    for (const char* option : fileOptions) {
        if (const auto file = options.value(option); file && !file->empty()) files.emplace_back(*file);
    }
    return files;
}

double defaultFrameInstant(double durationSeconds) {
    return durationSeconds > 0 && std::isfinite(durationSeconds) ? durationSeconds * 0.42 : 0.0;
}

OwnedPixelBuffer makeBackdrop(FrameBackground::Kind kind, std::int64_t width, std::int64_t height) {
    OwnedPixelBuffer picture(width, height);
    for (std::int64_t y = 0; y < height; ++y) {
        std::uint8_t* row = picture.bytes.data() + y * width * 4;
        for (std::int64_t x = 0; x < width; ++x) {
            double red = 0, green = 0, blue = 0;
            if (kind == FrameBackground::Kind::checker) {
                const bool light = ((x / 24) + (y / 24)) % 2 == 0;
                red = green = blue = light ? 0x6A : 0x4A;
            } else {
                // Dusk over a dark road: a cool sky that brightens toward a
                // warm horizon at 55 % of the height, dark ground below, and
                // a soft vignette.
                const double v = static_cast<double>(y) / static_cast<double>(std::max<std::int64_t>(height - 1, 1));
                const double u = static_cast<double>(x) / static_cast<double>(std::max<std::int64_t>(width - 1, 1));
                if (v < 0.55) {
                    const double f = v / 0.55;
                    red = 34 + f * (92 - 34);
                    green = 46 + f * (84 - 46);
                    blue = 66 + f * (78 - 66);
                } else {
                    const double f = std::min((v - 0.55) / 0.45, 1.0);
                    red = 58 + f * (20 - 58);
                    green = 56 + f * (22 - 56);
                    blue = 50 + f * (22 - 50);
                }
                const double dx = u - 0.5, dy = v - 0.45;
                const double vignette = 1.0 - 0.45 * std::min(dx * dx * 1.6 + dy * dy * 2.2, 1.0);
                red *= vignette;
                green *= vignette;
                blue *= vignette;
            }
            row[x * 4 + 0] = byte(blue);
            row[x * 4 + 1] = byte(green);
            row[x * 4 + 2] = byte(red);
            row[x * 4 + 3] = 255;
        }
    }
    return picture;
}

OwnedPixelBuffer composeOverBackground(const OwnedPixelBuffer& overlay, const FrameBackground& background) {
    if (background.kind == FrameBackground::Kind::none) return overlay;
    OwnedPixelBuffer result;
    if (background.kind == FrameBackground::Kind::picture) {
        const OwnedPixelBuffer picture = readPNGFile(background.picture);
        result = makeBackdrop(FrameBackground::Kind::dark, overlay.width, overlay.height);  // under any transparency
        drawPictureToFill(picture, result.view(), {0, 0, static_cast<double>(overlay.width),
                                                   static_cast<double>(overlay.height)});
    } else {
        result = makeBackdrop(background.kind, overlay.width, overlay.height);
    }
    // Premultiplied source over: out = overlay + background × (1 − overlay alpha).
    for (std::size_t k = 0; k < result.bytes.size(); k += 4) {
        const int keep = 255 - overlay.bytes[k + 3];
        for (std::size_t c = 0; c < 4; ++c) {
            result.bytes[k + c] =
                static_cast<std::uint8_t>(overlay.bytes[k + c] + (result.bytes[k + c] * keep + 127) / 255);
        }
    }
    return result;
}

// frame FILE [--preset NAME | --layout FILE] [--at SECONDS] [--size WxH] [--background checker|dark|PATH.png]
//       [--motion steps|smooth[:HZ]] [--smooth-values] -o OUT.png
int runFrameCommand(std::span<const std::string> arguments) {
    const CLIArguments options(arguments,
                               {"--preset", "--layout", "--at", "--size", "--background", "--output", "--motion"},
                               {"--smooth-values", "--force"}, {{"-o", "--output"}});
    const std::filesystem::path input = options.requireOneFile();
    const auto output = options.value("--output");
    if (!output || output->empty()) throw CLIUsageError("Не указан выходной файл: -o КАДР.png.");
    checkDestination(*output, inputFiles(options, input, {"--layout", "--background"}), options.has("--force"),
                     std::cerr);
    const LayoutOption overlay = LayoutOption::fromOptions(options);
    const auto [width, height] = options.size("--size").value_or(std::pair<std::int64_t, std::int64_t>{1920, 1080});
    const FrameBackground background =
        options.has("--background") ? FrameBackground::parse(*options.value("--background")) : FrameBackground{};
    const auto requestedAt = options.number("--at");
    TelemetryExportSettings motionSettings;
    motionSettings.motion = motionOption(options);
    if (const auto error = motionSettings.motionError()) throw CLIUsageError(*error);

    auto activity = std::make_shared<const TelemetryActivity>(loadActivity(input));
    const double at = requestedAt.value_or(defaultFrameInstant(activity->durationSeconds()));
    const LayoutFrameRenderer renderer(activity, overlay.layout, width, height,
                                       std::make_shared<const CairoDrawingSurfaceFactory>(), motionSettings.motion);
    OwnedPixelBuffer frame(width, height);
    renderer.render(at, frame.view());
    OwnedPixelBuffer picture = composeOverBackground(frame, background);
    writePNGFile(picture.view(), *output);
    std::cout << "Кадр " << width << "x" << height << " («" << overlay.title << "», " << at
              << " с) записан: " << *output << "\n";
    return 0;
}

}  // namespace pacemark::cli
