// SPDX-License-Identifier: GPL-3.0-or-later
#include "CLIArguments.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "Export/TelemetryExportSettings.h"

namespace pacemark::cli {

CLIArguments::CLIArguments(std::span<const std::string> arguments, const std::set<std::string>& valueOptions,
                           const std::set<std::string>& flags, const std::map<std::string, std::string>& aliases) {
    bool onlyPositional = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (onlyPositional || argument.size() < 2 || argument[0] != '-') {
            positional_.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyPositional = true;
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const auto eq = argument.find('='); argument.starts_with("--") && eq != std::string::npos) {
            inlineValue = argument.substr(eq + 1);
            argument.resize(eq);
        }
        if (const auto alias = aliases.find(argument); alias != aliases.end()) argument = alias->second;
        if (flags.contains(argument)) {
            if (inlineValue) throw CLIUsageError("Параметр " + argument + " не принимает значения.");
            values_[argument] = "";
        } else if (valueOptions.contains(argument)) {
            if (!inlineValue) {
                if (i + 1 >= arguments.size()) throw CLIUsageError("Параметру " + argument + " нужно значение.");
                inlineValue = arguments[++i];
            }
            values_[argument] = *inlineValue;
        } else {
            throw CLIUsageError("Неизвестный параметр: " + argument + ".");
        }
    }
}

std::optional<std::string> CLIArguments::value(const std::string& option) const {
    const auto it = values_.find(option);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

std::string CLIArguments::requireOneFile() const {
    if (positional_.empty()) throw CLIUsageError("Не указан файл телеметрии.");
    if (positional_.size() > 1) throw CLIUsageError("Лишний аргумент: " + positional_[1] + ".");
    return positional_[0];
}

std::optional<double> CLIArguments::number(const std::string& option) const {
    const auto text = value(option);
    if (!text) return std::nullopt;
    double result = 0;
    const char* begin = text->data();
    const char* end = begin + text->size();
    if (begin != end && *begin == '+') ++begin;
    const auto parsed = std::from_chars(begin, end, result);
    if (text->empty() || parsed.ec != std::errc{} || parsed.ptr != end || !std::isfinite(result)) {
        throw CLIUsageError("Значение параметра " + option + " должно быть числом: «" + *text + "».");
    }
    return result;
}

std::optional<std::int64_t> CLIArguments::positiveInteger(const std::string& option, std::int64_t maximum) const {
    const auto text = value(option);
    if (!text) return std::nullopt;
    std::int64_t result = 0;
    const auto parsed = std::from_chars(text->data(), text->data() + text->size(), result);
    if (text->empty() || parsed.ec != std::errc{} || parsed.ptr != text->data() + text->size() || result < 1 ||
        result > maximum) {
        throw CLIUsageError("Значение параметра " + option + " должно быть целым числом от 1 до " +
                            std::to_string(maximum) + ": «" + *text + "».");
    }
    return result;
}

std::optional<std::pair<std::int64_t, std::int64_t>> CLIArguments::size(const std::string& option) const {
    const auto text = value(option);
    if (!text) return std::nullopt;
    const auto bad = [&] {
        return CLIUsageError("Размер кадра " + option + " задаётся как ШИРИНАxВЫСОТА с чётными сторонами от " +
                             std::to_string(TelemetryExportSettings::smallestSidePixels) + " до " +
                             std::to_string(TelemetryExportSettings::largestSidePixels) +
                             ", например 1920x1080: «" + *text + "».");
    };
    const auto x = text->find_first_of("xX");
    if (x == std::string::npos) throw bad();
    std::int64_t w = 0, h = 0;
    const char* begin = text->data();
    const auto first = std::from_chars(begin, begin + x, w);
    const auto second = std::from_chars(begin + x + 1, begin + text->size(), h);
    if (first.ec != std::errc{} || first.ptr != begin + x || second.ec != std::errc{} ||
        second.ptr != begin + text->size() || w % 2 != 0 || h % 2 != 0 ||
        std::min(w, h) < TelemetryExportSettings::smallestSidePixels ||
        std::max(w, h) > TelemetryExportSettings::largestSidePixels) {
        throw bad();
    }
    return std::make_pair(w, h);
}

}  // namespace pacemark::cli
