#include "LayoutEditorModel.h"

#include <algorithm>
#include <cmath>

#include "AppStatus.h"
#include "Layout/PacemarkLayoutFile.h"
#include "PacemarkError.h"
#include "PublishedValue.h"
#include "QtText.h"

namespace pacemark {

LayoutEditorModel::LayoutEditorModel(AppModelPlatform* platform, AppStatus& status, QObject* parent)
    : QObject(parent), platform_(platform), status_(status), overlayLayout_(PacemarkLayout::preset(selectedPreset_)) {
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

// MARK: - Presets and layout files

bool LayoutEditorModel::choosePreset(PacemarkPreset preset) {
    if (preset == selectedPreset_) return false;
    if (hasUnsavedChanges() && platform_ && !platform_->confirmReplacingLayout()) {
        // The picker shows the choice; tell it the selection stayed.
        emit selectedPresetChanged();
        return false;
    }
    applyPreset(preset);
    return true;
}

bool LayoutEditorModel::saveLayout() {
    if (!platform_) return false;
    AppModelPlatform::SaveDialogRequest request;
    request.title = "Сохранить макет";
    request.suggestedName =
        std::string(selectedPreset_.rawValue()) + "." + std::string(PacemarkLayoutFile::fileExtension);
    request.fileExtension = PacemarkLayoutFile::fileExtension;
    request.filterName = "Макет Pacemark";
    const auto file = platform_->chooseSaveFile(request);
    if (!file) return false;
    try {
        saveLayoutFile(*file);
    } catch (const PacemarkError& error) {
        status_.setErrorMessage(qText(error.errorDescription()));
        return false;
    }
    status_.setStatusText(QStringLiteral("Макет сохранён: ") + qText(file->filename().string()));
    return true;
}

void LayoutEditorModel::openLayout() {
    if (!platform_) return;
    const auto file = platform_->chooseOpenFile(
        {"Открыть макет", std::string(PacemarkLayoutFile::fileExtension), "Макет Pacemark"});
    if (file) openLayoutFile(*file);
}

bool LayoutEditorModel::openLayoutFile(const std::filesystem::path& file) {
    // Read whole first: a file that cannot be used asks nothing.
    PacemarkLayoutFile layoutFile;
    try {
        layoutFile = PacemarkLayoutFile::read(file);
    } catch (const PacemarkError& error) {
        status_.setErrorMessage(qText(error.errorDescription()));
        return false;
    }
    if (hasUnsavedChanges() && platform_ && !platform_->confirmReplacingLayout()) return false;
    applyLayoutFile(layoutFile);
    status_.setStatusText(QStringLiteral("Макет открыт: ") + qText(file.filename().string()));
    return true;
}

// MARK: - Widget edits

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


void LayoutEditorModel::setSelectedWidgetKind(TelemetryWidgetKind kind) {
    updateSelectedWidget([kind](PacemarkWidget& widget) { widget.kind = kind; });
}
void LayoutEditorModel::setSelectedWidgetPanelStyle(TelemetryWidgetPanelStyle style) {
    updateSelectedWidget([style](PacemarkWidget& widget) { widget.panelStyle = style; });
}
void LayoutEditorModel::setSelectedWidgetAccentHex(std::uint32_t hex) {
    updateSelectedWidget([hex](PacemarkWidget& widget) { widget.accentHex = hex; });
}
void LayoutEditorModel::setSelectedWidgetLabelColorHex(std::uint32_t hex) {
    updateSelectedWidget([hex](PacemarkWidget& widget) { widget.labelColorHex = hex; });
}
void LayoutEditorModel::setSelectedWidgetValueColorHex(std::uint32_t hex) {
    updateSelectedWidget([hex](PacemarkWidget& widget) { widget.valueColorHex = hex; });
}
void LayoutEditorModel::setSelectedWidgetFrameX(double x) {
    updateSelectedWidget([x](PacemarkWidget& widget) { widget.frame.x = x; });
}
void LayoutEditorModel::setSelectedWidgetFrameY(double y) {
    updateSelectedWidget([y](PacemarkWidget& widget) { widget.frame.y = y; });
}
void LayoutEditorModel::setSelectedWidgetFrameWidth(double width) {
    updateSelectedWidget([width](PacemarkWidget& widget) { widget.frame.width = width; });
}
void LayoutEditorModel::setSelectedWidgetFrameHeight(double height) {
    updateSelectedWidget([height](PacemarkWidget& widget) { widget.frame.height = height; });
}
void LayoutEditorModel::setAllWidgetsAccentHex(std::uint32_t hex) {
    updateAllWidgets([hex](PacemarkWidget& widget) { widget.accentHex = hex; });
}
void LayoutEditorModel::setAllWidgetsLabelColorHex(std::uint32_t hex) {
    updateAllWidgets([hex](PacemarkWidget& widget) { widget.labelColorHex = hex; });
}
void LayoutEditorModel::setAllWidgetsValueColorHex(std::uint32_t hex) {
    updateAllWidgets([hex](PacemarkWidget& widget) { widget.valueColorHex = hex; });
}

// MARK: - Colours

std::uint32_t LayoutEditorModel::hexFromPickedColor(std::optional<SRGBColor> color) {
    const SRGBColor srgb = color.value_or(SRGBColor{0.21, 0.82, 0.36});
    const auto byte = [](double component) -> std::uint32_t {
        // Above 1 counts as 1; negative and NaN count as 0.
        const double limited = component > 0 ? std::min(component, 1.0) : 0.0;
        return static_cast<std::uint32_t>(std::round(limited * 255.0));  // halves away from zero
    };
    return byte(srgb.red) * 65536 + byte(srgb.green) * 256 + byte(srgb.blue);
}

SRGBColor LayoutEditorModel::colorFromHex(std::uint32_t hex) {
    return {static_cast<double>((hex >> 16) & 0xFF) / 255.0, static_cast<double>((hex >> 8) & 0xFF) / 255.0,
            static_cast<double>(hex & 0xFF) / 255.0};
}

}  // namespace pacemark
