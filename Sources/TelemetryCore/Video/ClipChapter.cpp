// SPDX-License-Identifier: GPL-3.0-or-later
#include "Video/ClipChapter.h"

#include <algorithm>

namespace pacemark {
namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<ClipChapter> ClipChapter::fromFileName(const std::filesystem::path& file) {
    std::string stem = file.stem().string();
    if (stem.size() != 8) return std::nullopt;
    std::transform(stem.begin(), stem.end(), stem.begin(), upper);
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), upper);
    const std::string_view name(stem);
    const std::string_view number = name.substr(4);
    if (!allDigits(number)) return std::nullopt;
    // The folder as given: chapters are files side by side.
    const std::string place = file.parent_path().lexically_normal().string() + "/";

    std::string scheme;
    int chapter = 0;
    if (name.substr(0, 4) == "GOPR") {
        scheme = "GP";
    } else if (name[0] == 'G' && (name[1] == 'X' || name[1] == 'H' || name[1] == 'L' || name[1] == 'P') &&
               allDigits(name.substr(2, 2))) {
        scheme = std::string(name.substr(0, 2));
        chapter = (name[2] - '0') * 10 + (name[3] - '0');
        if (chapter == 0) return std::nullopt;
    } else {
        return std::nullopt;
    }
    return ClipChapter{place + scheme + std::string(number) + extension, chapter};
}

}  // namespace pacemark
