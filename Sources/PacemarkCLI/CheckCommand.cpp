// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "CLIArguments.h"
#include "CLICommands.h"
#include "MovieCheck/MovieChecker.h"

// The HEVC checker lives with the HEVC writer; a core-only build reports
// HEVC movies as unchecked instead of passing them.
#ifdef PACEMARK_CLI_HAS_PLATFORM
#include "HEVCAlphaMovieCheck.h"
#endif

namespace pacemark::cli {

// Checks a movie's alpha for editors; exit status 0 when well formed, 1 when not.
int runCheckCommand(std::span<const std::string> arguments) {
    const CLIArguments args(arguments, {}, {});
    const std::filesystem::path path = args.requireOneFile();
    // A FIFO or a device would be read for ever; a folder is the reader's
    // own message.
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status)) {
        throw PacemarkError("Не удалось прочитать «" + path.filename().string() + "»: это не обычный файл.");
    }
    HEVCAlphaTrackChecker hevc;
    HEVCTrackFrameRateReader hevcFrameRate;
#ifdef PACEMARK_CLI_HAS_PLATFORM
    hevc = checkHEVCAlphaTrack;
    hevcFrameRate = hevcTrackFrameRate;
#endif
    FileMovieSource source(path);
    const MovieCheckReport report = MovieChecker(hevc, hevcFrameRate).check(source);

    std::cout << "Файл: " << path.filename().string() << "\n"
              << "Кодек: " << report.codec << ", " << report.width << "×" << report.height << ", кадров: "
              << report.frameCount << "\n";
    // The exact rate as editors read it ("30000/1001"), and how it reads as a number.
    if (report.frameRate.isKnown()) {
        std::cout << "Частота кадров: " << report.frameRate.text() << " (" << report.frameRate.title() << " к/с)\n";
    } else {
        std::cout << "Частота кадров: не определена\n";
    }
    if (report.wellFormed()) {
        std::cout << "Альфа-канал в порядке: фильм пригоден для монтажных программ.\n";
        return 0;
    }
    std::cout << "Найдены ошибки (" << report.findings.size() << "):\n";
    for (const auto& finding : report.findings) std::cout << "  - " << finding.message << "\n";
    return 1;
}

}  // namespace pacemark::cli
