// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include "CLIArguments.h"
#include "CLIDestination.h"
#include "CLICommands.h"
#include "CLIGlobalOptions.h"
#include "CairoDrawingSurface.h"
#include "FrameCommand.h"
#include "LayoutOption.h"
#include "Layout/PacemarkPreset.h"
#include "Rendering/LayoutFrameRenderer.h"
#include "Telemetry/TelemetryFileLoader.h"

namespace pacemark::cli {

namespace {

// Each preset is drawn at the frame size (full HD unless told) and shown no
// larger than this box, at its own size when it fits: a 1920 × 1080 frame at
// a third, a portrait one as a tall cell.
constexpr double cellBoxSide = 640;
constexpr double labelHeight = 44;
constexpr double gap = 20;

}  // namespace

// sheet FILE [--layout FILE] [--at SECONDS] [--size WxH] -o OUT.png: the nine presets on
// one contact sheet (3 × 3), or the one layout of the file, each over the dark
// backdrop and labelled with its name.
int runSheetCommand(std::span<const std::string> arguments) {
    const CLIArguments options(arguments, {"--at", "--layout", "--size", "--output"}, {"--force"}, {{"-o", "--output"}});
    const std::filesystem::path input = options.requireOneFile();
    const auto output = options.value("--output");
    if (!output || output->empty()) throw CLIUsageError("Не указан выходной файл: -o ЛИСТ.png.");
    checkDestination(*output, inputFiles(options, input, {"--layout"}), options.has("--force"), std::cerr);
    const auto requestedAt = options.number("--at");
    const auto [frameWidth, frameHeight] =
        options.size("--size").value_or(std::pair<std::int64_t, std::int64_t>{1920, 1080});
    const double cellScale = std::min({1.0, cellBoxSide / static_cast<double>(frameWidth),
                                       cellBoxSide / static_cast<double>(frameHeight)});
    const double cellWidth = std::round(static_cast<double>(frameWidth) * cellScale);
    const double cellHeight = std::round(static_cast<double>(frameHeight) * cellScale);
    auto activity = std::make_shared<const TelemetryActivity>(loadActivity(input));
    const double at = requestedAt.value_or(defaultFrameInstant(activity->durationSeconds()));
    const auto surfaces = std::make_shared<const CairoDrawingSurfaceFactory>();

    std::vector<std::pair<std::string, PacemarkLayout>> cells;
    if (options.has("--layout")) {
        LayoutOption file = LayoutOption::fromOptions(options);
        cells.emplace_back(std::move(file.title), std::move(file.layout));
    } else {
        for (const PacemarkPreset preset : PacemarkPreset::allCases()) {
            cells.emplace_back(preset.rawValue(), PacemarkLayout::preset(preset));
        }
    }
    const std::size_t columns = std::min<std::size_t>(cells.size(), 3);
    const std::size_t rows = (cells.size() + 2) / 3;
    const auto sheetWidth = static_cast<std::int64_t>(static_cast<double>(columns) * cellWidth +
                                                      static_cast<double>(columns + 1) * gap);
    const auto sheetHeight = static_cast<std::int64_t>(static_cast<double>(rows) * (cellHeight + labelHeight) +
                                                       static_cast<double>(rows + 1) * gap);
    OwnedPixelBuffer sheet(sheetWidth, sheetHeight);
    {
        auto surface = surfaces->makeSurface(sheet.view());
        surface->setFillColor(DrawingColor::fromHex(0x111315));
        DrawingPath all;
        all.addRect({0, 0, static_cast<double>(sheetWidth), static_cast<double>(sheetHeight)});
        surface->addPath(all);
        surface->fillPath();
    }
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const double x = gap + static_cast<double>(k % 3) * (cellWidth + gap);
        const double y = gap + static_cast<double>(k / 3) * (cellHeight + labelHeight + gap);
        const LayoutFrameRenderer renderer(activity, cells[k].second, frameWidth, frameHeight,
                                           surfaces);
        OwnedPixelBuffer frame(frameWidth, frameHeight);
        renderer.render(at, frame.view());
        const OwnedPixelBuffer composed = composeOverBackground(frame, {FrameBackground::Kind::dark, {}});
        drawPictureToFill(composed, sheet.view(), {x, y, cellWidth, cellHeight});
        auto surface = surfaces->makeSurface(sheet.view());
        surface->drawText(cells[k].first, {x + 4, y + cellHeight + 9, cellWidth - 8, labelHeight - 9},
                          {22, DrawingFontWeight::semibold, false}, DrawingColor::fromHex(0xE8E8E8),
                          DrawingTextAlignment::left);
    }
    writePNGFile(sheet.view(), *output);
    std::cout << (cells.size() == 1 ? "Лист макета (" : "Лист пресетов (") << at << " с) записан: " << *output << "\n";
    return 0;
}

}  // namespace pacemark::cli
