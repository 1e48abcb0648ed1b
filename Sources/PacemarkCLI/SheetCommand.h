#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace pacemark::cli {

// `pacemark-cli sheet FILE [--at SECONDS] -o OUT.png`: the nine presets on one
// contact sheet (3 × 3), each over the dark backdrop and labelled with its name.
int runSheetCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace pacemark::cli
