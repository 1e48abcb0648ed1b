// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pacemark {

// A 128-bit identifier. Written small rather than taken from a library: the
// system only needs random version-4 values, equality, ordering for maps and
// the canonical upper-case text.
class UUID {
public:
    UUID() = default;  // the nil UUID
    explicit UUID(const std::array<std::uint8_t, 16>& bytes) : bytes_(bytes) {}

    // A new random version-4 UUID.
    static UUID random();
    // Parses the 36-character text form (either letter case).
    static std::optional<UUID> fromString(std::string_view text);

    // "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
    std::string uuidString() const;
    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }

    auto operator<=>(const UUID&) const = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace pacemark

template <>
struct std::hash<pacemark::UUID> {
    std::size_t operator()(const pacemark::UUID& id) const noexcept {
        std::size_t h = 1469598103934665603ull;
        for (auto b : id.bytes()) h = (h ^ b) * 1099511628211ull;
        return h;
    }
};
