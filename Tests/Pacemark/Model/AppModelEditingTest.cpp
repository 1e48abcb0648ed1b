#include <gtest/gtest.h>

#include <QSignalSpy>
#include "AppModelTestSupport.h"
#include "TestSupport.h"

namespace pacemark {
namespace {

using Kind = TelemetryWidgetKind;

UUID idAt(const AppModel& model, std::size_t index) { return model.overlayLayout().widgets.at(index).id; }

TEST(AppModelTest, StartsWithTheDefaults) {
    AppModel model{AppModelServices{}};
    EXPECT_EQ(model.activity(), nullptr);
    EXPECT_EQ(model.selectedFileName(), "Файл не выбран");
    EXPECT_EQ(model.videoBackgroundName(), "Видео не выбрано");
    EXPECT_EQ(model.statusText(), "Выбери FIT или GPX файл.");
    EXPECT_EQ(std::tuple(model.width(), model.height(), model.framesPerSecond(), model.codec()),
              std::tuple(1920, 1080, 30, TelemetryVideoCodec::hevcWithAlpha));
    EXPECT_FALSE(model.isLoading() || model.isExporting() || model.errorMessage() || model.lastOutputURL());

    // Without an activity every derived value is empty.
    for (const QString& label : {model.durationLabel(), model.distanceLabel(), model.sampleCountLabel(),
                                 model.exportRangeLabel(), model.exportSegmentLabel()}) {
        EXPECT_EQ(label, "--");
    }
    EXPECT_EQ(model.exportSegmentSeconds(), 0);
    EXPECT_EQ(model.previewTelemetryElapsedSeconds(), 0);

    // The compact race preset with its first widget, speed, selected.
    ASSERT_EQ(model.overlayLayout().widgets.size(), 7u);
    EXPECT_EQ(model.selectedWidgetID(), idAt(model, 0));
    EXPECT_EQ(model.selectedWidget()->kind, Kind::speed);
}

// Adding, removing and applying presets always leave a sensible selection.
TEST(AppModelEditingTest, AddRemoveAndPresetsKeepTheSelectionOnAWidget) {
    AppModel model{AppModelServices{}};
    model.removeSelectedWidget();
    ASSERT_EQ(model.overlayLayout().widgets.size(), 6u);
    EXPECT_EQ(model.selectedWidget()->kind, Kind::power);

    // Added widgets go last, with the glass style, and are selected; a second
    // one of the same kind lands exactly on the first.
    model.addWidget(Kind::progress);
    model.addWidget(Kind::progress);
    const auto& widgets = model.overlayLayout().widgets;
    ASSERT_EQ(widgets.size(), 8u);
    EXPECT_EQ(model.selectedWidgetID(), widgets.back().id);
    const PacemarkWidget& added = widgets.back();
    EXPECT_EQ(std::tuple(added.panelStyle, added.accentHex, added.labelColorHex, added.valueColorHex, added.isVisible),
              std::tuple(TelemetryWidgetPanelStyle::glass, LayoutEditorModel::defaultAccentHex,
                         LayoutEditorModel::defaultLabelColorHex, LayoutEditorModel::defaultValueColorHex, true));
    EXPECT_EQ(widgets[6].frame, widgets[7].frame);
    EXPECT_NE(widgets[6].id, widgets[7].id);

    // A preset replaces the layout with new identities, each time; the picker
    // alone only records the choice.
    model.applyPreset(PacemarkPreset::minimal);
    EXPECT_EQ(model.selectedPreset(), PacemarkPreset::minimal);
    ASSERT_EQ(model.overlayLayout().widgets.size(), 3u);
    const UUID firstRound = idAt(model, 0);
    model.applyPreset(PacemarkPreset::minimal);
    EXPECT_NE(idAt(model, 0), firstRound);
    EXPECT_EQ(model.selectedWidgetID(), idAt(model, 0));
    model.setSelectedPreset(PacemarkPreset::routeStory);
    EXPECT_EQ(model.overlayLayout().widgets.size(), 3u);

    // Removing a middle widget selects the first, not a neighbour.
    model.addWidget(Kind::cadence);
    model.addWidget(Kind::power);
    const UUID third = idAt(model, 2);
    model.setSelectedWidgetID(third);
    model.removeSelectedWidget();
    EXPECT_EQ(model.overlayLayout().widgets.size(), 4u);
    EXPECT_EQ(model.selectedWidgetID(), idAt(model, 0));
    for (const auto& widget : model.overlayLayout().widgets) EXPECT_NE(widget.id, third);

    // A stale selection removes nothing but still moves to the first widget.
    model.setSelectedWidgetID(UUID::random());
    EXPECT_FALSE(model.selectedWidget().has_value());
    model.removeSelectedWidget();
    EXPECT_EQ(model.overlayLayout().widgets.size(), 4u);
    EXPECT_EQ(model.selectedWidgetID(), idAt(model, 0));

    while (!model.overlayLayout().widgets.empty()) model.removeSelectedWidget();
    EXPECT_FALSE(model.selectedWidgetID().has_value());
    model.removeSelectedWidget();  // nothing selected: nothing happens
    EXPECT_TRUE(model.overlayLayout().widgets.empty());
}

TEST(AppModelEditingTest, SelectedWidgetEditsKeepTheRestAndReclampTheFrame) {
    AppModel model{AppModelServices{}};
    model.applyPreset(PacemarkPreset::cinematicHud);
    const PacemarkWidget before = *model.selectedWidget();
    ASSERT_EQ(before.titleOverride, "СКОР");

    model.setSelectedWidgetKind(Kind::cadence);
    PacemarkWidget expected = before;
    expected.kind = Kind::cadence;
    EXPECT_EQ(*model.selectedWidget(), expected);

    model.setSelectedWidgetPanelStyle(TelemetryWidgetPanelStyle::dial);
    model.setSelectedWidgetAccentHex(0x112233);
    model.setSelectedWidgetLabelColorHex(0x445566);
    model.setSelectedWidgetValueColorHex(0x778899);
    EXPECT_EQ(model.selectedWidget()->panelStyle, TelemetryWidgetPanelStyle::dial);
    EXPECT_EQ(model.selectedWidgetAccentHex(), 0x112233u);
    EXPECT_EQ(model.selectedWidgetLabelColorHex(), 0x445566u);
    EXPECT_EQ(model.selectedWidgetValueColorHex(), 0x778899u);
    EXPECT_EQ(model.overlayLayout().widgets[1].accentHex, 0xFF5A1Fu);  // only the selected one changed

    model.setSelectedWidgetFrameHeight(0.01);
    EXPECT_DOUBLE_EQ(model.selectedWidget()->frame.height, 0.018);
    model.setSelectedWidgetFrameWidth(0.2);
    model.setSelectedWidgetFrameX(0.95);
    EXPECT_DOUBLE_EQ(model.selectedWidget()->frame.x, 0.8);
    model.setSelectedWidgetFrameWidth(0.9);
    EXPECT_DOUBLE_EQ(model.selectedWidget()->frame.width, 0.75);
    EXPECT_DOUBLE_EQ(model.selectedWidget()->frame.x, 0.25);
    model.setSelectedWidgetFrameY(2.0);
    EXPECT_DOUBLE_EQ(model.selectedWidget()->frame.y, 1.0 - 0.018);

    // The caption is cut by the core's rule on the UTF-8 text, not on Qt's
    // UTF-16 units: 24 accented letters are 48 of them.
    const QString cyrillic = QStringLiteral("СкоростьНаПодъемеИСпускеВместе");
    model.setSelectedWidgetCaption(cyrillic);
    EXPECT_EQ(model.selectedWidgetCaption(), cyrillic.left(24));
    QString accented;
    for (int i = 0; i < 30; ++i) accented += QStringLiteral("e\u0301");
    model.setSelectedWidgetCaption(accented);
    EXPECT_EQ(model.selectedWidgetCaption(), accented.left(48));

    // With no selection the edits do nothing.
    const PacemarkLayout layout = model.overlayLayout();
    model.setSelectedWidgetID(std::nullopt);
    model.setSelectedWidgetAccentHex(0x000000);
    model.setSelectedWidgetFrameX(0.5);
    model.setSelectedWidgetCaption(QStringLiteral("x"));
    EXPECT_EQ(model.overlayLayout(), layout);
    EXPECT_EQ(model.selectedWidgetAccentHex(), LayoutEditorModel::defaultAccentHex);
    EXPECT_EQ(model.selectedWidgetCaption(), "");
}

TEST(AppModelEditingTest, AllWidgetColoursOverwriteOneColourEverywhere) {
    AppModel model{AppModelServices{}};
    model.applyPreset(PacemarkPreset::marentoClean);  // accents differ per widget
    model.setAllWidgetsAccentHex(0x123456);
    for (const auto& widget : model.overlayLayout().widgets) {
        EXPECT_EQ(widget.accentHex, 0x123456u);
        EXPECT_EQ(widget.labelColorHex, 0xD8DDD9u);
    }
    model.setAllWidgetsLabelColorHex(0x010203);
    model.setAllWidgetsValueColorHex(0x040506);
    EXPECT_EQ(std::tuple(model.allWidgetsAccentHex(), model.allWidgetsLabelColorHex(), model.allWidgetsValueColorHex()),
              std::tuple(0x123456u, 0x010203u, 0x040506u));

    while (!model.overlayLayout().widgets.empty()) model.removeSelectedWidget();
    QSignalSpy spy(&model, &AppModel::overlayLayoutChanged);
    model.setAllWidgetsAccentHex(0x999999);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(model.allWidgetsAccentHex(), LayoutEditorModel::defaultAccentHex);
}

TEST(AppModelEditingTest, PickedColoursBecomeRGBHex) {
    EXPECT_EQ(AppModel::hexFromPickedColor(SRGBColor{1, 1, 1}), 0xFFFFFFu);
    EXPECT_EQ(AppModel::hexFromPickedColor(std::nullopt), 0x36D15Cu);
    // Out-of-gamut components are limited; NaN counts as 0.
    EXPECT_EQ(AppModel::hexFromPickedColor(SRGBColor{1.7, -0.2, std::nan("")}), 0xFF0000u);
    // 0.5 × 255 = 127.5 rounds away from zero.
    EXPECT_EQ(AppModel::hexFromPickedColor(SRGBColor{0.5, 0, 0}), 0x800000u);
    for (std::uint32_t hex : {0x000000u, 0x35D05Bu, 0xA8A8A8u, 0xFFFFFFu, 0x010203u}) {
        EXPECT_EQ(AppModel::hexFromPickedColor(AppModel::colorFromHex(hex)), hex);
    }
}

// Save, change, open again, and the question before an edited layout is
// replaced by a preset, an opened file or a dropped one.
TEST(AppModelEditingTest, LayoutFilesKeepTheLayoutAndEditsAreNotReplacedUnasked) {
    testing::ScriptedPlatform platform;
    AppModel model{AppModelServices{}, &platform};
    const testing::TemporaryFolder folder;
    const auto file = folder.path() / "mine.pacemark-layout";

    // The preset already selected, or any preset over an unedited layout, asks nothing.
    const UUID firstID = idAt(model, 0);
    EXPECT_FALSE(model.choosePreset(model.selectedPreset()));
    EXPECT_EQ(idAt(model, 0), firstID);
    EXPECT_FALSE(model.hasUnsavedLayoutChanges());

    model.addWidget(Kind::power);
    model.setSelectedWidgetCaption(QStringLiteral("Мощь"));
    const PacemarkLayout edited = model.overlayLayout();
    EXPECT_TRUE(model.hasUnsavedLayoutChanges());

    platform.answer = file;
    model.saveLayout();
    ASSERT_EQ(platform.requests.size(), 1u);
    EXPECT_EQ(platform.requests[0].fileExtension, "pacemark-layout");
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_FALSE(model.hasUnsavedLayoutChanges());

    // Edited again: a different preset asks, and "Отмена" keeps everything.
    model.removeSelectedWidget();
    const PacemarkLayout changed = model.overlayLayout();
    const PacemarkPreset preset = model.selectedPreset();
    const PacemarkPreset other = PacemarkPreset::allCases().back();
    ASSERT_NE(other, preset);
    EXPECT_FALSE(model.choosePreset(other));
    EXPECT_EQ(platform.replaceQuestions, 1);
    EXPECT_EQ(model.overlayLayout(), changed);
    EXPECT_EQ(model.selectedPreset(), preset);
    platform.openAnswer = file;
    model.openLayout();
    EXPECT_EQ(platform.replaceQuestions, 2);
    EXPECT_EQ(model.overlayLayout(), changed);

    // "Заменить" opens the saved file: the layout as saved, first widget selected.
    platform.replaceAnswer = true;
    model.openLayout();
    EXPECT_EQ(platform.replaceQuestions, 3);
    EXPECT_EQ(model.overlayLayout(), edited);
    EXPECT_EQ(model.selectedWidgetID(), idAt(model, 0));
    EXPECT_FALSE(model.hasUnsavedLayoutChanges());

    // A dropped layout file opens; a broken one is an alert and changes nothing.
    EXPECT_TRUE(model.choosePreset(other));
    EXPECT_EQ(platform.replaceQuestions, 3);  // nothing was edited since opening
    EXPECT_TRUE(model.loadDropped({file}));
    EXPECT_EQ(model.overlayLayout(), edited);
    const auto broken = folder.path() / "broken.pacemark-layout";
    testing::writeFileText(broken, "{\"formatVersion\": 99}");
    model.addWidget(Kind::speed);
    const PacemarkLayout before = model.overlayLayout();
    EXPECT_FALSE(model.openLayoutFile(broken));
    EXPECT_EQ(platform.replaceQuestions, 3);  // refused before anything is asked
    EXPECT_TRUE(model.errorMessage().has_value());
    EXPECT_EQ(model.overlayLayout(), before);
}

}  // namespace
}  // namespace pacemark
