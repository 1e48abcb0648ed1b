// SPDX-License-Identifier: GPL-3.0-or-later
#include "PacemarkWidget.h"

#include "TextCharacters.h"
#include "TextTrimming.h"

namespace pacemark {

PacemarkWidget::PacemarkWidget(UUID id_, TelemetryWidgetKind kind_, std::optional<TelemetryWidgetFrame> frame_,
                               std::string titleOverride_, std::uint32_t accentHex_, std::uint32_t labelColorHex_,
                               std::uint32_t valueColorHex_, TelemetryWidgetPanelStyle panelStyle_, bool isVisible_)
    : id(id_),
      kind(kind_),
      frame(frame_.value_or(kind_.defaultFrame()).clamped()),
      titleOverride(std::move(titleOverride_)),
      accentHex(accentHex_),
      labelColorHex(labelColorHex_),
      valueColorHex(valueColorHex_),
      panelStyle(panelStyle_),
      isVisible(isVisible_) {}

std::string PacemarkWidget::displayTitle() const {
    const std::string_view trimmed = trimmedWhitespace(titleOverride);
    if (trimmed.empty()) return std::string(kind.shortTitle());
    return std::string(trimmed);
}

std::string PacemarkWidget::limitedCaption(std::string_view text) {
    return std::string(leadingCharacters(text, maxCaptionCharacters));
}

}  // namespace pacemark
