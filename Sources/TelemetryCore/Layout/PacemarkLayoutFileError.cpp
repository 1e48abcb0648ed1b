// SPDX-License-Identifier: GPL-3.0-or-later
#include "Layout/PacemarkLayoutFileError.h"

#include "PacemarkError.h"

namespace pacemark {
namespace {

std::string openingText(const std::string& file, const std::string& detail) {
    return "Не удалось открыть макет" + (file.empty() ? std::string() : " «" + file + "»") + ": " + detail;
}

}  // namespace

PacemarkLayoutFileError::PacemarkLayoutFileError(const std::string& description, Case errorCase, std::string field,
                                                 std::string detail)
    : PacemarkError(description), case_(errorCase), field_(std::move(field)), detail_(std::move(detail)) {}

PacemarkLayoutFileError::PacemarkLayoutFileError(Case errorCase, const std::string& file, std::string field,
                                                 const std::string& detail)
    : PacemarkLayoutFileError(openingText(file, detail), errorCase, std::move(field), detail) {}

PacemarkLayoutFileError PacemarkLayoutFileError::inFile(const std::string& file) const {
    if (case_ == Case::writeFailed) return *this;
    return PacemarkLayoutFileError(case_, file, field_, detail_);
}

PacemarkLayoutFileError PacemarkLayoutFileError::whenSaving(const std::string& file) const {
    return PacemarkLayoutFileError("Не удалось сохранить макет «" + file + "»: " + detail_, case_, field_, detail_);
}

PacemarkLayoutFileError PacemarkLayoutFileError::writeFailed(const std::filesystem::path& path, std::error_code code) {
    const std::string reason = systemErrorReason(code.value()) + ".";
    return PacemarkLayoutFileError(fileFailureDescription("сохранить макет", path, code.value()), Case::writeFailed, "",
                                   reason);
}

}  // namespace pacemark
