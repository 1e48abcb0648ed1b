// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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

// The shape of the picture a layout was arranged on: its widgets' normalized
// frames span a rectangle of this width-to-height ratio. Every preset is
// 16:9; a layout shown on a picture of another shape is fitted, not stretched
// (LayoutCanvas). Both terms are at least 1 (see PacemarkLayoutFile).
struct PacemarkLayoutAspect {
    std::int64_t width = 16;
    std::int64_t height = 9;

    bool operator==(const PacemarkLayoutAspect&) const = default;
};

// The whole overlay: widgets in drawing order (later ones over earlier ones).
struct PacemarkLayout {
    std::vector<PacemarkWidget> widgets;
    PacemarkLayoutAspect aspect;

    PacemarkLayout() = default;
    PacemarkLayout(std::vector<PacemarkWidget> widgets_, PacemarkLayoutAspect aspect_ = {})
        : widgets(std::move(widgets_)), aspect(aspect_) {}

    // A fresh layout of the preset, with new widget identities on every call.
    static PacemarkLayout preset(PacemarkPreset preset) { return preset.layout(); }

    bool operator==(const PacemarkLayout&) const = default;
};

}  // namespace pacemark
