// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "PacemarkError.h"

namespace pacemark {

// Why a layout file could not be opened or saved. Each text names the file
// (when known) and the field at fault, as a path like
// «widgets[2].frame.width» (widgets counted from 0).
class PacemarkLayoutFileError : public PacemarkError {
public:
    enum class Case {
        tooLarge,            // larger than PacemarkLayoutFile::maxFileSizeBytes
        notJSON,             // a JSON syntax error, or text that is not UTF-8
        nestedTooDeeply,     // more than PacemarkLayoutFile::maxNestingDepth levels
        duplicateKey,        // one key twice in one object
        unsupportedVersion,  // a version this program does not read
        missingField,
        unknownField,
        wrongType,
        unknownKind,
        unknownStyle,
        unknownPreset,
        valueOutOfRange,
        invalidColor,
        invalidID,
        duplicateID,
        writeFailed,
    };

    // Reading: `file` is the file's name, or empty when the bytes came from
    // elsewhere; `field` the path of the field; `detail` the sentence after
    // "Не удалось открыть макет «file»: ".
    PacemarkLayoutFileError(Case errorCase, const std::string& file, std::string field, const std::string& detail);

    // "Не удалось сохранить макет «name»: <reason>."
    static PacemarkLayoutFileError writeFailed(const std::filesystem::path& path, std::error_code code);

    Case errorCase() const { return case_; }
    // The path of the field at fault; empty for errors of the whole file.
    const std::string& field() const { return field_; }

    // The same error told about the named file (the reader parses bytes and
    // learns the name from its caller).
    PacemarkLayoutFileError inFile(const std::string& file) const;
    // The same fault found in a layout about to be saved (the writer reads
    // back what it would write): "Не удалось сохранить макет «file»: ...".
    PacemarkLayoutFileError whenSaving(const std::string& file) const;

private:
    PacemarkLayoutFileError(const std::string& description, Case errorCase, std::string field, std::string detail);

    Case case_;
    std::string field_;
    std::string detail_;
};

}  // namespace pacemark
