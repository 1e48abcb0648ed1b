// SPDX-License-Identifier: GPL-3.0-or-later
#include "HEVCNalUnit.h"

#include "HEVCBitReader.h"

namespace pacemark {

HEVCNalUnit HEVCNalUnit::parse(std::span<const std::uint8_t> escaped) {
    if (escaped.size() < 2) throw HEVCBitstreamError("NAL-блок короче своего заголовка");
    if (escaped[0] & 0x80) throw HEVCBitstreamError("установлен запрещённый бит forbidden_zero_bit");
    HEVCNalUnit unit;
    unit.type = (escaped[0] >> 1) & 0x3F;
    unit.layerId = ((escaped[0] & 1) << 5) | (escaped[1] >> 3);
    unit.temporalIdPlus1 = escaped[1] & 7;
    if (unit.temporalIdPlus1 == 0) throw HEVCBitstreamError("поле nuh_temporal_id_plus1 равно нулю");
    unit.rbsp = hevcRemoveEmulationPrevention(escaped.subspan(2));
    return unit;
}

std::vector<std::uint8_t> HEVCNalUnit::serialize() const {
    std::vector<std::uint8_t> out;
    out.reserve(rbsp.size() + rbsp.size() / 64 + 3);
    out.push_back(static_cast<std::uint8_t>((type << 1) | ((layerId >> 5) & 1)));
    out.push_back(static_cast<std::uint8_t>(((layerId & 0x1F) << 3) | (temporalIdPlus1 & 7)));
    const auto escaped = hevcAddEmulationPrevention(rbsp);
    out.insert(out.end(), escaped.begin(), escaped.end());
    return out;
}

std::vector<std::uint8_t> hevcRemoveEmulationPrevention(std::span<const std::uint8_t> escaped) {
    std::vector<std::uint8_t> out;
    out.reserve(escaped.size());
    int zeros = 0;
    for (const std::uint8_t byte : escaped) {
        if (zeros >= 2 && byte == 3) {
            zeros = 0;
            continue;
        }
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    return out;
}

std::vector<std::uint8_t> hevcAddEmulationPrevention(std::span<const std::uint8_t> rbsp) {
    std::vector<std::uint8_t> out;
    out.reserve(rbsp.size() + rbsp.size() / 64 + 1);
    int zeros = 0;
    for (const std::uint8_t byte : rbsp) {
        if (zeros >= 2 && byte <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(byte);
        zeros = byte == 0 ? zeros + 1 : 0;
    }
    // A NAL unit must not end in a zero byte.
    if (!out.empty() && out.back() == 0) out.push_back(3);
    return out;
}

std::vector<std::span<const std::uint8_t>> hevcSplitAnnexB(std::span<const std::uint8_t> stream) {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i + 2 < stream.size();) {
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) {
            starts.push_back(i + 3);
            i += 3;
        } else {
            ++i;
        }
    }
    std::vector<std::span<const std::uint8_t>> units;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        std::size_t end = k + 1 < starts.size() ? starts[k + 1] - 3 : stream.size();
        while (end > starts[k] && stream[end - 1] == 0) --end;
        if (end > starts[k]) units.push_back(stream.subspan(starts[k], end - starts[k]));
    }
    return units;
}

}  // namespace pacemark
