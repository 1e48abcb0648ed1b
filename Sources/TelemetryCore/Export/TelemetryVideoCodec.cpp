#include "TelemetryVideoCodec.h"

namespace pacemark {

const std::array<TelemetryVideoCodec, 2>& TelemetryVideoCodec::allCases() {
    static const std::array<TelemetryVideoCodec, 2> cases = {hevcWithAlpha, proRes4444};
    return cases;
}

std::optional<TelemetryVideoCodec> TelemetryVideoCodec::fromRawValue(std::string_view raw) {
    for (auto codec : allCases()) {
        if (codec.rawValue() == raw) return codec;
    }
    return std::nullopt;
}

std::string_view TelemetryVideoCodec::rawValue() const {
    return value_ == hevcWithAlpha ? "HEVC с альфой (маленький)" : "ProRes 4444 с альфой (Premiere)";
}

}  // namespace pacemark
