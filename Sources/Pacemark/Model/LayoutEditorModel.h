// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "AppModelPlatform.h"
#include "Layout/PacemarkLayoutFile.h"
#include "Layout/PacemarkPreset.h"
#include "Layout/PacemarkWidget.h"

namespace pacemark {

class AppStatus;

// sRGB components of a picked colour, nominally 0...1 (wide-gamut pickers may
// give values outside).
struct SRGBColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    bool operator==(const SRGBColor&) const = default;
};

// The overlay being edited: the layout, the preset it came from, the selected
// widget, and every edit the editor's controls and mouse make. Each edit is
// made on a copy and published once, with the touched frames clamped, so
// observers never see a half-made change. Layout files are opened and saved
// here too, through the platform's dialogs, with failures reported to the
// status. Main thread only.
class LayoutEditorModel : public QObject {
    Q_OBJECT

public:
    // Defaults of a new widget, also shown by the colour controls when there
    // is nothing to show. The accent is the application's brand green.
    static constexpr std::uint32_t defaultAccentHex = 0x35D05B;
    static constexpr std::uint32_t defaultLabelColorHex = 0xA8A8A8;
    static constexpr std::uint32_t defaultValueColorHex = 0xFFFFFF;
    // Longest caption the caption field stores, in user-perceived characters.
    static constexpr int maxCaptionCharacters = static_cast<int>(PacemarkWidget::maxCaptionCharacters);

    // Starts with the first preset's layout and its first widget selected.
    // `platform` may be null: no dialogs, and no question before replacing.
    LayoutEditorModel(AppModelPlatform* platform, AppStatus& status, QObject* parent = nullptr);

    PacemarkPreset selectedPreset() const { return selectedPreset_; }
    const PacemarkLayout& overlayLayout() const { return overlayLayout_; }
    std::optional<UUID> selectedWidgetID() const { return selectedWidgetID_; }
    std::optional<PacemarkWidget> selectedWidget() const;

    // Only records the picker's choice; applyPreset() replaces the layout.
    void setSelectedPreset(PacemarkPreset preset);
    void setOverlayLayout(const PacemarkLayout& layout);
    void setSelectedWidgetID(std::optional<UUID> id);

    // Replaces the layout by the preset's, selects its first widget and
    // counts the result as kept (no unsaved changes).
    void applyPreset(PacemarkPreset preset);
    // Whether the layout differs from the last one applied as a preset,
    // written to a file or read from one.
    bool hasUnsavedChanges() const { return overlayLayout_ != keptLayout_; }
    // Makes a layout file's base preset and layout the current ones, first
    // widget selected, counted as kept.
    void applyLayoutFile(const PacemarkLayoutFile& file);
    // Writes the preset and layout to `path` (atomically replaced). Fails
    // with PacemarkLayoutFileError; the unsaved state is unchanged then.
    void saveLayoutFile(const std::filesystem::path& path);

    // Before something replaces a layout with unsaved changes (another
    // preset, layout file or ride, or closing the window): asks the platform
    // and saves when told to. True when the caller may go on: nothing was
    // unsaved, the user chose "Не сохранять", or the layout was saved.
    bool settleUnsavedChanges();

    // The preset picker's choice. The preset already selected changes
    // nothing; replacing a layout with unsaved changes asks the platform
    // first (settleUnsavedChanges). True when the preset was applied.
    bool choosePreset(PacemarkPreset preset);
    // "Сохранить макет…": asks for a file and writes the layout; a failure
    // becomes the alert. True when the layout was written.
    bool saveLayout();
    // "Открыть макет…": asks for a file and opens it with openLayoutFile().
    void openLayout();
    // Opens a layout file (also when dropped): a file that cannot be read
    // becomes the alert and changes nothing; a readable one asks before it
    // replaces unsaved changes. True when the layout was replaced.
    bool openLayoutFile(const std::filesystem::path& file);

    void addWidget(TelemetryWidgetKind kind);
    void removeSelectedWidget();
    void updateSelectedWidget(const std::function<void(PacemarkWidget&)>& change);
    void updateAllWidgets(const std::function<void(PacemarkWidget&)>& change);

    // Stores the first 24 characters of the typed text, untrimmed.
    void setSelectedWidgetCaption(const QString& text);
    QString selectedWidgetCaption() const;
    // The selected widget's colours, or the defaults without a selection.
    std::uint32_t selectedWidgetAccentHex() const;
    std::uint32_t selectedWidgetLabelColorHex() const;
    std::uint32_t selectedWidgetValueColorHex() const;
    // The colours of all widgets as the first one has them, or the defaults.
    std::uint32_t allWidgetsAccentHex() const;
    std::uint32_t allWidgetsLabelColorHex() const;
    std::uint32_t allWidgetsValueColorHex() const;

    // What the window's editing controls call. Every change re-clamps the
    // touched frames.
    void setSelectedWidgetKind(TelemetryWidgetKind kind);
    void setSelectedWidgetPanelStyle(TelemetryWidgetPanelStyle style);
    void setSelectedWidgetAccentHex(std::uint32_t hex);
    void setSelectedWidgetLabelColorHex(std::uint32_t hex);
    void setSelectedWidgetValueColorHex(std::uint32_t hex);
    void setSelectedWidgetFrameX(double x);
    void setSelectedWidgetFrameY(double y);
    void setSelectedWidgetFrameWidth(double width);
    void setSelectedWidgetFrameHeight(double height);
    void setAllWidgetsAccentHex(std::uint32_t hex);
    void setAllWidgetsLabelColorHex(std::uint32_t hex);
    void setAllWidgetsValueColorHex(std::uint32_t hex);

    // Undo and redo of layout edits. Every change of the layout (move,
    // resize, add, remove, kind, style, colour, caption, preset, opened
    // file) is one step that restores the preset, the layout and the
    // selection; consecutive caption edits of one widget merge into one
    // step. Between beginEditGesture() and endEditGesture() (a mouse drag, a
    // slider drag) all changes are one step. A new edit drops the redo steps.
    bool canUndo() const { return !undoSteps_.empty(); }
    bool canRedo() const { return !redoSteps_.empty(); }
    void undo();
    void redo();
    void beginEditGesture();
    void endEditGesture();

    // Colour transport between the pickers and the model. A colour the picker
    // could not express in sRGB (none) takes the fallback 0.21, 0.82, 0.36.
    static std::uint32_t hexFromPickedColor(std::optional<SRGBColor> color);
    static SRGBColor colorFromHex(std::uint32_t hex);

signals:
    void selectedPresetChanged();
    void overlayLayoutChanged();
    void selectedWidgetIDChanged();
    // canUndo() or canRedo() may have changed.
    void undoStateChanged();

private:
    void selectFirstWidget();

    struct EditState {
        PacemarkPreset preset;
        PacemarkLayout layout;
        std::optional<UUID> selection;
    };
    EditState currentState() const { return {selectedPreset_, overlayLayout_, selectedWidgetID_}; }
    // Remembers the state before a change as an undo step (once per gesture,
    // once per run of edits with the same non-empty merge key).
    void recordStep(const QString& mergeKey = {});
    void restoreState(const EditState& state);
    // A preset or a layout file replacing the layout, as one step.
    void replaceLayout(PacemarkPreset preset, const PacemarkLayout& layout);

    AppModelPlatform* platform_;
    AppStatus& status_;

    PacemarkPreset selectedPreset_ = PacemarkPreset::compactRace;
    PacemarkLayout overlayLayout_;
    std::optional<UUID> selectedWidgetID_;
    // The last layout applied, read or written; see hasUnsavedChanges().
    PacemarkLayout keptLayout_;

    static constexpr std::size_t maximumUndoSteps = 200;
    std::vector<EditState> undoSteps_;
    std::vector<EditState> redoSteps_;
    int gestureDepth_ = 0;
    bool gestureRecorded_ = false;
    bool restoring_ = false;
    QString lastMergeKey_;
    QString pendingMergeKey_;  // the merge key of the edit being made
};

}  // namespace pacemark
