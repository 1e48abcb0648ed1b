// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <exception>
#include <string>

#include "PacemarkError.h"

namespace pacemark {

// Why a readable file gave no activity. Decoder and read errors are not
// wrapped: they reach the user with their own descriptions.
class TelemetryLoadError : public PacemarkError {
public:
    enum class Case { unsupportedExtension, emptyActivity, tooManySamples };

    // "Неподдерживаемое расширение файла телеметрии: .<extension>"
    static TelemetryLoadError unsupportedExtension(std::string extension);
    // "В файле телеметрии нет пригодных точек."
    static TelemetryLoadError emptyActivity();
    // The file holds more points than the sample budget allows:
    // "Файл телеметрии слишком велик: в нём больше N точек, столько не поместится в памяти."
    static TelemetryLoadError tooManySamples(std::size_t budget);

    Case errorCase() const { return case_; }
    // The lower-cased extension of an unsupportedExtension error (empty otherwise).
    const std::string& extension() const { return extension_; }

private:
    TelemetryLoadError(Case errorCase, std::string extension, const std::string& description);

    Case case_;
    std::string extension_;
};

// A load ended because its stop was requested: not a fault of the file, so
// callers drop it quietly instead of reporting an error.
class TelemetryLoadCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "Загрузка остановлена."; }
};

}  // namespace pacemark
