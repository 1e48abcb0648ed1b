// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pacemark {

struct PacemarkLayout;

// A ready-made overlay. The raw value is the Russian name shown in the picker.
class PacemarkPreset {
public:
    enum Value : std::uint8_t {
        compactRace,
        marentoClean,
        raceBroadcast,
        cinematicHud,
        socialStickers,
        routeStory,
        classicGauges,
        separateMetrics,
        minimal,
    };

    constexpr PacemarkPreset(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static const std::array<PacemarkPreset, 9>& allCases();
    // Accepts exactly the nine display names, byte for byte.
    static std::optional<PacemarkPreset> fromRawValue(std::string_view raw);
    // Also accepts the case name ("compactRace"), for the command line.
    static std::optional<PacemarkPreset> fromRawValueOrCaseName(std::string_view text);

    std::string_view rawValue() const;
    std::string_view id() const { return rawValue(); }
    std::string_view caseName() const;

    // A fresh layout of this preset, with new widget identities on every call.
    PacemarkLayout layout() const;

private:
    Value value_;
};

}  // namespace pacemark
