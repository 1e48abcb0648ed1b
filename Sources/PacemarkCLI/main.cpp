// SPDX-License-Identifier: GPL-3.0-or-later
// pacemark-cli: the overlay core without a window — inspect a ride, render
// frames, export movies. Messages are Russian; errors go to stderr with a
// non-zero exit status.
#include <array>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "CLIArguments.h"
#include "CLICommands.h"
#include "CLIGlobalOptions.h"
#include "DiagnosticLog.h"
#ifdef PACEMARK_CLI_HAS_PLATFORM
#include "FFmpegLogRouting.h"
#endif

namespace pacemark::cli {
namespace {

constexpr std::array kCommands = {
    CLICommand{"info", "info FILE [--json]",
               "Сводка по файлу FIT или GPX: длительность, дистанция, число точек, средние значения. "
               "С --json — сводка в формате JSON.",
               runInfoCommand},
    CLICommand{"samples", "samples FILE [--raw]",
               "Точки активности в формате JSON, по одному объекту в строке (отсутствующие поля опущены). "
               "С --raw — точки декодера до нормализации.",
               runSamplesCommand},
    CLICommand{"check", "check MOVIE",
               "Проверка альфа-канала фильма MOV для монтажных программ: у ProRes — заголовки кадров, альфа-канал "
               "каждого среза и описание сэмплов, у HEVC — альфа-слой; у всех — постоянную частоту кадров (печатается "
               "точно, например 30000/1001). Код выхода 0 — всё в порядке, 1 — найдены "
               "ошибки.",
               runCheckCommand},
#ifdef PACEMARK_CLI_HAS_PLATFORM
    // Commands that draw or write movies are registered here.
    CLICommand{"frame", "frame FILE [--preset NAME | --layout FILE] [--at SECONDS] [--size WxH] [--background checker|dark|PATH.png] "
               "[--motion steps|smooth[:HZ]] [--smooth-values] -o OUT.png [--force]",
               "Один кадр оверлея в PNG с прозрачностью (по умолчанию первый пресет, 42 % заезда, 1920x1080). "
               "С --background — поверх шахматки, тёмного фона или картинки; --motion и --smooth-values — как у export.",
               runFrameCommand},
    CLICommand{"sheet", "sheet FILE [--layout FILE] [--at SECONDS] [--size WxH] -o OUT.png [--force]",
               "Лист всех девяти пресетов (3 x 3) на тёмном фоне, с подписями; с --layout — один макет из файла. "
               "С --size кадры рисуются в этом размере (по умолчанию 1920x1080) и показаны не крупнее 640 точек "
               "по большей стороне.",
               runSheetCommand},
    CLICommand{"export",
               "export FILE... [-o OUT.mov | --output-dir DIR] [--codec prores|hevc] [--preset NAME | --layout FILE] "
               "[--size WxH] [--fps N|N/D] [--start S] [--end S] [--motion steps|smooth[:HZ]] [--smooth-values] [--skip-existing] "
               "[--json] [--quiet] [--compact] [--force] | export RIDE --clips CLIP... [--output-dir DIR] [--codec prores|hevc] "
               "[--preset NAME | --layout FILE] [--compact] [--size WxH] [--skip-existing] [--json] [--quiet] [--force] "
               "[--burn-in [--quality N]]",
               "Прозрачный оверлей заезда в видео MOV с альфа-каналом (по умолчанию ProRes 4444, 1920×1080, "
               "30 к/с, вся активность, файл ИМЯ-telemetry.mov рядом с исходным или в --output-dir). "
               "Несколько файлов — по фильму на каждый, ошибка одного не останавливает остальные, в конце итог. "
               "--skip-existing оставляет готовые фильмы, --json печатает по объекту JSON на фильм, --quiet "
               "убирает прогресс. Ctrl-C останавливает экспорт, не трогая существующий файл. С --compact (только ProRes) "
               "повторяющийся кадр хранится в файле один раз, а повторы ссылаются на него: файл в десятки раз меньше "
               "и пишется быстрее. FFmpeg и GStreamer такие файлы читают, но не каждый видеоредактор проверен с ними: "
               "если редактор покажет не те кадры, экспортируйте без --compact. Фильм длиннее 7 суток пишется только "
               "с явным --end. "
               "--motion steps (по умолчанию) меняет значения раз в секунду, как записано; --motion smooth плавно "
               "ведёт значения, дуги и точку маршрута между точками записи, обновляя кадр 10 раз в секунду "
               "(smooth:5, smooth:15 — другая частота, smooth:frame — каждый кадр). --smooth-values усредняет "
               "скорость и мощность по соседним секундам, чтобы последняя цифра не мерцала. "
               "С --clips первый файл — заезд, остальные — видеоклипы: каждый клип ставится на заезд, как в sync "
               "(главы одной записи камеры — по порядку, глава без своих часов — сразу после предыдущей), и получает "
               "подложку КЛИП-telemetry.mov с его частотой кадров, числом кадров, размером (или --size), началом и "
               "скоростью таймлапса; клип, который не поставить на заезд, — ошибка только этого клипа. "
               "С --burn-in вместо подложки — готовый ролик КЛИП-pacemark.mp4: оверлей впечатан в каждый кадр клипа, "
               "видео H.264 (для клипов глубже 8 бит — HEVC Main 10) с качеством --quality (0 — без потерь, 51 — "
               "хуже всего, по умолчанию 18), звук и трек GPS камеры скопированы, дата, место и поворот сохранены.",
               runExportCommand},
    CLICommand{"sync", "sync RIDE CLIP... [--json]",
               "Где каждый видеоклип лежит на заезде: по GPS камеры (время приемника, с точностью до долей секунды, "
               "с частотой таймлапса), иначе по GPS-метке видео, иначе по дате съемки (если она попадает мимо "
               "заезда — как местное время часового пояса заезда или единственного подходящего пояса). По строке на "
               "клип, с --json — по объекту JSON: clip, method (camera-gps, video-location, creation-date, "
               "creation-date-zone, previous-chapter — сразу после предыдущей главы той же записи камеры, none), startSeconds (секунда заезда на первом кадре клипа, может быть "
               "дробной и отрицательной), uncertaintySeconds, rate (секунд заезда на секунду клипа), "
               "durationSeconds, frameRate, zoneOffsetMinutes, positionMismatchMeters, message. Код выхода 0 — "
               "все клипы размещены, 1 — хотя бы один нет.",
               runSyncCommand},
    CLICommand{"layout", "layout --preset NAME -o FILE.pacemark-layout [--force]",
               "Пресет в виде файла макета (JSON): основа, чтобы править макет и передавать его в --layout.",
               runLayoutCommand},
#endif
};

void printHelp(std::ostream& out) {
    out << "pacemark-cli — телеметрия заезда в прозрачный оверлей без окна.\n\n"
           "Использование:\n";
    for (const auto& command : kCommands) out << "  pacemark-cli " << command.usage << "\n";
    out << "  pacemark-cli --help | --version | COMMAND --help\n\n"
           "Для любой команды: --recover — из повреждённого или обрезанного файла FIT или GPX взять точки до места "
           "повреждения; --verbose — показывать сообщения библиотек кодирования.\n\n";
    for (const auto& command : kCommands) out << command.name << ": " << command.summary << "\n\n";
    out << "Выходной файл не может быть входным (заездом, макетом, картинкой), папкой или устройством; "
           "файл только для чтения заменяется лишь с --force.\n\n";
    out << "Коды выхода: 0 — успех, 1 — ошибка при работе (у export — хотя бы с одним файлом), 2 — неверные аргументы, "
           "130 — остановлено.\n";
}

bool wantsHelp(const std::vector<std::string>& arguments) {
    for (const auto& argument : arguments) {
        if (argument == "--help" || argument == "-h") return true;
    }
    return false;
}

}  // namespace
}  // namespace pacemark::cli

int main(int argc, char** argv) {
    using namespace pacemark::cli;
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty() || all[0] == "--help" || all[0] == "-h" || all[0] == "help") {
        printHelp(all.empty() ? std::cerr : std::cout);
        return all.empty() ? 2 : 0;
    }
    if (all[0] == "--version") {
        std::cout << "pacemark-cli " PACEMARK_VERSION "\n";
        return 0;
    }
    const CLICommand* command = nullptr;
    for (const auto& candidate : kCommands) {
        if (candidate.name == all[0]) command = &candidate;
    }
    if (!command) {
        std::cerr << "Неизвестная команда: " << all[0] << ".\n\n";
        printHelp(std::cerr);
        return 2;
    }
    std::vector<std::string> rest(all.begin() + 1, all.end());
    CLIGlobalOptions::setCurrent(CLIGlobalOptions::take(rest));
    if (CLIGlobalOptions::current().verbose) {
        pacemark::DiagnosticLog::setSink([](std::string_view source, std::string_view line) {
            std::cerr << "[" << source << "] " << line << "\n";
        });
    }
#ifdef PACEMARK_CLI_HAS_PLATFORM
    pacemark::ffmpeg::routeFFmpegLogToDiagnosticLog();
#endif
    if (wantsHelp(rest)) {
        std::cout << "pacemark-cli " << command->usage << "\n\n" << command->summary << "\n";
        return 0;
    }
    try {
        return command->run(rest);
    } catch (const CLIUsageError& error) {
        std::cerr << "Ошибка: " << error.errorDescription() << "\nИспользование: pacemark-cli " << command->usage
                  << "\n";
        return 2;
    } catch (const std::exception& error) {
        // Our errors, out of memory and system errors in their Russian
        // words; anything else is "Внутренняя ошибка: …".
        const std::string text = pacemark::userFacingDescription(error);
        std::cerr << (text.starts_with("Внутренняя ошибка: ") ? "" : "Ошибка: ") << text << "\n";
        return 1;
    }
}
