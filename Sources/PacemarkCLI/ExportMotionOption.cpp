// SPDX-License-Identifier: GPL-3.0-or-later
#include "ExportMotionOption.h"

#include <string>

#include "Export/TelemetryExportSettings.h"

namespace pacemark::cli {

TelemetryMotion motionOption(const CLIArguments& args) {
    TelemetryMotion motion = TelemetryExportSettings::defaultMotion;
    if (args.has("--smooth-values")) motion.smoothing = TelemetryValueSmoothing::speedAndPower;
    const std::string text = args.value("--motion").value_or("steps");
    if (text == "steps") return motion;
    const std::string smooth = "smooth";
    if (text.compare(0, smooth.size(), smooth) != 0 || (text.size() > smooth.size() && text[smooth.size()] != ':')) {
        throw CLIUsageError("Неизвестное движение «" + text + "»: возможны steps, smooth и smooth:ЧАСТОТА (5, 10, 15 или frame).");
    }
    motion.mode = TelemetryMotionMode::smooth;
    if (text.size() <= smooth.size()) return motion;
    const std::string rate = text.substr(smooth.size() + 1);
    if (rate == "frame") {
        motion.updatesPerSecond = TelemetryMotion::everyFrame;
        return motion;
    }
    const bool digits = !rate.empty() && rate.size() <= 6 &&
                        rate.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoll(rate) == 0) {
        throw CLIUsageError("Частота обновления «" + rate + "» не подходит: нужно целое число герц (например 10) или frame.");
    }
    motion.updatesPerSecond = std::stoll(rate);
    return motion;
}

}  // namespace pacemark::cli
