// SPDX-License-Identifier: GPL-3.0-or-later
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
    if (layout != overlayLayout_ && !restoring_) recordStep(pendingMergeKey_);
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
    replaceLayout(preset, PacemarkLayout::preset(preset));
    keptLayout_ = overlayLayout_;
}

void LayoutEditorModel::replaceLayout(PacemarkPreset preset, const PacemarkLayout& layout) {
    beginEditGesture();
    recordStep();
    setSelectedPreset(preset);
    setOverlayLayout(layout);
    selectFirstWidget();
    endEditGesture();
}

// MARK: - Undo

void LayoutEditorModel::recordStep(const QString& mergeKey) {
    if (gestureDepth_ > 0) {
        if (gestureRecorded_) return;
        gestureRecorded_ = true;
    } else if (!mergeKey.isEmpty() && mergeKey == lastMergeKey_ && !undoSteps_.empty()) {
        return;
    }
    lastMergeKey_ = gestureDepth_ > 0 ? QString() : mergeKey;
    undoSteps_.push_back(currentState());
    if (undoSteps_.size() > maximumUndoSteps) undoSteps_.erase(undoSteps_.begin());
    redoSteps_.clear();
    emit undoStateChanged();
}

void LayoutEditorModel::restoreState(const EditState& state) {
    restoring_ = true;
    setSelectedPreset(state.preset);
    setOverlayLayout(state.layout);
    setSelectedWidgetID(state.selection);
    restoring_ = false;
    lastMergeKey_.clear();
    emit undoStateChanged();
}

void LayoutEditorModel::undo() {
    if (undoSteps_.empty() || gestureDepth_ > 0) return;
    redoSteps_.push_back(currentState());
    const EditState state = std::move(undoSteps_.back());
    undoSteps_.pop_back();
    restoreState(state);
}

void LayoutEditorModel::redo() {
    if (redoSteps_.empty() || gestureDepth_ > 0) return;
    undoSteps_.push_back(currentState());
    const EditState state = std::move(redoSteps_.back());
    redoSteps_.pop_back();
    restoreState(state);
}

void LayoutEditorModel::beginEditGesture() {
    if (gestureDepth_++ == 0) gestureRecorded_ = false;
}

void LayoutEditorModel::endEditGesture() {
    if (gestureDepth_ > 0) --gestureDepth_;
    // A later edit starts a step of its own, whatever its merge key.
    if (gestureDepth_ == 0 && gestureRecorded_) lastMergeKey_.clear();
}

void LayoutEditorModel::applyLayoutFile(const PacemarkLayoutFile& file) {
    replaceLayout(file.basePreset, file.layout);
    keptLayout_ = overlayLayout_;
}

void LayoutEditorModel::saveLayoutFile(const std::filesystem::path& path) {
    PacemarkLayoutFile{selectedPreset_, overlayLayout_}.write(path);
    keptLayout_ = overlayLayout_;
}

// MARK: - Presets and layout files

bool LayoutEditorModel::settleUnsavedChanges() {
    if (!hasUnsavedChanges() || !platform_) return true;
    switch (platform_->askAboutUnsavedLayout()) {
        case AppModelPlatform::UnsavedLayoutChoice::save:
            return saveLayout();
        case AppModelPlatform::UnsavedLayoutChoice::discard:
            return true;
        case AppModelPlatform::UnsavedLayoutChoice::cancel:
            return false;
    }
    return false;
}

bool LayoutEditorModel::choosePreset(PacemarkPreset preset) {
    if (preset == selectedPreset_) return false;
    if (!settleUnsavedChanges()) {
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
    if (!settleUnsavedChanges()) return false;
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
    // Typing a caption is one step, not one per key.
    pendingMergeKey_ = selectedWidgetID_ ? QStringLiteral("caption ") + qText(selectedWidgetID_->uuidString()) : QString();
    updateSelectedWidget([&caption](PacemarkWidget& widget) { widget.titleOverride = caption; });
    pendingMergeKey_.clear();
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
