#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>

#include "AppModel.h"
#include "AppModelVideoServices.h"
#include "CairoDrawingSurface.h"
#include "ContentView.h"
#include "DesktopPlatform.h"
#include "EditorPreviewView.h"
#include "OverlayInteraction.h"
#include "PreviewPane.h"
#include "TestSupport.h"
#include "VideoTestMovies.h"
#include "WindowTestApplication.h"

namespace pacemark {
namespace {

using testing::application;
using testing::drag;
using testing::sendMouse;

// Answers the replace question as told and counts how often it was asked;
// the save dialog answers `saveTo`; remembers what it was asked to reveal.
class AnsweringPlatform : public AppModelPlatform {
public:
    bool replace = false;
    int questions = 0;
    std::optional<std::filesystem::path> saveTo, revealed;
    std::optional<std::filesystem::path> chooseSaveFile(const SaveDialogRequest&) override { return saveTo; }
    void revealInFileManager(const std::filesystem::path& file) override { revealed = file; }
    bool confirmReplacingLayout() override {
        ++questions;
        return replace;
    }
};

void turnWheel(QWidget* widget, int steps) {
    const QPointF centre = QRectF(widget->rect()).center();
    QWheelEvent event(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, -120 * steps), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

class SidebarEditingTest : public ::testing::Test {
protected:
    void SetUp() override {
        application();
        // The real background-video services; an export that reports a
        // quarter done and then runs until it is stopped (or, once
        // `finishExports_` is set, succeeds without writing anything).
        AppModelServices services = makeAppModelServices(nullptr, nullptr);
        addVideoBackgroundServices(services);
        services.exportMovie = [this](std::shared_ptr<const TelemetryActivity>, const TelemetryRenderConfig&,
                                      const std::function<void(double)>& progress, std::stop_token stop) {
            progress(0.25);
            while (!stop.stop_requested()) {
                if (finishExports_) return;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            throw TelemetryVideoExportCancelled();
        };
        model_ = std::make_unique<AppModel>(std::move(services), &platform_);
        window_ = std::make_unique<ContentView>(*model_, std::make_shared<const CairoDrawingSurfaceFactory>());
        window_->resize(1440, 900);
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        const QUrl ride = QUrl::fromLocalFile(
            QString::fromStdString((testing::sourceFolder() / "samples" / "sample-ride.fit").string()));
        ASSERT_TRUE(window_->dropURLs({ride}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return model_->activity() != nullptr && !model_->isLoading(); }, 20000));
        QCoreApplication::processEvents();
    }

    template <typename T>
    T* child(const char* name) {
        return window_->findChild<T*>(QString::fromLatin1(name));
    }
    QPushButton* button(const QString& title) {
        for (auto* candidate : window_->findChildren<QPushButton*>()) {
            if (candidate->text() == title) return candidate;
        }
        ADD_FAILURE() << "no button " << title.toStdString();
        return nullptr;
    }
    QScrollBar* sidebarScrollBar() {
        return window_->findChild<QScrollArea*>(QStringLiteral("sidebar"))->verticalScrollBar();
    }

    AnsweringPlatform platform_;
    std::atomic<bool> finishExports_ = false;
    std::unique_ptr<AppModel> model_;
    std::unique_ptr<ContentView> window_;
};

TEST_F(SidebarEditingTest, PresetPickerNeverReplacesAnEditedLayoutByAccident) {
    auto* picker = child<QComboBox>("presetPicker");
    ASSERT_NE(picker, nullptr);
    model_->addWidget(TelemetryWidgetKind::power);
    const PacemarkLayout edited = model_->overlayLayout();
    const PacemarkPreset preset = model_->selectedPreset();

    // A wheel turn over the closed picker scrolls the sidebar instead.
    QScrollBar* scroll = sidebarScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    scroll->setValue(0);
    turnWheel(picker, 2);
    EXPECT_GT(scroll->value(), 0);
    EXPECT_EQ(model_->selectedPreset(), preset);
    EXPECT_EQ(model_->overlayLayout(), edited);
    // So does a turn over a frame slider.
    auto* slider = window_->findChild<QScrollArea*>(QStringLiteral("sidebar"))->widget()->findChildren<QSlider*>().back();
    const int position = slider->value();
    turnWheel(slider, -1);
    EXPECT_EQ(slider->value(), position);
    EXPECT_EQ(model_->overlayLayout(), edited);

    // Choosing the preset already selected changes nothing and asks nothing.
    emit picker->activated(picker->currentIndex());
    EXPECT_EQ(model_->overlayLayout(), edited);
    EXPECT_EQ(platform_.questions, 0);

    // Another preset asks first; "Отмена" keeps the layout and the picker shows it.
    const int other = (picker->currentIndex() + 1) % picker->count();
    picker->setCurrentIndex(other);
    emit picker->activated(other);
    EXPECT_EQ(platform_.questions, 1);
    EXPECT_EQ(model_->overlayLayout(), edited);
    EXPECT_EQ(picker->currentData().toInt(), static_cast<int>(model_->selectedPresetValue()));
    // "Заменить" applies it.
    platform_.replace = true;
    emit picker->activated(other);
    EXPECT_EQ(platform_.questions, 2);
    EXPECT_NE(model_->selectedPreset(), preset);
    EXPECT_NE(model_->overlayLayout(), edited);
}

TEST_F(SidebarEditingTest, FieldsShowWhatTheModelStored) {
    // The caption keeps 24 characters; the field shows no more.
    auto* caption = child<QLineEdit>("captionField");
    ASSERT_NE(caption, nullptr);
    caption->setFocus();
    // One key event carrying the whole text (QTest's key clicks take ASCII only).
    QKeyEvent typing(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("ПодписьДлиннееДвадцатиЧетырёхБукв"));
    QApplication::sendEvent(caption, &typing);
    EXPECT_EQ(model_->selectedWidgetCaption(), QStringLiteral("ПодписьДлиннееДвадцатиЧе"));
    EXPECT_EQ(caption->text(), model_->selectedWidgetCaption());
    // One more character leaves the stored caption as it was; the field still shows it.
    QTest::keyClick(caption, Qt::Key_X);
    EXPECT_EQ(model_->selectedWidgetCaption(), QStringLiteral("ПодписьДлиннееДвадцатиЧе"));
    EXPECT_EQ(caption->text(), model_->selectedWidgetCaption());

    // A typed end past the ride is corrected by the model and shown back,
    // also while the field still has the focus.
    auto* end = child<QLineEdit>("exportEndField");
    ASSERT_NE(end, nullptr);
    end->setFocus();
    ASSERT_TRUE(end->hasFocus());
    end->selectAll();
    QTest::keyClicks(end, QStringLiteral("999999"));
    QTest::keyClick(end, Qt::Key_Return);
    EXPECT_LT(model_->exportEndSeconds(), 999999);
    EXPECT_EQ(end->text(), QString::number(model_->exportEndSeconds()));

    // With nothing selected the editor shows nothing of the last widget.
    model_->setSelectedWidgetID(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(child<QComboBox>("kindPicker")->currentIndex(), -1);
    EXPECT_TRUE(caption->text().isEmpty());
}

// Whether `widget` lies wholly inside the sidebar's visible area.
bool inSidebarView(QScrollArea* sidebar, QWidget* widget) {
    const QRect shown(widget->mapTo(sidebar->viewport(), QPoint(0, 0)), widget->size());
    return sidebar->viewport()->rect().contains(shown);
}

TEST_F(SidebarEditingTest, SidebarShowsTheVideoRowUnclippedAndTheStatusInView) {
    auto* sidebar = window_->findChild<QScrollArea*>(QStringLiteral("sidebar"));
    QPushButton* synchronize = nullptr;
    for (auto* candidate : sidebar->findChildren<QPushButton*>()) {
        if (candidate->text() == QStringLiteral("Синхр.")) synchronize = candidate;
    }
    ASSERT_NE(synchronize, nullptr);
    // The video controls as a loaded video shows them; the window fits the
    // sidebar on the player signal.
    synchronize->parentWidget()->show();
    emit model_->videoBackgroundPlayerChanged();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    sidebar->verticalScrollBar()->setValue(0);
    QCoreApplication::processEvents();
    const int right = synchronize->mapTo(sidebar->viewport(), QPoint(synchronize->width(), 0)).x();
    EXPECT_LE(right, sidebar->viewport()->width());

    // A new status text scrolls into view.
    auto* status = sidebar->findChild<QLabel*>(QStringLiteral("statusText"));
    ASSERT_NE(status, nullptr);
    EXPECT_FALSE(inSidebarView(sidebar, status));
    model_->status().setStatusText(QStringLiteral("Экспорт остановлен."));
    QCoreApplication::processEvents();
    EXPECT_TRUE(inSidebarView(sidebar, status));
}

// The export's progress row appears and goes without moving the rows below it
// or the sidebar's width; while it runs the row stays in view.
TEST_F(SidebarEditingTest, ExportProgressRowComesAndGoesWithoutMovingTheSidebar) {
    auto* sidebar = window_->findChild<QScrollArea*>(QStringLiteral("sidebar"));
    auto* progress = child<QWidget>("exportProgressRow");
    auto* picker = child<QComboBox>("presetPicker");
    ASSERT_NE(progress, nullptr);
    const auto placeInContent = [&] { return picker->mapTo(sidebar->widget(), QPoint(0, 0)); };
    const auto placeInView = [&] { return picker->mapTo(sidebar->viewport(), QPoint(0, 0)); };
    sidebarScrollBar()->setValue(0);  // where "Сделать MOV" is
    QTest::qWait(20);
    const QPoint content = placeInContent(), view = placeInView();
    const int width = sidebar->width();

    testing::TemporaryFolder folder;
    model_->exportMovie(folder / "ride.mov");
    ASSERT_TRUE(QTest::qWaitFor([&] { return model_->exportProgress() > 0; }, 5000));
    QTest::qWait(20);  // the queued fitting and scrolling
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(inSidebarView(sidebar, progress));
    EXPECT_EQ(placeInContent(), content);
    EXPECT_EQ(placeInView(), view);
    EXPECT_EQ(sidebar->width(), width);

    model_->cancelExport();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isExporting(); }, 5000));
    QTest::qWait(20);
    EXPECT_FALSE(progress->isVisible());
    EXPECT_EQ(placeInContent(), content);
    EXPECT_EQ(sidebar->width(), width);
    // The outcome is shown where the status line is.
    EXPECT_EQ(model_->statusText(), QStringLiteral("Экспорт остановлен."));
    EXPECT_TRUE(inSidebarView(sidebar, child<QLabel>("statusText")));
}

TEST_F(SidebarEditingTest, ExportingLocksTheActionsUntilStopOrShowsTheMovie) {
    testing::TemporaryFolder folder;
    platform_.saveTo = folder / "ride.mov";
    QPushButton *make = button(QStringLiteral("Сделать MOV")), *saveAs = button(QStringLiteral("Сохранить как")),
                *open = button(QStringLiteral("Открыть FIT/GPX")), *stop = button(QStringLiteral("Стоп")),
                *reveal = button(QStringLiteral("Показать MOV"));
    ASSERT_TRUE(make && saveAs && open && stop && reveal);
    EXPECT_FALSE(stop->isVisible());

    QTest::mouseClick(saveAs, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model_->exportProgress() > 0; }, 5000));
    for (auto* locked : {make, saveAs, open}) EXPECT_FALSE(locked->isEnabled()) << locked->text().toStdString();
    EXPECT_TRUE(stop->isVisible());
    EXPECT_TRUE(child<QWidget>("exportProgressRow")->isVisible());
    EXPECT_FALSE(reveal->isVisible());

    QTest::mouseClick(stop, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isExporting(); }, 5000));
    for (auto* unlocked : {make, saveAs, open}) EXPECT_TRUE(unlocked->isEnabled()) << unlocked->text().toStdString();
    EXPECT_FALSE(stop->isVisible());
    EXPECT_FALSE(reveal->isVisible());  // a stopped export wrote no movie

    finishExports_ = true;
    QTest::mouseClick(saveAs, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isExporting(); }, 5000));
    EXPECT_EQ(model_->statusText(), QStringLiteral("Готово: ride.mov"));
    ASSERT_TRUE(reveal->isVisible());
    QTest::mouseClick(reveal, Qt::LeftButton);
    EXPECT_TRUE(platform_.revealed == folder / "ride.mov");
}

TEST_F(SidebarEditingTest, WidgetListAddsRemovesAndEditsTheSelectedWidget) {
    auto* list = window_->findChild<QListWidget*>();
    auto* kind = child<QComboBox>("kindPicker");
    ASSERT_TRUE(list && kind);
    const auto pickers = kind->parentWidget()->findChildren<QComboBox*>(Qt::FindDirectChildrenOnly);
    const auto sliders = kind->parentWidget()->findChildren<QSlider*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(pickers.size(), 2);  // kind, panel style
    ASSERT_EQ(sliders.size(), 4);  // X, Y, width, height
    const auto widgetCount = [&] { return model_->overlayLayout().widgets.size(); };
    const std::size_t count = widgetCount();

    // "Добавить" offers every kind; the added widget is listed and selected.
    const auto actions = button(QStringLiteral("Добавить"))->menu()->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(TelemetryWidgetKind::allCases().size()));
    actions[TelemetryWidgetKind::cadence]->trigger();
    QCoreApplication::processEvents();
    ASSERT_EQ(widgetCount(), count + 1);
    EXPECT_EQ(list->count(), static_cast<int>(count + 1));
    ASSERT_TRUE(model_->selectedWidget().has_value());
    EXPECT_EQ(model_->selectedWidget()->kind, TelemetryWidgetKind::cadence);
    EXPECT_EQ(list->currentRow(), static_cast<int>(count));
    const UUID added = *model_->selectedWidgetID();

    // The pickers and the frame sliders edit the selected widget.
    const auto choose = [](QComboBox* picker, int value) {
        const int index = picker->findData(value);
        picker->setCurrentIndex(index);
        emit picker->activated(index);
    };
    choose(pickers[0], TelemetryWidgetKind::heartRate);
    choose(pickers[1], TelemetryWidgetPanelStyle::dial);
    sliders[0]->setValue(100);
    sliders[2]->setValue(250);
    const PacemarkWidget edited = *model_->selectedWidget();
    EXPECT_EQ(edited.id, added);
    EXPECT_EQ(edited.kind, TelemetryWidgetKind::heartRate);
    EXPECT_EQ(edited.panelStyle, TelemetryWidgetPanelStyle::dial);
    EXPECT_DOUBLE_EQ(edited.frame.width, 0.25);
    EXPECT_DOUBLE_EQ(edited.frame.x, 0.1);

    // Another row of the list selects its widget; "Удалить" removes it.
    list->setCurrentRow(0);
    const UUID first = model_->overlayLayout().widgets[0].id;
    EXPECT_EQ(model_->selectedWidgetID(), first);
    QTest::mouseClick(button(QStringLiteral("Удалить")), Qt::LeftButton);
    EXPECT_EQ(widgetCount(), count);
    EXPECT_EQ(list->count(), static_cast<int>(count));
    for (const auto& widget : model_->overlayLayout().widgets) EXPECT_NE(widget.id, first);
}

TEST_F(SidebarEditingTest, MovingTheSegmentStartPastTheEndPushesTheEnd) {
    auto* startField = child<QLineEdit>("exportStartField");
    ASSERT_NE(startField, nullptr);
    const auto sliders = startField->parentWidget()->findChildren<QSlider*>(Qt::FindDirectChildrenOnly);
    ASSERT_EQ(sliders.size(), 2);  // start, end
    const double duration = static_cast<double>(model_->activityDurationSeconds());
    sliders[1]->setValue(300);
    sliders[0]->setValue(100);
    const qint64 end = model_->exportEndSeconds();
    EXPECT_EQ(end, std::llround(0.3 * duration));
    EXPECT_EQ(model_->startOffsetSeconds(), std::llround(0.1 * duration));

    sliders[0]->setValue(700);
    EXPECT_EQ(model_->startOffsetSeconds(), std::llround(0.7 * duration));
    EXPECT_GT(model_->exportEndSeconds(), model_->startOffsetSeconds());
    EXPECT_GE(sliders[1]->value(), sliders[0]->value());
    EXPECT_EQ(startField->text(), QString::number(model_->startOffsetSeconds()));
    EXPECT_EQ(child<QLineEdit>("exportEndField")->text(), QString::number(model_->exportEndSeconds()));
}

TEST_F(SidebarEditingTest, CanvasPansTheBackgroundWithinBoundsAndPicksTheTopmostWidget) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "no ffmpeg command";
    testing::TemporaryFolder folder;
    testing::makeTestMovie(folder / "clip.mp4", "color=c=blue:s=320x180:r=25", 1);
    model_->loadVideoBackground(folder / "clip.mp4");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isLoadingVideo(); }, 20000));
    ASSERT_NE(model_->videoBackgroundImage(), nullptr);
    QCoreApplication::processEvents();
    EditorPreviewView* editor = window_->preview()->editor();
    const QRectF canvas = editor->canvasRect();
    ASSERT_TRUE(model_->selectedWidgetID().has_value());

    // A drag on empty canvas (the top-left corner holds no widget in the
    // presets) deselects and pans the background, never past ±1.
    const QPointF empty = canvas.topLeft() + QPointF(3, 3);
    drag(editor, empty, empty + QPointF(canvas.width() * 0.1, 0));
    EXPECT_FALSE(model_->selectedWidgetID().has_value());
    EXPECT_GT(model_->videoBackgroundOffsetX(), 0);
    EXPECT_LT(model_->videoBackgroundOffsetX(), 1);
    EXPECT_EQ(model_->videoBackgroundOffsetY(), 0);
    drag(editor, empty, empty + QPointF(canvas.width() * 10, canvas.height() * 10));
    EXPECT_DOUBLE_EQ(model_->videoBackgroundOffsetX(), 1);
    const double down = model_->videoBackgroundOffsetY();
    EXPECT_DOUBLE_EQ(std::abs(down), 1);
    drag(editor, empty, empty - QPointF(canvas.width() * 30, canvas.height() * 30));
    EXPECT_DOUBLE_EQ(model_->videoBackgroundOffsetX(), -1);
    EXPECT_DOUBLE_EQ(model_->videoBackgroundOffsetY(), -down);

    // Where two widgets overlap, a click selects the one drawn last.
    const auto widgets = model_->overlayLayout().widgets;
    ASSERT_GE(widgets.size(), 2u);
    model_->setSelectedWidgetID(widgets[1].id);
    model_->setSelectedWidgetFrameWidth(widgets[0].frame.width);
    model_->setSelectedWidgetFrameHeight(widgets[0].frame.height);
    model_->setSelectedWidgetFrameX(widgets[0].frame.x);
    model_->setSelectedWidgetFrameY(widgets[0].frame.y);
    model_->setSelectedWidgetID(std::nullopt);
    const QPointF centre = previewRect(widgets[0], canvas).center();
    ASSERT_TRUE(previewRect(model_->overlayLayout().widgets[1], canvas).contains(centre));
    const double offsetX = model_->videoBackgroundOffsetX();
    drag(editor, centre, centre);
    EXPECT_EQ(model_->selectedWidgetID(), widgets[1].id);
    EXPECT_EQ(model_->videoBackgroundOffsetX(), offsetX);
}

// Writes the window at 1440 × 900 with the sample ride over a frame of a
// background video and a selected widget to window-1440x900.png in the build
// folder (the README's picture is a copy of it).
TEST_F(SidebarEditingTest, ScreenshotOfTheWindowWithABackgroundVideoAndASelectedWidget) {
    if (!testing::ffmpegCommandAvailable()) GTEST_SKIP() << "no ffmpeg command";
    applyPacemarkStyle();  // the application's dark look, as main() sets it
    EXPECT_GE(window_->minimumWidth(), 1120);
    EXPECT_GE(window_->minimumHeight(), 720);
    // Sky over a field, in RGB rows: light blue above the horizon, green below.
    testing::TemporaryFolder folder;
    const auto clip = folder / "landscape.mp4";
    testing::makeTestMovie(clip,
                           "color=c=black:s=640x360:r=25,format=rgb24,"
                           "geq=r='if(lt(Y,170),110+Y/2,70-(Y-170)/8)':g='if(lt(Y,170),160+Y/3,120-(Y-170)/5)'"
                           ":b='if(lt(Y,170),235-Y/6,55-(Y-170)/10)'",
                           1);
    model_->loadVideoBackground(clip);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model_->isLoadingVideo(); }, 20000));
    ASSERT_NE(model_->videoBackgroundImage(), nullptr) << model_->errorMessage().value_or(QString()).toStdString();
    model_->setExportStartSeconds(900);  // under way: every widget shows a value
    ASSERT_GE(model_->overlayLayout().widgets.size(), 2u);
    model_->setSelectedWidgetID(model_->overlayLayout().widgets[1].id);
    QTest::qWait(300);  // the player's first frame and the repaint
    sidebarScrollBar()->setValue(0);  // the header and the action buttons in view
    const QImage picture = window_->grab().toImage();
    EXPECT_EQ(picture.size(), QSize(1440, 900) * window_->devicePixelRatioF());
    const auto file = std::filesystem::current_path() / "window-1440x900.png";
    EXPECT_TRUE(picture.save(QString::fromStdString(file.string()), "PNG", 0));  // smallest file
    EXPECT_GT(std::filesystem::file_size(file), 10'000u);
}

}  // namespace
}  // namespace pacemark
