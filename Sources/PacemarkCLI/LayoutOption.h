// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "CLIArguments.h"
#include "Layout/PacemarkWidget.h"

namespace pacemark::cli {

// The overlay a drawing command uses: a layout file given with
// --layout FILE, or a preset given with --preset NAME (the first preset when
// neither is given). Both together are a usage error.
struct LayoutOption {
    PacemarkLayout layout;
    std::string title;  // for messages: the preset's Russian name or the file's name
    bool fromFile = false;

    // Reads the file if one is named; fails with its read or layout error.
    static LayoutOption fromOptions(const CLIArguments& options);
};

}  // namespace pacemark::cli
