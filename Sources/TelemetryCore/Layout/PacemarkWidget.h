#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PacemarkPreset.h"
#include "TelemetryWidgetFrame.h"
#include "TelemetryWidgetKind.h"
#include "UUID.h"

namespace pacemark {

// One placed widget. Its frame is always kept clamped.
struct PacemarkWidget {
    UUID id;
    TelemetryWidgetKind kind;
    TelemetryWidgetFrame frame;
    std::string titleOverride;
    std::uint32_t accentHex;
    std::uint32_t labelColorHex;
    std::uint32_t valueColorHex;
    TelemetryWidgetPanelStyle panelStyle;
    bool isVisible;

    // An absent frame means the kind's default frame; the stored frame is clamped.
    PacemarkWidget(UUID id, TelemetryWidgetKind kind, std::optional<TelemetryWidgetFrame> frame,
                   std::string titleOverride, std::uint32_t accentHex, std::uint32_t labelColorHex,
                   std::uint32_t valueColorHex, TelemetryWidgetPanelStyle panelStyle, bool isVisible);

    // The caption: the trimmed override, or the kind's short title when that is empty.
    std::string displayTitle() const;

    // A caption keeps at most this many user-perceived characters.
    static constexpr std::size_t maxCaptionCharacters = 24;
    // `text` cut to maxCaptionCharacters, otherwise as given (white space
    // kept): the one rule for captions typed in the editor and read from files.
    static std::string limitedCaption(std::string_view text);

    bool operator==(const PacemarkWidget&) const = default;
};

// The whole overlay: widgets in drawing order (later ones over earlier ones).
struct PacemarkLayout {
    std::vector<PacemarkWidget> widgets;

    // A fresh layout of the preset, with new widget identities on every call.
    static PacemarkLayout preset(PacemarkPreset preset) { return preset.layout(); }

    bool operator==(const PacemarkLayout&) const = default;
};

}  // namespace pacemark
