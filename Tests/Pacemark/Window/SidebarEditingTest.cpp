// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAbstractItemView>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QWheelEvent>

#include <cmath>

#include "DesktopPlatform.h"
#include "Export/TelemetryExportSettings.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

// WCAG relative luminance and contrast ratio of two sRGB colours.
double luminance(QRgb pixel) {
    const auto linear = [](int channel) {
        const double value = channel / 255.0;
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(pixel)) + 0.7152 * linear(qGreen(pixel)) + 0.0722 * linear(qBlue(pixel));
}
double contrast(QRgb first, QRgb second) {
    const double a = luminance(first), b = luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

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

// The motion picker offers stepping and smooth motion at each rate; the
// averaging box keeps the choice of rate.
TEST_F(SidebarEditingTest, MotionPickerSetsTheExportsMotion) {
    auto* picker = window_->findChild<QComboBox*>("motionPicker");
    auto* average = window_->findChild<QCheckBox*>("smoothValuesBox");
    ASSERT_NE(picker, nullptr);
    ASSERT_NE(average, nullptr);
    QStringList titles;
    for (int i = 0; i < picker->count(); ++i) titles << picker->itemText(i);
    EXPECT_EQ(titles, (QStringList{"По секундам", "Плавно, 5 Гц", "Плавно, 10 Гц", "Плавно, 15 Гц",
                                   "Плавно, каждый кадр"}));
    picker->setCurrentIndex(3);
    emit picker->activated(3);
    average->setChecked(true);
    const TelemetryMotion expected{TelemetryMotionMode::smooth, 15, TelemetryValueSmoothing::speedAndPower};
    EXPECT_EQ(model_->exportSession().settings().motion, expected);
    model_->exportSession().setMotion({});
    EXPECT_EQ(picker->currentIndex(), 0);
    EXPECT_FALSE(average->isChecked());
}

// The rate picker offers the NTSC rates with a decimal comma beside the
// whole ones, and choosing one stores the exact rate.
TEST_F(SidebarEditingTest, FrameRatePickerSetsTheExactRate) {
    auto* picker = window_->findChild<QComboBox*>("frameRatePicker");
    ASSERT_NE(picker, nullptr);
    QStringList titles;
    for (int i = 0; i < picker->count(); ++i) titles << picker->itemText(i);
    EXPECT_EQ(titles, (QStringList{"23,976", "24", "25", "29,97", "30", "50", "59,94", "60"}));
    picker->setCurrentIndex(3);
    emit picker->activated(3);
    EXPECT_EQ(model_->exportSession().settings().frameRate, FrameRate(30000, 1001));
    model_->exportSession().setFrameRate(FrameRate(24000, 1001));
    EXPECT_EQ(picker->currentText(), QStringLiteral("23,976"));
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

// The open list of every picker draws its current item readably: on the
// rendered popup, the strongest text pixel of that row against the row's
// background has a WCAG contrast of at least 4.5.
TEST_F(SidebarEditingTest, OpenPickerHighlightIsReadable) {
    applyPacemarkStyle();
    for (auto* picker : sidebar()->widget()->findChildren<QComboBox*>()) {
        if (picker->count() < 2) continue;
        picker->showPopup();
        QAbstractItemView* list = picker->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
        QTest::qWait(20);
        const QRect row = list->visualRect(list->currentIndex());
        const QImage image = list->viewport()->grab().toImage();
        const QRgb background = image.pixel(row.left() + 2, row.center().y());
        double best = 1;
        for (int y = row.top(); y <= row.bottom(); ++y) {
            for (int x = row.left(); x <= row.right(); ++x) best = std::max(best, contrast(image.pixel(x, y), background));
        }
        EXPECT_GE(best, 4.5) << picker->objectName().toStdString() << " row " << picker->currentIndex();
        // The highlight is drawn at all, not the list's own background.
        EXPECT_GT(contrast(background, image.pixel(row.left() + 2, row.bottom() + 4 < image.height() ? row.bottom() + 4 : row.top() - 4)), 1.5);
        picker->hidePopup();
    }
}

// A picker or slider keeps its value under the wheel, even the one the user
// just clicked (the turn scrolls the sidebar); its keys still change it.
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

    auto* slider = sidebar()->widget()->findChildren<QSlider*>().back();
    slider->setFocus();
    const int position = slider->value();
    turnWheel(slider, 1);
    EXPECT_EQ(slider->value(), position);
    QTest::keyClick(slider, Qt::Key_Right);
    EXPECT_NE(slider->value(), position);

    QTest::keyClick(codec, codec->currentIndex() == 0 ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_NE(model_->exportSession().settings().codec, chosen);
}

// The segment's sliders and fields, and the resolution picker, show what the
// model stored after it corrected the input.
TEST_F(SidebarEditingTest, ExportSettingsShowWhatTheModelStored) {
    auto* startField = window_->findChild<QLineEdit*>("exportStartField");
    auto* endField = window_->findChild<QLineEdit*>("exportEndField");
    ASSERT_TRUE(startField && endField);

    // Moving the start slider past the end pushes the end.
    const auto sliders = startField->parentWidget()->findChildren<QSlider*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(sliders.size(), 2);  // start, end
    const double duration = static_cast<double>(model_->loadedActivity().activityDurationSeconds());
    sliders[1]->setValue(300);
    EXPECT_EQ(model_->exportSession().exportEndSeconds(), std::llround(0.3 * duration));
    sliders[0]->setValue(700);
    EXPECT_EQ(model_->exportSession().startOffsetSeconds(), std::llround(0.7 * duration));
    EXPECT_GT(model_->exportSession().exportEndSeconds(), model_->exportSession().startOffsetSeconds());
    EXPECT_GE(sliders[1]->value(), sliders[0]->value());
    EXPECT_EQ(startField->text(), QString::number(model_->exportSession().startOffsetSeconds()));
    EXPECT_EQ(endField->text(), QString::number(model_->exportSession().exportEndSeconds()));

    // A typed end past the ride is corrected by the model and shown back,
    // also while the field still has the focus.
    endField->setFocus();
    ASSERT_TRUE(endField->hasFocus());
    endField->selectAll();
    QTest::keyClicks(endField, QStringLiteral("999999"));
    QTest::keyClick(endField, Qt::Key_Return);
    EXPECT_EQ(endField->text(), QString::number(model_->exportSession().exportEndSeconds()));

    // The resolution picker offers the export settings' sizes, portrait
    // included, and sets both sides.
    const auto pick = [this](const QString& tag) {
        int offered = 0;
        for (auto* picker : window_->findChildren<QComboBox*>()) {
            const int index = picker->findData(tag);
            if (index < 0) continue;
            offered = picker->count();
            emit picker->activated(index);
        }
        return offered;
    };
    EXPECT_EQ(pick(QStringLiteral("1080x1920")), static_cast<int>(TelemetryExportSettings::offeredSizes.size()));
    EXPECT_EQ(model_->exportSession().settings().width, 1080);
    EXPECT_EQ(model_->exportSession().settings().height, 1920);
}

// While an export runs the actions that would start another are locked, and
// "Стоп" and the progress row (in the footer) appear without moving the
// sidebar's rows or its width. A stopped export shows its outcome in the
// footer, a finished one offers "Показать MOV".
TEST_F(SidebarEditingTest, RunningExportLocksTheActionsThatStartAnother) {
    testing::TemporaryFolder folder;
    platform_.saveAnswer = folder / "ride.mov";
    QPushButton *make = button(QStringLiteral("Сделать MOV")), *saveAs = button(QStringLiteral("Сохранить как")),
                *open = button(QStringLiteral("Открыть FIT/GPX")), *stop = button(QStringLiteral("Стоп")),
                *reveal = button(QStringLiteral("Показать MOV"));
    auto* progress = window_->findChild<QWidget*>("exportProgressRow");
    auto* picker = window_->findChild<QComboBox*>("presetPicker");
    ASSERT_TRUE(make && saveAs && open && stop && reveal && progress);
    const auto placeInContent = [&] { return picker->mapTo(sidebar()->widget(), QPoint(0, 0)); };
    const auto placeInView = [&] { return picker->mapTo(sidebar()->viewport(), QPoint(0, 0)); };
    sidebar()->verticalScrollBar()->setValue(0);  // where "Сделать MOV" is
    QTest::qWait(20);
    const QPoint content = placeInContent(), view = placeInView();
    const int width = sidebar()->width();

    QTest::mouseClick(saveAs, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model_->exportSession().exportProgress() > 0; }, 5000));
    QTest::qWait(20);  // the queued fitting and scrolling
    for (auto* locked : {make, saveAs, open}) EXPECT_FALSE(locked->isEnabled()) << locked->text().toStdString();
    EXPECT_TRUE(stop->isVisible());
    EXPECT_TRUE(progress->isVisible());
    EXPECT_FALSE(sidebar()->isAncestorOf(progress));  // in the footer, never scrolled away
    EXPECT_EQ(placeInContent(), content);
    EXPECT_EQ(placeInView(), view);
    EXPECT_EQ(sidebar()->width(), width);

    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->exportSession().isExporting(); }, 5000));
    QTest::qWait(20);
    for (auto* unlocked : {make, saveAs, open}) EXPECT_TRUE(unlocked->isEnabled()) << unlocked->text().toStdString();
    EXPECT_FALSE(stop->isVisible());
    EXPECT_FALSE(reveal->isVisible());  // a stopped export wrote no movie
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(placeInView(), view);
    EXPECT_FALSE(sidebar()->isAncestorOf(window_->findChild<QLabel*>("statusText")));

    finishExports_ = true;
    QTest::mouseClick(saveAs, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->exportSession().isExporting(); }, 5000));
    ASSERT_TRUE(reveal->isVisible());
    QTest::mouseClick(reveal, Qt::LeftButton);
    EXPECT_EQ(platform_.revealed, std::vector<std::filesystem::path>{folder / "ride.mov"});
}

TEST_F(SidebarEditingTest, WidgetEditorEditsTheSelectedWidget) {
    auto* list = window_->findChild<QListWidget*>(QStringLiteral("widgetList"));
    auto* kind = window_->findChild<QComboBox*>("kindPicker");
    auto* caption = window_->findChild<QLineEdit*>("captionField");
    ASSERT_TRUE(list && kind && caption);
    const auto pickers = kind->parentWidget()->findChildren<QComboBox*>(Qt::FindDirectChildrenOnly);
    const auto sliders = kind->parentWidget()->findChildren<QSlider*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(pickers.size(), 2);  // kind, panel style
    ASSERT_EQ(sliders.size(), 4);  // X, Y, width, height
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

    // The pickers and the frame sliders edit the selected widget.
    emit pickers[0]->activated(pickers[0]->findData(TelemetryWidgetKind::heartRate));
    emit pickers[1]->activated(pickers[1]->findData(TelemetryWidgetPanelStyle::dial));
    sliders[0]->setValue(100);
    sliders[2]->setValue(250);
    const PacemarkWidget edited = *model_->layoutEditor().selectedWidget();
    EXPECT_EQ(edited.kind, TelemetryWidgetKind::heartRate);
    EXPECT_EQ(edited.panelStyle, TelemetryWidgetPanelStyle::dial);
    EXPECT_DOUBLE_EQ(edited.frame.width, 0.25);
    EXPECT_DOUBLE_EQ(edited.frame.x, 0.1);

    // The caption keeps 24 characters; the field shows no more, also when one
    // more character leaves the stored caption as it was.
    caption->setFocus();
    // One key event carrying the whole text (QTest's key clicks take ASCII only).
    QKeyEvent typing(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("ПодписьДлиннееДвадцатиЧетырёхБукв"));
    QApplication::sendEvent(caption, &typing);
    QTest::keyClick(caption, Qt::Key_X);
    EXPECT_EQ(model_->layoutEditor().selectedWidgetCaption(), QStringLiteral("ПодписьДлиннееДвадцатиЧе"));
    EXPECT_EQ(caption->text(), model_->layoutEditor().selectedWidgetCaption());

    // A colour button opens the colour dialog on its colour; what is chosen
    // there (`answer`) goes to the model, cancelling (no `answer`) changes
    // nothing. Returns the colour the dialog opened on.
    const auto pickColour = [&](const QString& title, QColor answer) {
        QColor opened;
        QObject scope;  // runs the answer inside the dialog's event loop, or never
        QTimer::singleShot(0, &scope, [&] {
            auto* dialog = qobject_cast<QColorDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;  // `opened` stays invalid
            opened = dialog->currentColor();
            dialog->setCurrentColor(answer);
            answer.isValid() ? dialog->accept() : dialog->reject();
        });
        for (auto* label : window_->findChildren<QLabel*>()) {
            auto* swatch = label->parentWidget()->findChild<QPushButton*>();
            if (label->text() == title) QTest::mouseClick(swatch, Qt::LeftButton);
        }
        return opened.rgb() & 0xFFFFFFu;
    };
    const std::uint32_t accent = model_->layoutEditor().selectedWidget()->accentHex;
    EXPECT_EQ(pickColour(QStringLiteral("Акцент выбранного поля"), QColor(0x12, 0x34, 0x56)), accent);
    EXPECT_EQ(model_->layoutEditor().selectedWidget()->accentHex, 0x123456u);
    const PacemarkLayout coloured = model_->layoutEditor().overlayLayout();
    EXPECT_EQ(pickColour(QStringLiteral("Акцент выбранного поля"), QColor()), 0x123456u);
    EXPECT_EQ(model_->layoutEditor().overlayLayout(), coloured);
    pickColour(QStringLiteral("Значения всех полей"), QColor(0x65, 0x43, 0x21));
    for (const auto& widget : model_->layoutEditor().overlayLayout().widgets) EXPECT_EQ(widget.valueColorHex, 0x654321u);

    // With nothing selected the editor shows nothing of the last widget.
    model_->layoutEditor().setSelectedWidgetID(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(kind->currentIndex(), -1);
    EXPECT_TRUE(caption->text().isEmpty());

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
