#include "PacemarkWidget.h"

#include <cstring>

namespace pacemark {
namespace {

// Length of a white-space or line-break character starting at `p`, or 0.
std::size_t whitespaceLengthAt(std::string_view text, std::size_t p) {
    const auto byte = static_cast<unsigned char>(text[p]);
    if (byte == ' ' || (byte >= 0x09 && byte <= 0x0D)) return 1;
    // U+0085, U+00A0
    static constexpr const char* sequences[] = {
        "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
        "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
        "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
        "\xE3\x80\x80"};
    for (const char* sequence : sequences) {
        const std::size_t length = std::strlen(sequence);
        if (text.substr(p, length) == sequence) return length;
    }
    return 0;
}

}  // namespace

std::string trimmedWhitespace(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t length = whitespaceLengthAt(text, begin);
        if (length == 0) break;
        begin += length;
    }
    std::size_t end = text.size();
    while (end > begin) {
        // Step back over one UTF-8 character.
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        const std::size_t length = whitespaceLengthAt(text, start);
        if (length == 0 || start + length != end) break;
        end = start;
    }
    return std::string(text.substr(begin, end - begin));
}

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
    std::string trimmed = trimmedWhitespace(titleOverride);
    if (trimmed.empty()) return std::string(kind.shortTitle());
    return trimmed;
}

}  // namespace pacemark
