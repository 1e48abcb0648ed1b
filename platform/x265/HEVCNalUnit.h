// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pacemark {

// NAL unit types the layering code acts on.
namespace HEVCNalType {
inline constexpr int trailN = 0;
inline constexpr int rsvVclR15 = 15;  // last of the non-IRAP VCL types
inline constexpr int blaWLp = 16;
inline constexpr int idrWRadl = 19;
inline constexpr int idrNLp = 20;
inline constexpr int craNut = 21;
inline constexpr int rsvIrapVcl23 = 23;
inline constexpr int vps = 32;
inline constexpr int sps = 33;
inline constexpr int pps = 34;
inline constexpr int accessUnitDelimiter = 35;
inline constexpr int prefixSei = 39;
inline constexpr int suffixSei = 40;

inline bool isVcl(int type) { return type >= 0 && type < 32; }
inline bool isIrap(int type) { return type >= blaWLp && type <= rsvIrapVcl23; }
inline bool isIdr(int type) { return type == idrWRadl || type == idrNLp; }
}  // namespace HEVCNalType

// One NAL unit: the two-byte header split into fields, and the RBSP
// (payload with emulation prevention removed).
struct HEVCNalUnit {
    int type = 0;
    int layerId = 0;
    int temporalIdPlus1 = 1;
    std::vector<std::uint8_t> rbsp;

    // Parses a NAL unit as it appears between start codes or inside a
    // length-prefixed sample (header + escaped payload).
    static HEVCNalUnit parse(std::span<const std::uint8_t> escaped);
    // Header + payload with emulation prevention bytes inserted.
    std::vector<std::uint8_t> serialize() const;
};

// Removes emulation_prevention_three_byte (0x03 after two zero bytes).
std::vector<std::uint8_t> hevcRemoveEmulationPrevention(std::span<const std::uint8_t> escaped);
// Inserts 0x03 wherever two zero bytes are followed by a byte <= 3, and
// after a final pair of zero bytes, so that no start code can appear.
std::vector<std::uint8_t> hevcAddEmulationPrevention(std::span<const std::uint8_t> rbsp);
// Splits an Annex B byte stream at its start codes; trailing zero bytes of
// each unit (zero_byte of the next start code) are dropped.
std::vector<std::span<const std::uint8_t>> hevcSplitAnnexB(std::span<const std::uint8_t> stream);

}  // namespace pacemark
