// SPDX-License-Identifier: GPL-3.0-or-later
#include <QComboBox>
#include <QListWidget>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

#include "WindowTestApplication.h"

namespace pacemark {
namespace {

void turnWheel(QWidget* widget, int steps) {
    const QPointF centre = QRectF(widget->rect()).center();
    QWheelEvent event(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, -120 * steps), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// The window with the sample ride dropped on it.
class SidebarEditingTest : public testing::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        dropSampleRide();
    }
    QScrollArea* sidebar() { return window_->findChild<QScrollArea*>("sidebar"); }
};

// A picker keeps its value under the wheel, even the one the user just
// clicked (the turn scrolls the sidebar): scrolling never changes an export.
TEST_F(SidebarEditingTest, WheelScrollsTheSidebarInsteadOfChangingAControl) {
    QComboBox* codec = nullptr;
    for (auto* picker : sidebar()->widget()->findChildren<QComboBox*>()) {
        if (picker->findText(QStringLiteral("ProRes 4444"), Qt::MatchStartsWith) >= 0) codec = picker;
    }
    ASSERT_NE(codec, nullptr);
    const auto chosen = model_->exportSession().settings().codec;
    QScrollBar* scroll = sidebar()->verticalScrollBar();
    scroll->setValue(0);
    codec->setFocus();
    ASSERT_TRUE(codec->hasFocus());
    turnWheel(codec, 1);
    turnWheel(codec, -1);
    turnWheel(codec, 1);
    EXPECT_EQ(model_->exportSession().settings().codec, chosen);
    EXPECT_GT(scroll->value(), 0);
}

// Choosing an NTSC rate ("29,97") stores the exact rate.
TEST_F(SidebarEditingTest, FrameRatePickerSetsTheExactRate) {
    auto* picker = window_->findChild<QComboBox*>("frameRatePicker");
    ASSERT_NE(picker, nullptr);
    const int ntsc = picker->findText(QStringLiteral("29,97"));
    picker->setCurrentIndex(ntsc);
    emit picker->activated(ntsc);
    EXPECT_EQ(model_->exportSession().settings().frameRate, FrameRate(30000, 1001));
}

TEST_F(SidebarEditingTest, PresetPickerNeverReplacesAnEditedLayoutByAccident) {
    auto* picker = window_->findChild<QComboBox*>("presetPicker");
    ASSERT_NE(picker, nullptr);
    model_->layoutEditor().addWidget(TelemetryWidgetKind::power);
    const PacemarkLayout edited = model_->layoutEditor().overlayLayout();
    const PacemarkPreset preset = model_->layoutEditor().selectedPreset();

    // Choosing the preset already selected changes nothing and asks nothing.
    emit picker->activated(picker->currentIndex());
    EXPECT_EQ(model_->layoutEditor().overlayLayout(), edited);
    EXPECT_EQ(platform_.replaceQuestions, 0);

    // Another preset asks first; "Отмена" keeps the layout and the picker shows it.
    const int other = (picker->currentIndex() + 1) % picker->count();
    picker->setCurrentIndex(other);
    emit picker->activated(other);
    EXPECT_EQ(platform_.replaceQuestions, 1);
    EXPECT_EQ(model_->layoutEditor().overlayLayout(), edited);
    EXPECT_EQ(picker->currentData().toInt(), static_cast<int>(preset));
    // "Заменить" applies it.
    platform_.unsavedAnswer = AppModelPlatform::UnsavedLayoutChoice::discard;
    emit picker->activated(other);
    EXPECT_NE(model_->layoutEditor().selectedPreset(), preset);
}

// While an export runs the actions that would start another are locked and
// "Стоп" appears.
TEST_F(SidebarEditingTest, RunningExportLocksTheActionsThatStartAnother) {
    testing::TemporaryFolder folder;
    platform_.saveAnswer = folder / "ride.mov";
    QPushButton *make = button(QStringLiteral("Сделать MOV")), *saveAs = button(QStringLiteral("Сохранить как")),
                *open = button(QStringLiteral("Открыть FIT/GPX")), *stop = button(QStringLiteral("Стоп"));
    ASSERT_TRUE(make && saveAs && open && stop);

    QTest::mouseClick(saveAs, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model_->exportSession().exportProgress() > 0; }, 5000));
    QTest::qWait(20);  // the queued fitting and scrolling
    for (auto* locked : {make, saveAs, open}) EXPECT_FALSE(locked->isEnabled()) << locked->text().toStdString();
    EXPECT_TRUE(stop->isVisible());

    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->exportSession().isExporting(); }, 5000));
    QTest::qWait(20);
    for (auto* unlocked : {make, saveAs, open}) EXPECT_TRUE(unlocked->isEnabled()) << unlocked->text().toStdString();
    EXPECT_FALSE(stop->isVisible());
}

TEST_F(SidebarEditingTest, WidgetEditorEditsTheSelectedWidget) {
    auto* list = window_->findChild<QListWidget*>(QStringLiteral("widgetList"));
    auto* kind = window_->findChild<QComboBox*>("kindPicker");
    ASSERT_TRUE(list && kind);
    const auto pickers = kind->parentWidget()->findChildren<QComboBox*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(pickers.size(), 2);  // kind, panel style
    const std::size_t count = model_->layoutEditor().overlayLayout().widgets.size();

    // "Добавить" offers every kind; the added widget is listed and selected.
    const auto actions = button(QStringLiteral("Добавить"))->menu()->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(TelemetryWidgetKind::allCases().size()));
    actions[TelemetryWidgetKind::cadence]->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(list->count(), static_cast<int>(count + 1));
    ASSERT_TRUE(model_->layoutEditor().selectedWidget().has_value());
    EXPECT_EQ(model_->layoutEditor().selectedWidget()->kind, TelemetryWidgetKind::cadence);
    EXPECT_EQ(list->currentRow(), static_cast<int>(count));

    // The pickers edit the selected widget.
    emit pickers[0]->activated(pickers[0]->findData(TelemetryWidgetKind::heartRate));
    emit pickers[1]->activated(pickers[1]->findData(TelemetryWidgetPanelStyle::dial));
    EXPECT_EQ(model_->layoutEditor().selectedWidget()->kind, TelemetryWidgetKind::heartRate);
    EXPECT_EQ(model_->layoutEditor().selectedWidget()->panelStyle, TelemetryWidgetPanelStyle::dial);

    // Another row of the list selects its widget; "Удалить" removes it.
    list->setCurrentRow(0);
    const UUID first = model_->layoutEditor().overlayLayout().widgets[0].id;
    EXPECT_EQ(model_->layoutEditor().selectedWidgetID(), first);
    QTest::mouseClick(button(QStringLiteral("Удалить")), Qt::LeftButton);
    EXPECT_EQ(list->count(), static_cast<int>(count));
    for (const auto& widget : model_->layoutEditor().overlayLayout().widgets) EXPECT_NE(widget.id, first);
}

}  // namespace
}  // namespace pacemark
