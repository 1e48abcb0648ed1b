#include "FrameCommand.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <ostream>

#include "CairoDrawingSurface.h"
#include "Layout/PacemarkPreset.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark::cli {

namespace {

std::optional<double> parseNumber(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::uint8_t byte(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

FrameBackground FrameBackground::parse(const std::string& text) {
    if (text == "checker") return {Kind::checker, {}};
    if (text == "dark") return {Kind::dark, {}};
    if (text.empty()) throw FrameCommandError("Пустой параметр --background: укажите checker, dark или PNG-файл.");
    return {Kind::picture, std::filesystem::path(text)};
}

std::pair<std::int64_t, std::int64_t> parseFrameSize(const std::string& text) {
    const std::string invalid = "Неверный размер «" + text + "»: нужно ШИРИНАxВЫСОТА от 2x2 до 8192x8192, например 1920x1080.";
    std::size_t split = text.find_first_of("xX");
    std::size_t separatorLength = 1;
    if (split == std::string::npos) {
        split = text.find("×");
        separatorLength = std::string("×").size();
    }
    if (split == std::string::npos) throw FrameCommandError(invalid);
    const auto width = parseInteger(std::string_view(text).substr(0, split));
    const auto height = parseInteger(std::string_view(text).substr(split + separatorLength));
    if (!width || !height || *width < 2 || *height < 2 || *width > 8192 || *height > 8192) {
        throw FrameCommandError(invalid);
    }
    return {*width, *height};
}

FrameOptions FrameOptions::parse(const std::vector<std::string>& arguments) {
    FrameOptions options;
    bool hasInput = false;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string& argument = arguments[k];
        auto value = [&]() -> const std::string& {
            if (k + 1 >= arguments.size()) throw FrameCommandError("У параметра " + argument + " нет значения.");
            return arguments[++k];
        };
        if (argument == "--preset") {
            options.presetName = value();
        } else if (argument == "--at") {
            const std::string& text = value();
            options.atSeconds = parseNumber(text);
            if (!options.atSeconds) throw FrameCommandError("Неверное время --at «" + text + "»: нужно число секунд.");
        } else if (argument == "--size") {
            std::tie(options.width, options.height) = parseFrameSize(value());
        } else if (argument == "--background") {
            options.background = FrameBackground::parse(value());
        } else if (argument == "-o" || argument == "--output") {
            options.output = value();
        } else if (!argument.empty() && argument[0] == '-') {
            throw FrameCommandError("Неизвестный параметр " + argument + ".");
        } else if (!hasInput) {
            options.input = argument;
            hasInput = true;
        } else {
            throw FrameCommandError("Лишний аргумент «" + argument + "»: нужен один файл телеметрии.");
        }
    }
    if (!hasInput) throw FrameCommandError("Не указан файл телеметрии (FIT или GPX).");
    if (options.output.empty()) throw FrameCommandError("Не указан выходной файл: -o КАДР.png.");
    return options;
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

int runFrameCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    try {
        const FrameOptions options = FrameOptions::parse(arguments);
        std::optional<PacemarkPreset> preset = PacemarkPreset::allCases().front();
        if (!options.presetName.empty()) {
            preset = PacemarkPreset::fromRawValueOrCaseName(options.presetName);
            if (!preset) {
                std::string names;
                for (PacemarkPreset known : PacemarkPreset::allCases()) {
                    names += (names.empty() ? "" : ", ") + std::string(known.caseName());
                }
                throw FrameCommandError("Неизвестный пресет «" + options.presetName + "». Есть: " + names + ".");
            }
        }
        auto activity = std::make_shared<const TelemetryActivity>(TelemetryFileLoader::load(options.input));
        const double at = options.atSeconds.value_or(defaultFrameInstant(activity->durationSeconds()));
        const auto surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();
        const LayoutFrameRenderer renderer(activity, PacemarkLayout::preset(*preset), options.width, options.height,
                                           surfaces);
        OwnedPixelBuffer frame(options.width, options.height);
        renderer.render(at, frame.view());
        OwnedPixelBuffer picture = composeOverBackground(frame, options.background);
        writePNGFile(picture.view(), options.output);
        out << "Кадр " << options.width << "x" << options.height << " («" << preset->rawValue() << "», " << at
            << " с) записан: " << options.output.string() << "\n";
        return 0;
    } catch (const PacemarkError& error) {
        err << error.errorDescription() << "\n";
        return 1;
    }
}

}  // namespace pacemark::cli
