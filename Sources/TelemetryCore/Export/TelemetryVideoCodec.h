#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace pacemark {

// Output codec; the raw value is the title shown to the user.
class TelemetryVideoCodec {
public:
    enum Value : std::uint8_t { hevcWithAlpha, proRes4444 };

    constexpr TelemetryVideoCodec(Value value) : value_(value) {}
    constexpr operator Value() const { return value_; }

    static const std::array<TelemetryVideoCodec, 2>& allCases();
    // Accepts exactly the two titles.
    static std::optional<TelemetryVideoCodec> fromRawValue(std::string_view raw);

    std::string_view rawValue() const;

private:
    Value value_;
};

}  // namespace pacemark
