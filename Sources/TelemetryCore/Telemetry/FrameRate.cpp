// SPDX-License-Identifier: GPL-3.0-or-later
#include "Telemetry/FrameRate.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace pacemark {
namespace {

// Frame numbers times a denominator, exact for any 64-bit frame number and term.
using Wide = __int128;

// The decimals that name the NTSC rates, which are whole rates × 1000/1001.
struct NTSCDecimal {
    std::string_view text;
    std::int64_t wholeRate;
};
constexpr std::array<NTSCDecimal, 3> ntscDecimals = {{{"23.976", 24}, {"29.97", 30}, {"59.94", 60}}};

std::optional<std::int64_t> readTerm(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    // Digits past 64 bits are a term too large, not a typing error.
    if (error == std::errc::result_out_of_range) return std::numeric_limits<std::int64_t>::max();
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

enum class ParseFailure { none, notARate, zero, termTooLarge };

ParseFailure parseInto(std::string_view text, FrameRate& rate) {
    text = trimmed(text);
    std::int64_t numerator = 0, denominator = 1;
    if (const auto slash = text.find('/'); slash != std::string_view::npos) {
        const auto top = readTerm(trimmed(text.substr(0, slash)));
        const auto bottom = readTerm(trimmed(text.substr(slash + 1)));
        if (!top || !bottom) return ParseFailure::notARate;
        numerator = *top;
        denominator = *bottom;
    } else if (const auto point = text.find_first_of(".,"); point != std::string_view::npos) {
        std::string normalised(text);
        normalised[point] = '.';
        for (const auto& ntsc : ntscDecimals) {
            if (normalised == ntsc.text) {
                rate = FrameRate(ntsc.wholeRate * 1000, 1001);
                return ParseFailure::none;
            }
        }
        const std::string_view whole = text.substr(0, point);
        std::string_view fraction = text.substr(point + 1);
        const bool digitsOnly = fraction.find_first_not_of("0123456789") == std::string_view::npos;
        if ((whole.empty() && fraction.empty()) || !digitsOnly) return ParseFailure::notARate;
        const auto wholePart = whole.empty() ? std::optional<std::int64_t>(0) : readTerm(whole);
        if (!wholePart) return ParseFailure::notARate;
        // "25.000" is 25/1 however many zeros it carries.
        while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
        if (fraction.size() > 6 || *wholePart > FrameRate::largestParsedTerm) return ParseFailure::termTooLarge;
        for (std::size_t i = 0; i < fraction.size(); ++i) denominator *= 10;
        const std::int64_t fractionPart = fraction.empty() ? 0 : *readTerm(fraction);
        numerator = *wholePart * denominator + fractionPart;
    } else {
        const auto whole = readTerm(text);
        if (!whole) return ParseFailure::notARate;
        numerator = *whole;
    }
    if (numerator == 0 || denominator == 0) return ParseFailure::zero;
    // Reduced first: "60000/1000" is 60, within the bound.
    const FrameRate reduced(numerator, denominator);
    if (reduced.numerator() > FrameRate::largestParsedTerm || reduced.denominator() > FrameRate::largestParsedTerm) {
        return ParseFailure::termTooLarge;
    }
    rate = reduced;
    return ParseFailure::none;
}

}  // namespace

double FrameRate::framesPerSecond() const {
    return isKnown() ? static_cast<double>(numerator_) / static_cast<double>(denominator_) : 0.0;
}

double FrameRate::seconds(std::int64_t frameIndex) const {
    if (!isKnown()) return 0.0;
    // One product in integers, one division.
    return static_cast<double>(Wide(frameIndex) * denominator_) / static_cast<double>(numerator_);
}

std::int64_t FrameRate::framesCovering(double seconds) const {
    if (!isKnown() || !(seconds > 0)) return 0;
    const double frames = seconds * static_cast<double>(numerator_) / static_cast<double>(denominator_);
    const double nearest = std::round(frames);
    const double covering = std::abs(frames - nearest) < 1e-6 ? nearest : std::ceil(frames);
    return static_cast<std::int64_t>(std::min(covering, 0x1p62));
}

std::int64_t FrameRate::secondOfFrame(std::int64_t frameIndex) const {
    if (!isKnown()) return 0;
    const Wide product = Wide(frameIndex) * denominator_;
    Wide second = product / numerator_;
    if (product % numerator_ != 0 && product < 0) second -= 1;  // floor for frames before 0
    return static_cast<std::int64_t>(second);
}

bool FrameRate::startsSecond(std::int64_t frameIndex) const {
    return frameIndex == 0 || secondOfFrame(frameIndex) != secondOfFrame(frameIndex - 1);
}

std::string FrameRate::text() const { return std::to_string(numerator_) + "/" + std::to_string(denominator_); }

std::string FrameRate::title() const {
    if (denominator_ == 1 || !isKnown()) return std::to_string(numerator_);
    char digits[48];
    std::snprintf(digits, sizeof digits, "%.3f", framesPerSecond());
    std::string result = digits;
    while (result.back() == '0') result.pop_back();
    if (result.back() == '.') result.pop_back();
    for (char& c : result) {
        if (c == '.') c = ',';
    }
    return result;
}

std::optional<FrameRate> FrameRate::parse(std::string_view text) {
    FrameRate rate;
    if (parseInto(text, rate) != ParseFailure::none) return std::nullopt;
    return rate;
}

std::optional<std::string> FrameRate::parseError(std::string_view text) {
    FrameRate rate;
    const std::string quoted = "«" + std::string(text) + "»";
    switch (parseInto(text, rate)) {
        case ParseFailure::none:
            return std::nullopt;
        case ParseFailure::notARate:
            return "Частота кадров " + quoted +
                   " не понята: укажите число (30, 29.97) или дробь (30000/1001).";
        case ParseFailure::zero:
            return "Частота кадров " + quoted + " не подходит: она должна быть больше нуля.";
        case ParseFailure::termTooLarge:
            return "Частота кадров " + quoted + " не подходит: числитель и знаменатель дроби должны быть не больше " +
                   std::to_string(largestParsedTerm) + ".";
    }
    return std::nullopt;
}

}  // namespace pacemark
