// SPDX-License-Identifier: GPL-3.0-or-later
#include "LayoutOption.h"

#include <filesystem>

#include "FrameCommand.h"
#include "Layout/PacemarkLayoutFile.h"

namespace pacemark::cli {

LayoutOption LayoutOption::fromOptions(const CLIArguments& options) {
    const auto file = options.value("--layout");
    if (!file) {
        const PacemarkPreset preset = presetNamed(options.value("--preset"));
        return {PacemarkLayout::preset(preset), std::string(preset.rawValue()), false};
    }
    if (options.has("--preset")) throw CLIUsageError("Укажите либо --preset, либо --layout, но не оба сразу.");
    if (file->empty()) throw CLIUsageError("Пустой параметр --layout: укажите файл макета.");
    const std::filesystem::path path(*file);
    return {PacemarkLayoutFile::read(path).layout, path.filename().string(), true};
}

}  // namespace pacemark::cli
