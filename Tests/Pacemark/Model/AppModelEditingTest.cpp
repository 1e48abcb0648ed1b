// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "AppModelTestSupport.h"

namespace pacemark {
namespace {

UUID idAt(const AppModel& model, std::size_t index) { return model.layoutEditor().overlayLayout().widgets.at(index).id; }

// Removing a widget selects the first one left; an empty layout selects
// nothing, and removing from it is harmless.
TEST(AppModelEditingTest, SelectionFallsBackToTheFirstWidget) {
    AppModel model{AppModelServices{}};
    model.layoutEditor().applyPreset(PacemarkPreset::minimal);
    model.layoutEditor().setSelectedWidgetID(idAt(model, 1));
    model.layoutEditor().removeSelectedWidget();
    EXPECT_EQ(model.layoutEditor().selectedWidgetID(), idAt(model, 0));
    while (!model.layoutEditor().overlayLayout().widgets.empty()) model.layoutEditor().removeSelectedWidget();
    EXPECT_FALSE(model.layoutEditor().selectedWidgetID().has_value());
    model.layoutEditor().removeSelectedWidget();
}

TEST(AppModelEditingTest, EditsChangeOnlyTheirWidgets) {
    AppModel model{AppModelServices{}};
    model.layoutEditor().applyPreset(PacemarkPreset::cinematicHud);
    const PacemarkLayout layout = model.layoutEditor().overlayLayout();
    PacemarkWidget expected = *model.layoutEditor().selectedWidget();
    ASSERT_EQ(expected.titleOverride, "СКОР");  // so that keeping the rest is seen

    model.layoutEditor().setSelectedWidgetLabelColorHex(0x445566);
    model.layoutEditor().setSelectedWidgetValueColorHex(0x778899);
    expected.labelColorHex = 0x445566;
    expected.valueColorHex = 0x778899;
    EXPECT_EQ(*model.layoutEditor().selectedWidget(), expected);
    EXPECT_TRUE(
        std::equal(layout.widgets.begin() + 1, layout.widgets.end(), model.layoutEditor().overlayLayout().widgets.begin() + 1));

    // Each frame edit is clamped into the picture.
    model.layoutEditor().setSelectedWidgetFrameWidth(0.2);
    model.layoutEditor().setSelectedWidgetFrameHeight(0.01);
    model.layoutEditor().setSelectedWidgetFrameX(0.95);
    model.layoutEditor().setSelectedWidgetFrameY(2.0);
    const TelemetryWidgetFrame frame = model.layoutEditor().selectedWidget()->frame;
    EXPECT_DOUBLE_EQ(frame.height, TelemetryWidgetFrame::minHeight);
    EXPECT_DOUBLE_EQ(frame.x, 0.8);
    EXPECT_DOUBLE_EQ(frame.y, 1.0 - TelemetryWidgetFrame::minHeight);

    // The caption is cut by the core's rule on the UTF-8 text, not on Qt's
    // UTF-16 units: 24 accented letters are 48 of them.
    QString accented;
    for (int i = 0; i < 30; ++i) accented += QStringLiteral("e\u0301");
    model.layoutEditor().setSelectedWidgetCaption(accented);
    EXPECT_EQ(model.layoutEditor().selectedWidgetCaption(), accented.left(48));

    // The colours of all widgets overwrite one colour everywhere.
    model.layoutEditor().setAllWidgetsAccentHex(0x123456);
    model.layoutEditor().setAllWidgetsLabelColorHex(0x010203);
    for (const auto& widget : model.layoutEditor().overlayLayout().widgets) {
        EXPECT_EQ(std::pair(widget.accentHex, widget.labelColorHex), std::pair(0x123456u, 0x010203u));
    }

    // With no selection the edits of the selected widget do nothing.
    const PacemarkLayout edited = model.layoutEditor().overlayLayout();
    model.layoutEditor().setSelectedWidgetID(std::nullopt);
    model.layoutEditor().setSelectedWidgetAccentHex(0x000000);
    EXPECT_EQ(model.layoutEditor().overlayLayout(), edited);
}

// The colour dialog's choice, as stored in the layout.
TEST(AppModelEditingTest, PickedColoursBecomeRGBHex) {
    // 0.5 × 255 = 127.5 rounds away from zero.
    EXPECT_EQ(LayoutEditorModel::hexFromPickedColor(SRGBColor{0.5, 0, 0}), 0x800000u);
    for (std::uint32_t hex : {0x000000u, 0x35D05Bu, 0xFFFFFFu, 0x010203u}) {
        EXPECT_EQ(LayoutEditorModel::hexFromPickedColor(LayoutEditorModel::colorFromHex(hex)), hex);
    }
}

// Save, change, open again, and the question before an edited layout is
// replaced by an opened or a dropped file. (The preset picker's question is
// the window's SidebarEditingTest.)
TEST(AppModelEditingTest, EditedLayoutIsNeverReplacedUnasked) {
    testing::ScriptedPlatform platform;
    AppModel model{AppModelServices{}, &platform};
    const testing::TemporaryFolder folder;
    const auto file = folder / "mine.pacemark-layout";
    model.layoutEditor().addWidget(TelemetryWidgetKind::power);
    const PacemarkLayout edited = model.layoutEditor().overlayLayout();
    platform.saveAnswer = file;
    model.layoutEditor().saveLayout();
    EXPECT_FALSE(model.layoutEditor().hasUnsavedChanges());

    // Edited again: opening asks, and "Отмена" keeps everything.
    model.layoutEditor().removeSelectedWidget();
    const PacemarkLayout changed = model.layoutEditor().overlayLayout();
    platform.openAnswer = file;
    model.layoutEditor().openLayout();
    EXPECT_EQ(platform.replaceQuestions, 1);
    EXPECT_EQ(model.layoutEditor().overlayLayout(), changed);

    // "Заменить" opens the saved file: the layout as saved, first widget selected.
    platform.unsavedAnswer = AppModelPlatform::UnsavedLayoutChoice::discard;
    model.layoutEditor().openLayout();
    EXPECT_EQ(platform.replaceQuestions, 2);
    EXPECT_EQ(model.layoutEditor().overlayLayout(), edited);
    EXPECT_EQ(model.layoutEditor().selectedWidgetID(), idAt(model, 0));

    // Nothing was edited since opening: a preset replaces it unasked. A
    // dropped layout file opens; a broken one is an alert and changes nothing.
    EXPECT_TRUE(model.layoutEditor().choosePreset(PacemarkPreset::allCases().back()));
    EXPECT_EQ(platform.replaceQuestions, 2);
    EXPECT_TRUE(model.loadDropped({file}));
    EXPECT_EQ(model.layoutEditor().overlayLayout(), edited);
    const auto broken = folder / "broken.pacemark-layout";
    testing::writeFileText(broken, "{\"formatVersion\": 99}");
    model.layoutEditor().addWidget(TelemetryWidgetKind::speed);
    const PacemarkLayout before = model.layoutEditor().overlayLayout();
    EXPECT_FALSE(model.layoutEditor().openLayoutFile(broken));
    EXPECT_EQ(platform.replaceQuestions, 2);  // refused before anything is asked
    EXPECT_TRUE(model.status().errorMessage().has_value());
    EXPECT_EQ(model.layoutEditor().overlayLayout(), before);
}


// Every layout edit is one undo step that restores the layout, the preset
// and the selection, and redo makes it again; a new edit drops the redo steps.
TEST(AppModelEditingTest, UndoStepsBackThroughEachLayoutEdit) {
    testing::ScriptedPlatform platform;
    platform.unsavedAnswer = AppModelPlatform::UnsavedLayoutChoice::discard;
    AppModel model{AppModelServices{}, &platform};
    LayoutEditorModel& editor = model.layoutEditor();
    EXPECT_FALSE(editor.canUndo());
    const testing::TemporaryFolder folder;
    const auto file = folder / "opened.pacemark-layout";
    PacemarkLayoutFile{PacemarkPreset::minimal, PacemarkLayout::preset(PacemarkPreset::minimal)}.write(file);

    const std::function<void()> edits[] = {
        [&] { editor.addWidget(TelemetryWidgetKind::power); },
        [&] { editor.setSelectedWidgetKind(TelemetryWidgetKind::cadence); },
        [&] { editor.setSelectedWidgetPanelStyle(TelemetryWidgetPanelStyle::allCases().back()); },
        [&] { editor.setSelectedWidgetAccentHex(0x123456); },
        [&] { editor.setAllWidgetsValueColorHex(0xABCDEF); },
        [&] { editor.setSelectedWidgetCaption(QStringLiteral("Мощь")); },
        [&] { editor.setSelectedWidgetFrameX(0.5); },
        [&] { editor.removeSelectedWidget(); },
        [&] { editor.choosePreset(PacemarkPreset::allCases().back()); },
        [&] { editor.openLayoutFile(file); },
    };
    struct State {
        PacemarkPreset preset;
        PacemarkLayout layout;
        std::optional<UUID> selection;
        bool operator==(const State&) const = default;
    };
    const auto state = [&] { return State{editor.selectedPreset(), editor.overlayLayout(), editor.selectedWidgetID()}; };
    std::vector<State> before;
    for (const auto& edit : edits) {
        before.push_back(state());
        edit();
        ASSERT_NE(state(), before.back()) << "edit " << before.size();
    }
    const State last = state();
    for (std::size_t index = before.size(); index-- > 0;) {
        ASSERT_TRUE(editor.canUndo());
        editor.undo();
        EXPECT_EQ(state(), before[index]) << "undo of edit " << index + 1;
    }
    EXPECT_FALSE(editor.canUndo());
    for (std::size_t index = 0; index < before.size(); ++index) editor.redo();
    EXPECT_EQ(state(), last);
    EXPECT_FALSE(editor.canRedo());

    editor.undo();
    editor.addWidget(TelemetryWidgetKind::speed);
    EXPECT_FALSE(editor.canRedo());
}

// Typing a caption, and everything between the start and end of a gesture
// (a drag), undo as one step.
TEST(AppModelEditingTest, ARunOfEditsUndoesAsOneStep) {
    AppModel model{AppModelServices{}};
    LayoutEditorModel& editor = model.layoutEditor();
    const PacemarkLayout original = editor.overlayLayout();
    for (const char* typed : {"М", "Мо", "Мощ", "Мощь"}) editor.setSelectedWidgetCaption(QString::fromUtf8(typed));
    editor.beginEditGesture();
    for (double x : {0.1, 0.2, 0.3}) editor.setSelectedWidgetFrameX(x);
    editor.endEditGesture();
    editor.undo();
    EXPECT_EQ(editor.selectedWidgetCaption(), QStringLiteral("Мощь"));
    editor.undo();
    EXPECT_EQ(editor.overlayLayout(), original);
    EXPECT_FALSE(editor.canUndo());
}

}  // namespace
}  // namespace pacemark
