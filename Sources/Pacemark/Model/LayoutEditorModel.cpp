#include "LayoutEditorModel.h"

#include "PublishedValue.h"


#include <algorithm>

#include "Layout/PacemarkLayoutFile.h"
#include "QtText.h"

namespace pacemark {

LayoutEditorModel::LayoutEditorModel(QObject* parent)
    : QObject(parent), overlayLayout_(PacemarkLayout::preset(selectedPreset_)) {
    // The selection is set last, once the layout exists.
    selectFirstWidget();
    keptLayout_ = overlayLayout_;
}

void LayoutEditorModel::setSelectedPreset(PacemarkPreset preset) {
    publish(this, selectedPreset_, preset, &LayoutEditorModel::selectedPresetChanged);
}

void LayoutEditorModel::setOverlayLayout(const PacemarkLayout& layout) {
    publish(this, overlayLayout_, layout, &LayoutEditorModel::overlayLayoutChanged);
}

void LayoutEditorModel::setSelectedWidgetID(std::optional<UUID> id) {
    publish(this, selectedWidgetID_, id, &LayoutEditorModel::selectedWidgetIDChanged);
}

void LayoutEditorModel::selectFirstWidget() {
    setSelectedWidgetID(overlayLayout_.widgets.empty() ? std::nullopt
                                                       : std::optional<UUID>(overlayLayout_.widgets.front().id));
}

std::optional<PacemarkWidget> LayoutEditorModel::selectedWidget() const {
    if (!selectedWidgetID_) return std::nullopt;
    for (const auto& widget : overlayLayout_.widgets) {
        if (widget.id == *selectedWidgetID_) return widget;
    }
    return std::nullopt;
}

void LayoutEditorModel::applyPreset(PacemarkPreset preset) {
    setSelectedPreset(preset);
    setOverlayLayout(PacemarkLayout::preset(preset));
    selectFirstWidget();
    keptLayout_ = overlayLayout_;
}

void LayoutEditorModel::openLayoutFile(const std::filesystem::path& path) {
    // Read whole before anything is published.
    applyLayoutFile(PacemarkLayoutFile::read(path));
}

void LayoutEditorModel::applyLayoutFile(const PacemarkLayoutFile& file) {
    setSelectedPreset(file.basePreset);
    setOverlayLayout(file.layout);
    selectFirstWidget();
    keptLayout_ = overlayLayout_;
}

void LayoutEditorModel::saveLayoutFile(const std::filesystem::path& path) {
    PacemarkLayoutFile{selectedPreset_, overlayLayout_}.write(path);
    keptLayout_ = overlayLayout_;
}

void LayoutEditorModel::addWidget(TelemetryWidgetKind kind) {
    PacemarkWidget widget(UUID::random(), kind, std::nullopt, "", defaultAccentHex, defaultLabelColorHex,
                          defaultValueColorHex, TelemetryWidgetPanelStyle::glass, true);
    const UUID id = widget.id;
    PacemarkLayout layout = overlayLayout_;
    layout.widgets.push_back(std::move(widget));  // last, so drawn above the others
    setOverlayLayout(layout);
    setSelectedWidgetID(id);
}

void LayoutEditorModel::removeSelectedWidget() {
    if (!selectedWidgetID_) return;
    const UUID id = *selectedWidgetID_;
    PacemarkLayout layout = overlayLayout_;
    std::erase_if(layout.widgets, [&](const PacemarkWidget& widget) { return widget.id == id; });
    setOverlayLayout(layout);
    // The selection moves to the first widget, also when none had the id.
    selectFirstWidget();
}

void LayoutEditorModel::updateSelectedWidget(const std::function<void(PacemarkWidget&)>& change) {
    if (!selectedWidgetID_) return;
    PacemarkLayout layout = overlayLayout_;
    auto it = std::find_if(layout.widgets.begin(), layout.widgets.end(),
                           [&](const PacemarkWidget& widget) { return widget.id == *selectedWidgetID_; });
    if (it == layout.widgets.end()) return;
    // A throwing change leaves the layout untouched.
    change(*it);
    it->frame = it->frame.clamped();
    setOverlayLayout(layout);
}

void LayoutEditorModel::updateAllWidgets(const std::function<void(PacemarkWidget&)>& change) {
    PacemarkLayout layout = overlayLayout_;
    for (auto& widget : layout.widgets) {
        change(widget);
        widget.frame = widget.frame.clamped();
    }
    setOverlayLayout(layout);
}

void LayoutEditorModel::setSelectedWidgetCaption(const QString& text) {
    const std::string caption = PacemarkWidget::limitedCaption(text.toStdString());
    updateSelectedWidget([&caption](PacemarkWidget& widget) { widget.titleOverride = caption; });
}

QString LayoutEditorModel::selectedWidgetCaption() const {
    const auto widget = selectedWidget();
    return widget ? qText(widget->titleOverride) : QString();
}

std::uint32_t LayoutEditorModel::selectedWidgetAccentHex() const {
    const auto widget = selectedWidget();
    return widget ? widget->accentHex : defaultAccentHex;
}
std::uint32_t LayoutEditorModel::selectedWidgetLabelColorHex() const {
    const auto widget = selectedWidget();
    return widget ? widget->labelColorHex : defaultLabelColorHex;
}
std::uint32_t LayoutEditorModel::selectedWidgetValueColorHex() const {
    const auto widget = selectedWidget();
    return widget ? widget->valueColorHex : defaultValueColorHex;
}
std::uint32_t LayoutEditorModel::allWidgetsAccentHex() const {
    return overlayLayout_.widgets.empty() ? defaultAccentHex : overlayLayout_.widgets.front().accentHex;
}
std::uint32_t LayoutEditorModel::allWidgetsLabelColorHex() const {
    return overlayLayout_.widgets.empty() ? defaultLabelColorHex : overlayLayout_.widgets.front().labelColorHex;
}
std::uint32_t LayoutEditorModel::allWidgetsValueColorHex() const {
    return overlayLayout_.widgets.empty() ? defaultValueColorHex : overlayLayout_.widgets.front().valueColorHex;
}

}  // namespace pacemark
