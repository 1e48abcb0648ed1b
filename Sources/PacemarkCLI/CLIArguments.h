// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "PacemarkError.h"

namespace pacemark::cli {

// A mistake in how the tool was called; reported with the usage text.
class CLIUsageError : public PacemarkError {
public:
    using PacemarkError::PacemarkError;
};

// Parsed command-line arguments of one command: positional arguments and
// options. Written small rather than taken from a library: the tool has a
// handful of commands with a few options each, and every message must be
// Russian.
class CLIArguments {
public:
    // `valueOptions` take a value ("--at 12" or "--at=12"); `flags` do not.
    // Short aliases map to long names ("-o" → "--output").
    CLIArguments(std::span<const std::string> arguments, const std::set<std::string>& valueOptions,
                 const std::set<std::string>& flags, const std::map<std::string, std::string>& aliases = {});

    const std::vector<std::string>& positional() const { return positional_; }
    bool has(const std::string& option) const { return values_.contains(option); }
    std::optional<std::string> value(const std::string& option) const;

    // The single positional argument FILE, or a usage error.
    std::string requireOneFile() const;
    // A finite number, or a usage error naming the option.
    std::optional<double> number(const std::string& option) const;
    // A positive whole number within `maximum`, or a usage error.
    std::optional<std::int64_t> positiveInteger(const std::string& option, std::int64_t maximum) const;
    // "WxH" whose sides TelemetryExportSettings accepts (even, 16...16384).
    std::optional<std::pair<std::int64_t, std::int64_t>> size(const std::string& option) const;

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> values_;
};

}  // namespace pacemark::cli
