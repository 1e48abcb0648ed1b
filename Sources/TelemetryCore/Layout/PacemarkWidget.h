#pragma once

#include <cstdint>
#include <optional>
#include <string>
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
