// SPDX-License-Identifier: GPL-3.0-or-later
#include "Export/BurnInSettings.h"

namespace pacemark {

std::optional<std::string> BurnInSettings::qualityError() const {
    if (quality >= bestQuality && quality <= coarsestQuality) return std::nullopt;
    return qualityRefusal(std::to_string(quality));
}

std::string BurnInSettings::qualityRefusal(const std::string& given) {
    return "Качество должно быть целым числом от " + std::to_string(bestQuality) + " (наилучшее) до " +
           std::to_string(coarsestQuality) + " (наихудшее), а не " + given + ".";
}

std::string BurnInSettings::outputFileName(const std::filesystem::path& clip) {
    return clip.stem().string() + "-pacemark.mp4";
}

std::filesystem::path BurnInSettings::outputPath(const std::filesystem::path& clip,
                                                 const std::optional<std::filesystem::path>& folder) {
    return (folder ? *folder : clip.parent_path()) / outputFileName(clip);
}

}  // namespace pacemark
