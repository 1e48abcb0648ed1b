#include <gtest/gtest.h>

#include "AppModelTestSupport.h"

namespace pacemark {
namespace {

UUID idAt(const AppModel& model, std::size_t index) { return model.overlayLayout().widgets.at(index).id; }

// Removing widgets and applying presets always leave a sensible selection.
// (Adding, and removing the selected widget, are the window's SidebarEditingTest.)
TEST(AppModelEditingTest, RemovingAndPresetsLeaveTheSelectionOnTheFirstWidget) {
    AppModel model{AppModelServices{}};
    model.applyPreset(PacemarkPreset::minimal);
    // Removing a middle widget selects the first, not a neighbour.
    model.setSelectedWidgetID(idAt(model, 1));
    model.removeSelectedWidget();
    EXPECT_EQ(model.selectedWidgetID(), idAt(model, 0));

    // A stale selection removes nothing but still moves to the first widget.
    const std::size_t count = model.overlayLayout().widgets.size();
    model.setSelectedWidgetID(UUID::random());
    model.removeSelectedWidget();
    EXPECT_EQ(model.overlayLayout().widgets.size(), count);
    EXPECT_EQ(model.selectedWidgetID(), idAt(model, 0));

    // A preset brings new widgets and selects the first of them.
    model.setSelectedWidgetID(idAt(model, 1));
    model.applyPreset(PacemarkPreset::minimal);
    EXPECT_EQ(model.selectedWidgetID(), idAt(model, 0));

    // An empty layout selects nothing, and the colour editor of all widgets shows the default.
    while (!model.overlayLayout().widgets.empty()) model.removeSelectedWidget();
    EXPECT_FALSE(model.selectedWidgetID().has_value());
    model.removeSelectedWidget();
    EXPECT_EQ(model.allWidgetsAccentHex(), LayoutEditorModel::defaultAccentHex);
}

TEST(AppModelEditingTest, EditsChangeOnlyTheirWidgetsAndReclampTheFrame) {
    AppModel model{AppModelServices{}};
    model.applyPreset(PacemarkPreset::cinematicHud);
    const PacemarkLayout layout = model.overlayLayout();
    PacemarkWidget expected = *model.selectedWidget();
    ASSERT_EQ(expected.titleOverride, "СКОР");  // so that keeping the rest is seen

    model.setSelectedWidgetLabelColorHex(0x445566);
    model.setSelectedWidgetValueColorHex(0x778899);
    expected.labelColorHex = 0x445566;
    expected.valueColorHex = 0x778899;
    EXPECT_EQ(*model.selectedWidget(), expected);
    EXPECT_TRUE(
        std::equal(layout.widgets.begin() + 1, layout.widgets.end(), model.overlayLayout().widgets.begin() + 1));

    // Each frame edit is clamped into the picture.
    model.setSelectedWidgetFrameWidth(0.2);
    model.setSelectedWidgetFrameHeight(0.01);
    model.setSelectedWidgetFrameX(0.95);
    model.setSelectedWidgetFrameY(2.0);
    const TelemetryWidgetFrame frame = model.selectedWidget()->frame;
    EXPECT_DOUBLE_EQ(frame.height, TelemetryWidgetFrame::minHeight);
    EXPECT_DOUBLE_EQ(frame.x, 0.8);
    EXPECT_DOUBLE_EQ(frame.y, 1.0 - TelemetryWidgetFrame::minHeight);

    // The caption is cut by the core's rule on the UTF-8 text, not on Qt's
    // UTF-16 units: 24 accented letters are 48 of them.
    QString accented;
    for (int i = 0; i < 30; ++i) accented += QStringLiteral("e\u0301");
    model.setSelectedWidgetCaption(accented);
    EXPECT_EQ(model.selectedWidgetCaption(), accented.left(48));

    // The colours of all widgets overwrite one colour everywhere. (The values'
    // colour, and the selected widget's accent, are the window's SidebarEditingTest.)
    model.setAllWidgetsAccentHex(0x123456);
    model.setAllWidgetsLabelColorHex(0x010203);
    for (const auto& widget : model.overlayLayout().widgets) {
        EXPECT_EQ(std::pair(widget.accentHex, widget.labelColorHex), std::pair(0x123456u, 0x010203u));
    }

    // With no selection the edits of the selected widget do nothing.
    const PacemarkLayout edited = model.overlayLayout();
    model.setSelectedWidgetID(std::nullopt);
    model.setSelectedWidgetAccentHex(0x000000);
    EXPECT_EQ(model.overlayLayout(), edited);
}

TEST(AppModelEditingTest, PickedColoursBecomeRGBHex) {
    // Out-of-gamut components are limited; NaN counts as 0.
    EXPECT_EQ(AppModel::hexFromPickedColor(SRGBColor{1.7, -0.2, std::nan("")}), 0xFF0000u);
    // 0.5 × 255 = 127.5 rounds away from zero.
    EXPECT_EQ(AppModel::hexFromPickedColor(SRGBColor{0.5, 0, 0}), 0x800000u);
    for (std::uint32_t hex : {0x000000u, 0x35D05Bu, 0xA8A8A8u, 0xFFFFFFu, 0x010203u}) {
        EXPECT_EQ(AppModel::hexFromPickedColor(AppModel::colorFromHex(hex)), hex);
    }
}

// Save, change, open again, and the question before an edited layout is
// replaced by an opened or a dropped file. (The preset picker's question is
// the window's SidebarEditingTest.)
TEST(AppModelEditingTest, LayoutFilesKeepTheLayoutAndEditsAreNotReplacedUnasked) {
    testing::ScriptedPlatform platform;
    AppModel model{AppModelServices{}, &platform};
    const testing::TemporaryFolder folder;
    const auto file = folder / "mine.pacemark-layout";
    model.addWidget(TelemetryWidgetKind::power);
    const PacemarkLayout edited = model.overlayLayout();
    platform.saveAnswer = file;
    model.saveLayout();
    EXPECT_FALSE(model.hasUnsavedLayoutChanges());

    // Edited again: opening asks, and "Отмена" keeps everything.
    model.removeSelectedWidget();
    const PacemarkLayout changed = model.overlayLayout();
    platform.openAnswer = file;
    model.openLayout();
    EXPECT_EQ(platform.replaceQuestions, 1);
    EXPECT_EQ(model.overlayLayout(), changed);

    // "Заменить" opens the saved file: the layout as saved, first widget selected.
    platform.replaceAnswer = true;
    model.openLayout();
    EXPECT_EQ(platform.replaceQuestions, 2);
    EXPECT_EQ(model.overlayLayout(), edited);
    EXPECT_EQ(model.selectedWidgetID(), idAt(model, 0));

    // Nothing was edited since opening: a preset replaces it unasked. A
    // dropped layout file opens; a broken one is an alert and changes nothing.
    EXPECT_TRUE(model.choosePreset(PacemarkPreset::allCases().back()));
    EXPECT_EQ(platform.replaceQuestions, 2);
    EXPECT_TRUE(model.loadDropped({file}));
    EXPECT_EQ(model.overlayLayout(), edited);
    const auto broken = folder / "broken.pacemark-layout";
    testing::writeFileText(broken, "{\"formatVersion\": 99}");
    model.addWidget(TelemetryWidgetKind::speed);
    const PacemarkLayout before = model.overlayLayout();
    EXPECT_FALSE(model.openLayoutFile(broken));
    EXPECT_EQ(platform.replaceQuestions, 2);  // refused before anything is asked
    EXPECT_TRUE(model.errorMessage().has_value());
    EXPECT_EQ(model.overlayLayout(), before);
}

}  // namespace
}  // namespace pacemark
