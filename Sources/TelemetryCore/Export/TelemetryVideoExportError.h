// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "PacemarkError.h"

namespace pacemark {

// Failures of the movie export. writerFailed carries the writer's own text.
class TelemetryVideoExportError : public PacemarkError {
public:
    enum class Case { writerFailed, cannotCreateWriter, cannotAddVideoInput, cannotCreatePixelBuffer };

    // Fixed texts of writerFailed for the three steps of writing, used when
    // the writer has no description of its own.
    static constexpr const char* startFailedText = "Видеозапись не стартовала.";
    static constexpr const char* appendFailedText = "Не удалось добавить видеокадр.";
    static constexpr const char* finishFailedText = "Не удалось записать видео.";

    static TelemetryVideoExportError writerFailed(std::string message);
    static TelemetryVideoExportError cannotCreateWriter();
    static TelemetryVideoExportError cannotAddVideoInput();
    static TelemetryVideoExportError cannotCreatePixelBuffer();

    Case errorCase() const { return case_; }

private:
    TelemetryVideoExportError(Case errorCase, const std::string& description)
        : PacemarkError(description), case_(errorCase) {}

    Case case_;
};

// A file-system failure of the export: "Не удалось <action> «<file name>»:
// <reason>." (fileFailureDescription: the reason from the system's table).
PacemarkError exportFileError(const std::string& action, const std::filesystem::path& path, std::error_code code);

}  // namespace pacemark
